// Update regions and painting: invalidating, BeginPaint / EndPaint (drawing
// clipped to the update region, erased first with the class brush when asked),
// UpdateWindow, window DCs and ScrollWindowEx.
#include "platform/sdl/layer_internal.h"

#include <string.h>

namespace layer {

void invalidate(Window* w, const RECT* r, bool erase)
{
    if (!w->alive) return;
    RECT client = {0, 0, w->width, w->height};
    RECT area = r ? rect_intersect(*r, client) : client;
    if (rect_is_empty(area)) return;
    rects_add(w->update, area);
    if (erase) w->erase_pending = true;
}

static bool shown(const Window* w)
{
    for (; w; w = w->parent) {
        if (!w->alive || !w->visible) return false;
    }
    return true;
}

// Moves the pixels of the client area rectangle `area` by (dx, dy) within the
// window's visible part. Returns what got new pixels (client coordinates).
static Rects move_pixels(Window* w, const RECT& area, const RECT& clip, int dx, int dy)
{
    POINT o = frame_origin(w);
    Window* top = top_level_of(w);
    Rects visible = visible_area(w);
    rects_offset(visible, -o.x, -o.y);
    Rects shifted = visible;
    rects_offset(shifted, dx, dy);
    RECT target = rect_intersect(rect_offset(area, dx, dy), clip);
    Rects moved = rects_intersect(rects_intersect(visible, shifted), target);
    // Read every source first: a piece may read where another one writes.
    std::vector<std::vector<uint32_t>> sources;
    for (const RECT& piece : moved) {
        std::vector<uint32_t> pixels;
        for (LONG row = piece.top; row < piece.bottom; row++) {
            const uint32_t* from = top->frame.data() + (size_t)(row - dy + o.y) * top->width + (piece.left - dx + o.x);
            pixels.insert(pixels.end(), from, from + (piece.right - piece.left));
        }
        sources.push_back(std::move(pixels));
    }
    for (size_t i = 0; i < moved.size(); i++) {
        const RECT& piece = moved[i];
        size_t width = (size_t)(piece.right - piece.left);
        for (LONG row = piece.top; row < piece.bottom; row++) {
            memcpy(top->frame.data() + (size_t)(row + o.y) * top->width + piece.left + o.x,
                   sources[i].data() + (size_t)(row - piece.top) * width, width * 4);
        }
    }
    if (!moved.empty()) top->frame_dirty = true;
    return moved;
}

}  // namespace layer

using namespace layer;

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase)
{
    Window* w = window_from(hWnd);
    if (!w) return FALSE;
    invalidate(w, lpRect, bErase != FALSE);
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL)
{
    Window* w = window_from(hWnd);
    if (!w) return FALSE;
    RECT bounds = rects_bounds(w->update);
    if (lpRect) *lpRect = bounds;
    return !rect_is_empty(bounds);
}

BOOL WINAPI UpdateWindow(HWND hWnd)
{
    Window* w = window_from(hWnd);
    if (!w) return FALSE;
    if (shown(w) && !w->update.empty()) SendMessageA(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    Window* w = window_from(hWnd);
    if (!w || !lpPaint) return nullptr;
    Rects area = rects_intersect(w->update, RECT{0, 0, w->width, w->height});
    bool erase = w->erase_pending;
    w->update.clear();
    w->erase_pending = false;
    POINT o = frame_origin(w);
    Rects in_frame = area;
    rects_offset(in_frame, o.x, o.y);
    HDC dc = new_window_dc(w, rects_intersect(visible_area(w), in_frame));
    memset(lpPaint, 0, sizeof *lpPaint);
    lpPaint->hdc = dc;
    lpPaint->rcPaint = rects_bounds(area);
    if (erase) lpPaint->fErase = SendMessageA(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    return dc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint)
{
    if (!lpPaint) return FALSE;
    ReleaseDC(hWnd, lpPaint->hdc);
    return TRUE;
}

HDC WINAPI GetDC(HWND hWnd)
{
    Window* w = window_from(hWnd);
    return w ? new_window_dc(w, visible_area(w)) : nullptr;
}

// Moves the client area's pixels (or those of prcScroll) by dx, dy, inside
// prcClip; the window's pending update region moves with them. With
// SW_INVALIDATE what was uncovered joins the update region, with SW_ERASE it
// is erased with the class brush when painted. Child windows stay in place.
int WINAPI ScrollWindowEx(HWND hWnd, int dx, int dy, const RECT* prcScroll, const RECT* prcClip, HRGN hrgnUpdate,
                          LPRECT prcUpdate, UINT flags)
{
    Window* w = window_from(hWnd);
    if (!w) return ERROR;
    RECT client = {0, 0, w->width, w->height};
    RECT area = prcScroll ? rect_intersect(*prcScroll, client) : client;
    RECT clip = prcClip ? rect_intersect(*prcClip, client) : client;
    // Keep the offsets inside the window so that no arithmetic runs away.
    dx = dx < -w->width ? -w->width : dx > w->width ? w->width : dx;
    dy = dy < -w->height ? -w->height : dy > w->height ? w->height : dy;

    Rects moved = move_pixels(w, area, clip, dx, dy);
    Rects uncovered;
    rects_add(uncovered, rect_intersect(area, clip));
    for (const RECT& piece : moved) rects_subtract(uncovered, piece);

    Rects update;
    for (const RECT& u : w->update) {
        Rects outside = {u};
        rects_subtract(outside, area);
        for (const RECT& piece : outside) rects_add(update, piece);
        rects_add(update, rect_intersect(rect_offset(rect_intersect(u, area), dx, dy), clip));
    }
    w->update.swap(update);
    if (flags & SW_INVALIDATE) {
        for (const RECT& piece : uncovered) rects_add(w->update, piece);
        if (flags & SW_ERASE) w->erase_pending = true;
    }

    if (prcUpdate) *prcUpdate = rects_bounds(uncovered);
    if (GdiObject* region = gdi_object(hrgnUpdate)) {
        if (region->kind == GdiKind::region) region->rects = uncovered;
    }
    if (uncovered.empty()) return NULLREGION;
    return uncovered.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}
