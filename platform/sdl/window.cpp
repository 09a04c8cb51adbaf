// Windows of the layer: classes, creation (WM_CREATE is sent inside
// CreateWindowExA), destruction (children first, then WM_DESTROY), showing,
// geometry and the default handling of messages.
//
// A window handle is the address of its record. Records are never freed, so a
// handle stays unique for the whole run and a message left in the queue for a
// destroyed window finds it dead instead of finding a newer window.
#include "platform/sdl/layer_internal.h"

#include <stdio.h>
#include <strings.h>

#include <algorithm>
#include <unordered_set>

namespace layer {

static std::vector<WindowClass> classes;
// Every window ever made, alive or not. Never destroyed, so the records stay
// reachable until the process ends.
static std::vector<Window*>& all_windows = *new std::vector<Window*>;
static std::unordered_set<Window*> live_windows;

static const WindowClass* find_class(LPCSTR name, HINSTANCE)
{
    if (!name || IS_INTRESOURCE(name)) return nullptr;
    for (const WindowClass& c : classes) {
        if (strcasecmp(c.name.c_str(), name) == 0) return &c;
    }
    return nullptr;
}

Window* window_from(HWND handle)
{
    Window* w = reinterpret_cast<Window*>(handle);
    return live_windows.count(w) ? w : nullptr;
}

Window* top_level_of(Window* w)
{
    while (w->parent) w = w->parent;
    return w;
}

POINT frame_origin(const Window* w)
{
    POINT p = {0, 0};
    for (; w->parent; w = w->parent) {
        p.x += w->x;
        p.y += w->y;
    }
    return p;
}

static RECT frame_rect(const Window* w)
{
    POINT p = frame_origin(w);
    return RECT{p.x, p.y, p.x + w->width, p.y + w->height};
}

// The part of the frame the window's drawing may reach: its client area
// inside every ancestor's, without the visible children on top of it and the
// later (higher) visible siblings of it and of its ancestors.
Rects visible_area(const Window* w)
{
    RECT area = frame_rect(w);
    for (const Window* a = w; a; a = a->parent) {
        if (!a->visible || !a->alive) return {};
        area = rect_intersect(area, frame_rect(a));
    }
    Rects out;
    if (rect_is_empty(area)) return out;
    out.push_back(area);
    for (const Window* child : w->children) {
        if (child->visible) rects_subtract(out, frame_rect(child));
    }
    for (const Window* a = w; a->parent; a = a->parent) {
        const std::vector<Window*>& siblings = a->parent->children;
        auto it = std::find(siblings.begin(), siblings.end(), a);
        for (++it; it != siblings.end(); ++it) {
            if ((*it)->visible) rects_subtract(out, frame_rect(*it));
        }
    }
    return out;
}

std::vector<Window*> top_level_windows()
{
    std::vector<Window*> out;
    for (Window* w : all_windows) {
        if (w->alive && !w->parent) out.push_back(w);
    }
    return out;
}

// Shows the area of a child in its parent again, as when the child goes away.
static void expose_in_parent(Window* w)
{
    if (!w->parent) return;
    RECT r = {w->x, w->y, w->x + w->width, w->y + w->height};
    invalidate(w->parent, &r, true);
}

static void set_visible(Window* w, bool show)
{
    if (w->visible == show) return;
    w->visible = show;
    if (show) {
        invalidate(w, nullptr, true);
    } else {
        expose_in_parent(w);
    }
    if (!w->parent) host_show(w, show);
}

}  // namespace layer

using namespace layer;

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass)
{
    if (!lpWndClass || !lpWndClass->lpfnWndProc || !lpWndClass->lpszClassName ||
        IS_INTRESOURCE(lpWndClass->lpszClassName))
        return 0;
    if (find_class(lpWndClass->lpszClassName, lpWndClass->hInstance)) return 0;  // already registered
    classes.push_back(WindowClass{lpWndClass->lpszClassName, *lpWndClass});
    classes.back().wc.lpszClassName = nullptr;  // the name lives in the record
    return (ATOM)(0xC000 + classes.size());
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance)
{
    const WindowClass* c = find_class(lpClassName, hInstance);
    if (!c) return FALSE;
    classes.erase(classes.begin() + (c - classes.data()));
    return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                            int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam)
{
    const WindowClass* c = find_class(lpClassName, hInstance);
    Window* parent = hWndParent ? window_from(hWndParent) : nullptr;
    if (!c || (hWndParent && !parent) || ((dwStyle & WS_CHILD) && !parent)) return nullptr;
    if (X == CW_USEDEFAULT) X = Y = 0;
    if (nWidth == CW_USEDEFAULT) nWidth = nHeight = 100;

    Window* w = new Window{};
    w->proc = c->wc.lpfnWndProc;
    w->class_style = c->wc.style;
    w->background = c->wc.hbrBackground;
    w->icon = c->wc.hIcon;
    w->title = lpWindowName ? lpWindowName : "";
    w->style = dwStyle & ~WS_VISIBLE;
    w->alive = true;
    w->parent = (dwStyle & WS_CHILD) ? parent : nullptr;
    w->x = X;
    w->y = Y;
    w->width = std::max(nWidth, 0);
    w->height = std::max(nHeight, 0);
    all_windows.push_back(w);
    live_windows.insert(w);
    if (w->parent) {
        w->parent->children.push_back(w);
    } else {
        w->frame.assign((size_t)w->width * w->height, 0);
        host_create(w);
    }
    HWND handle = handle_of(w);

    CREATESTRUCTA cs = {lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X, (LONG)dwStyle,
                        lpWindowName, lpClassName, dwExStyle};
    if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!w->alive) return nullptr;  // destroyed itself while being created
    if (dwStyle & WS_VISIBLE) {
        w->style |= WS_VISIBLE;
        set_visible(w, true);
    }
    return handle;
}

BOOL WINAPI DestroyWindow(HWND hWnd)
{
    Window* w = window_from(hWnd);
    if (!w || w->destroying) return FALSE;
    w->destroying = true;  // no second destruction from inside the messages below
    std::vector<Window*> children = w->children;
    for (Window* child : children) DestroyWindow(handle_of(child));
    w->proc(hWnd, WM_DESTROY, 0, 0);
    live_windows.erase(w);
    kill_timers_of(w);
    if (w->visible) expose_in_parent(w);
    if (w->parent) {
        std::vector<Window*>& siblings = w->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
    } else {
        host_destroy(w);
    }
    w->alive = false;
    w->visible = false;
    w->update.clear();
    w->frame.clear();
    w->frame.shrink_to_fit();
    if (w->region) {
        w->region->selected = 0;
        delete_region(w->region);
        w->region = nullptr;
    }
    return TRUE;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex)
{
    Window* w = window_from(hWnd);
    return w && nIndex == GWLP_WNDPROC ? reinterpret_cast<LONG_PTR>(w->proc) : 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    Window* w = window_from(hWnd);
    if (!w || nIndex != GWLP_WNDPROC || !dwNewLong) return 0;
    WNDPROC previous = w->proc;
    w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
    return reinterpret_cast<LONG_PTR>(previous);
}

LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

BOOL WINAPI IsWindow(HWND hWnd) { return window_from(hWnd) != nullptr; }

HWND WINAPI GetParent(HWND hWnd)
{
    Window* w = window_from(hWnd);
    return w && w->parent ? handle_of(w->parent) : nullptr;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    Window* w = window_from(hWnd);
    if (!w) return FALSE;
    BOOL was_visible = w->visible;
    bool show = nCmdShow != SW_HIDE;
    if (show) {
        w->style |= WS_VISIBLE;
    } else {
        w->style &= ~WS_VISIBLE;
    }
    set_visible(w, show);
    return was_visible;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect)
{
    Window* w = window_from(hWnd);
    if (!w || !lpRect) return FALSE;
    *lpRect = RECT{0, 0, w->width, w->height};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    Window* w = window_from(hWnd);
    if (!w || !lpRect) return FALSE;
    Window* top = top_level_of(w);
    POINT p = frame_origin(w);
    *lpRect = RECT{top->x + p.x, top->y + p.y, top->x + p.x + w->width, top->y + p.y + w->height};
    return TRUE;
}

int WINAPI GetSystemMetrics(int nIndex)
{
    int width = 0, height = 0;
    if (!host_screen_size(&width, &height)) return 0;
    if (nIndex == SM_CXSCREEN) return width;
    if (nIndex == SM_CYSCREEN) return height;
    return 0;
}

int WINAPI SetWindowRgn(HWND hWnd, HRGN hRgn, BOOL bRedraw)
{
    Window* w = window_from(hWnd);
    GdiObject* region = hRgn ? gdi_object(hRgn) : nullptr;
    if (!w || (hRgn && (!region || region->kind != GdiKind::region || region->selected))) return 0;
    if (w->region) {
        w->region->selected = 0;
        delete_region(w->region);
    }
    w->region = region;
    if (region) region->selected = 1;  // owned by the window: DeleteObject refuses it
    if (!w->parent) host_set_shape(w);
    if (bRedraw) {
        if (w->visible) invalidate(w, nullptr, true);
        if (w->visible && w->parent) expose_in_parent(w);
    }
    return 1;
}

int WINAPI GetWindowRgn(HWND hWnd, HRGN hRgn)
{
    Window* w = window_from(hWnd);
    GdiObject* target = gdi_object(hRgn);
    if (!w || !w->region || !target || target->kind != GdiKind::region) return ERROR;
    target->rects = w->region->rects;
    return target->rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

BOOL layer_window_shape_mask(HWND hWnd, BYTE* mask, int width, int height)
{
    Window* w = window_from(hWnd);
    if (!w || !mask || width < 0 || height < 0) return FALSE;
    if (!w->region) {
        std::fill(mask, mask + (size_t)width * height, (BYTE)255);
        return TRUE;
    }
    std::fill(mask, mask + (size_t)width * height, (BYTE)0);
    for (const RECT& r : rects_intersect(w->region->rects, RECT{0, 0, width, height})) {
        for (LONG row = r.top; row < r.bottom; row++)
            std::fill(mask + (size_t)row * width + r.left, mask + (size_t)row * width + r.right, (BYTE)255);
    }
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = window_from(hWnd);
    return w ? w->proc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM)
{
    Window* w = window_from(hWnd);
    if (!w) return 0;
    switch (Msg) {
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_ERASEBKGND: {
        // Fills the area being painted (the DC's clip) with the class brush.
        if (!gdi_object(w->background)) return 0;
        RECT client = {0, 0, w->width, w->height};
        FillRect(reinterpret_cast<HDC>(wParam), &client, w->background);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
        return 0;
    }
    default:
        return 0;
    }
}

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT)
{
    const char* text = lpText ? lpText : "";
    const char* caption = lpCaption ? lpCaption : "Error";
    fprintf(stderr, "%s: %s\n", caption, text);
    host_message_box(text, caption);
    return IDOK;
}
