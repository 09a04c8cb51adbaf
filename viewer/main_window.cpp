// The main window: the skin, the region that shapes it, the music, and the
// keyboard commands. Keys it does not handle go to the picture pane.
#include "assets/song_data.h"
#include "player/player.h"
#include "viewer/gallery.h"
#include "viewer/resource_ids.h"
#include "viewer/viewer.h"

const char MAIN_CLASS_NAME[] = "orn_m0";
const char MAIN_TITLE[] = "Orna Art Pack Viewer";

uint32_t current_picture = 0;
uint32_t volume_level = INITIAL_VOLUME_LEVEL;
uint32_t music_on = 1;
HWND picture_pane = nullptr;
HBITMAP skin_bitmap = nullptr;

static HINSTANCE program_instance;  // from the main window's creation

static const int FADE_STEP_MS = 20;

static ATOM register_pane_class(HINSTANCE instance)
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = picture_pane_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = PANE_CLASS_NAME;
    return RegisterClassA(&wc);
}

// Creates the pane for the gallery row at current_picture.
static void create_pane(HWND main_window)
{
    const GalleryEntry* entry = &gallery[current_picture];
    picture_pane = CreateWindowExA(0, PANE_CLASS_NAME, PANE_TITLE, WS_CHILD | WS_VISIBLE, PANE_X, PANE_Y,
                                   PANE_WIDTH, PANE_HEIGHT, main_window, nullptr, program_instance,
                                   const_cast<GalleryEntry*>(entry));
}

// Replaces the pane with one for picture `index`. Closing the old pane resets
// the scroll position and frees its bitmap.
static void show_picture(HWND main_window, uint32_t index)
{
    SendMessageA(picture_pane, WM_CLOSE, 0, 0);
    current_picture = index;
    create_pane(main_window);
    ShowWindow(picture_pane, SW_SHOWNORMAL);
    UpdateWindow(picture_pane);
}

void fade_volume_to(uint32_t target)
{
    int32_t step = target < volume_level ? -1 : 1;  // decided once
    while (volume_level != target) {
        volume_level += step;
        player_set_volume(volume_level);
        Sleep(FADE_STEP_MS);
    }
}

static void on_create(HWND window, const CREATESTRUCTA* cs)
{
    program_instance = cs->hInstance;
    if (!register_pane_class(program_instance)) ExitProcess(0);

    HRSRC shape_info = FindResourceA(program_instance, MAKEINTRESOURCEA(IDR_WINDOW_SHAPE), RT_RCDATA);
    HGLOBAL shape = LoadResource(program_instance, shape_info);
    HRGN region = ExtCreateRegion(nullptr, SizeofResource(program_instance, shape_info),
                                  static_cast<const RGNDATA*>(LockResource(shape)));

    create_pane(window);
    skin_bitmap = LoadBitmapA(program_instance, MAKEINTRESOURCEA(IDR_SKIN));
    player_set_volume(volume_level);
    player_start(song_data, SONG_DATA_SIZE, PLAY_FROM_MEMORY);  // the result is not looked at
    SetWindowRgn(window, region, TRUE);  // the region belongs to the system from here
    FreeResource(shape);
}

static void on_paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    HDC memory = CreateCompatibleDC(dc);
    SelectObject(memory, skin_bitmap);
    BitBlt(dc, 0, 0, MAIN_WIDTH, MAIN_HEIGHT, memory, 0, 0, SRCCOPY);
    DeleteDC(memory);
    EndPaint(window, &ps);
}

static void on_key(HWND window, WPARAM key, LPARAM lparam)
{
    switch (key) {
    case VK_ESCAPE:
    case 'Q':
        fade_volume_to(0);
        player_start(nullptr, 0, 0);  // stops and releases the player
        SendMessageA(window, WM_CLOSE, 0, 0);
        return;
    case VK_LEFT:
        if (current_picture > 0) show_picture(window, current_picture - 1);
        return;
    case VK_RIGHT:
        if (current_picture < GALLERY_SIZE - 1) show_picture(window, current_picture + 1);
        return;
    case VK_OEM_PLUS:
    case VK_ADD:
        if (volume_level < MAX_VOLUME_LEVEL) player_set_volume(++volume_level);
        return;
    case VK_OEM_MINUS:
    case VK_SUBTRACT:
        if (volume_level > 0) player_set_volume(--volume_level);
        return;
    case 'M':
        music_on = music_on ? 0 : 1;
        if (music_on) {
            player_resume();
        } else {
            player_pause();
        }
        return;
    default:
        SendMessageA(picture_pane, WM_KEYDOWN, key, lparam);
        return;
    }
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE:
        on_create(window, reinterpret_cast<const CREATESTRUCTA*>(lparam));
        return 0;
    case WM_PAINT:
        on_paint(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        on_key(window, wparam, lparam);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}
