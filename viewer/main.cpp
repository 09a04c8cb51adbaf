// The program's entry point: registers the main window's class, creates the
// window centred on the screen, shows it and runs the message loop until the
// window is gone.
#include "viewer/resource_ids.h"
#include "viewer/viewer.h"

ATOM register_main_class(HINSTANCE instance)
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = main_window_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_ICON));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = MAIN_CLASS_NAME;
    return RegisterClassA(&wc);
}

HWND create_main_window(HINSTANCE instance)
{
    // Negative on screens smaller than the window; passed on as computed.
    int x = (GetSystemMetrics(SM_CXSCREEN) - MAIN_WIDTH) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - MAIN_HEIGHT) / 2;
    return CreateWindowExA(0, MAIN_CLASS_NAME, MAIN_TITLE, WS_POPUP | WS_VISIBLE, x, y, MAIN_WIDTH, MAIN_HEIGHT,
                           nullptr, nullptr, instance, nullptr);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    if (!register_main_class(instance)) {
        MessageBoxA(nullptr, "Could not register class.", "Window initialisation error", MB_ICONERROR);
        ExitProcess(0);
    }
    HWND window = create_main_window(instance);
    ShowWindow(window, show_command);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
