// The picture pane: a 640 x 500 child of the main window showing one gallery
// picture, scrolled with Up and Down; the first picture scrolls a little by
// itself the first time it is shown in a run.
#include "viewer/gallery.h"
#include "viewer/resource_ids.h"
#include "viewer/viewer.h"

const char PANE_CLASS_NAME[] = "orn_m1";
const char PANE_TITLE[] = "Orna Art Pack Viewer - Display Window";

PaneState pane_state = {0, 0, nullptr, 0, 0};

static const UINT_PTR AUTOSCROLL_TIMER = 1;
static const UINT AUTOSCROLL_PERIOD_MS = 40;
static const int32_t AUTOSCROLL_STEP = 2;
static const int32_t AUTOSCROLL_END = -190;  // 95 steps
static const int32_t KEY_STEP = 6;
// The lowest offset leaves the picture's end this far below the pane's top.
static const int32_t LOWEST_END = 470;

static void scroll_by(HWND window, int32_t dy)
{
    pane_state.scroll_offset += dy;
    ScrollWindowEx(window, 0, dy, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE | SW_ERASE);
}

static void on_create(HWND window, const CREATESTRUCTA* cs)
{
    const GalleryEntry* entry = static_cast<const GalleryEntry*>(cs->lpCreateParams);
    pane_state.bitmap_id = entry->bitmap_id;
    pane_state.height = entry->height;
    pane_state.picture = LoadBitmapA(cs->hInstance, MAKEINTRESOURCEA(pane_state.bitmap_id & 0xFFFF));
    if (pane_state.bitmap_id == IDR_PICTURE_FIRST && !pane_state.autoscroll_started) {
        pane_state.autoscroll_started = 1;
        SetTimer(window, AUTOSCROLL_TIMER, AUTOSCROLL_PERIOD_MS, nullptr);
    }
}

// The automatic scroll; the timer id is not examined. No repaint is forced:
// the uncovered rows are painted when the loop gets to them.
static void on_timer(HWND window)
{
    if (pane_state.scroll_offset > AUTOSCROLL_END) {
        scroll_by(window, -AUTOSCROLL_STEP);
    } else {
        KillTimer(window, AUTOSCROLL_TIMER);
    }
}

static void on_key(HWND window, WPARAM key)
{
    if (key == VK_DOWN && pane_state.scroll_offset + KEY_STEP <= 0) {
        scroll_by(window, KEY_STEP);
        UpdateWindow(window);
    } else if (key == VK_UP && pane_state.scroll_offset - KEY_STEP >= LOWEST_END - pane_state.height) {
        scroll_by(window, -KEY_STEP);
        UpdateWindow(window);
    }
}

// Copies the whole picture at the scroll offset; the paint clips it to the
// rows that need it.
static void on_paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    HDC memory = CreateCompatibleDC(dc);
    SelectObject(memory, pane_state.picture);
    RECT client;
    GetClientRect(window, &client);
    BitBlt(dc, 0, pane_state.scroll_offset, client.right, pane_state.height, memory, 0, 0, SRCCOPY);
    DeleteDC(memory);
    EndPaint(window, &ps);
}

static void on_destroy()
{
    pane_state.scroll_offset = 0;
    DeleteObject(pane_state.picture);
    pane_state.picture = nullptr;
}

LRESULT CALLBACK picture_pane_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE:
        on_create(window, reinterpret_cast<const CREATESTRUCTA*>(lparam));
        return 0;
    case WM_PAINT:
        on_paint(window);
        return 0;
    case WM_TIMER:
        on_timer(window);
        return 0;
    case WM_KEYDOWN:
        on_key(window, wparam);
        return 0;
    case WM_DESTROY:
        on_destroy();
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}
