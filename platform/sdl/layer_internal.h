// Records shared by the window, drawing and SDL host files of the layer.
//
// Pixels are 32-bit 0x00RRGGBB everywhere (bitmaps and window frames). A
// top-level window owns a frame of its own size; its child windows draw into
// that frame at their offset, so the frame is exactly what the window shows.
// Areas (update regions, clips, window shapes) are lists of rectangles that may
// overlap; every use of them (clipping a copy, filling, testing a point) gives
// the same result for overlapping rectangles.
#pragma once

#include "platform/win32.h"

#include <stdint.h>
#include <string>
#include <vector>

namespace layer {

using Rects = std::vector<RECT>;

bool rect_is_empty(const RECT& r);
RECT rect_intersect(const RECT& a, const RECT& b);
RECT rect_offset(const RECT& r, int dx, int dy);
void rects_add(Rects& area, const RECT& r);
Rects rects_intersect(const Rects& area, const RECT& r);
Rects rects_intersect(const Rects& a, const Rects& b);
void rects_subtract(Rects& area, const RECT& r);
void rects_offset(Rects& area, int dx, int dy);
RECT rects_bounds(const Rects& area);
bool rects_contain(const Rects& area, int x, int y);

struct Window;

enum class GdiKind { brush, bitmap, region };

struct GdiObject {
    GdiKind kind;
    bool stock;                     // never deleted
    COLORREF color;                 // brush: 0x00BBGGRR
    int width, height;              // bitmap size in pixels
    std::vector<uint32_t> pixels;   // bitmap: width x height, top row first, 0x00RRGGBB
    int selected;                   // bitmap: how many DCs hold it
    Rects rects;                    // region
};

GdiObject* gdi_object(HGDIOBJ handle);  // null unless handle is a live object
GdiObject* new_region(const Rects& rects);
void delete_region(GdiObject* region);

// A device context: a window's (drawing into its top-level frame) or a
// memory one (drawing into the bitmap selected into it).
struct Dc {
    Window* window;       // window DC: the window drawn on; null for a memory DC
    POINT origin;         // window DC: the client origin in the frame
    Rects clip;           // window DC: where drawing may land, frame coordinates
    GdiObject* bitmap;    // memory DC: the selected bitmap (a 1 x 1 stock one at first)
    GdiObject* brush;     // the selected brush
};

HDC new_window_dc(Window* w, const Rects& clip);
Dc* dc_from(HDC handle);  // null unless a live DC

struct Icon {
    int width, height;
    std::vector<uint32_t> argb;  // width x height, top row first, 0xAARRGGBB
};

struct WindowClass {
    std::string name;
    WNDCLASSA wc;
};

struct Window {
    WNDPROC proc;
    UINT class_style;
    HBRUSH background;
    HICON icon;
    std::string title;
    DWORD style;
    bool alive;
    bool destroying;                // inside DestroyWindow
    bool visible;
    Window* parent;
    std::vector<Window*> children;  // bottom to top
    int x, y;                       // position in the parent's client area (screen for top-level)
    int width, height;
    Rects update;                   // invalid area, client coordinates
    bool erase_pending;             // the next BeginPaint erases with the class brush
    GdiObject* region;              // the window's shape, client coordinates; null = whole window
    // Top-level windows only:
    std::vector<uint32_t> frame;    // width x height, 0x00RRGGBB
    bool frame_dirty;               // drawn since last shown on screen
    void* host;                     // the SDL window, or null without video
    bool host_shaped;               // the SDL window takes the region's shape
};

Window* window_from(HWND handle);  // null unless a live window
inline HWND handle_of(Window* w) { return reinterpret_cast<HWND>(w); }
Window* top_level_of(Window* w);
POINT frame_origin(const Window* w);  // client origin in the top-level frame
Rects visible_area(const Window* w);  // frame coordinates, children excluded
void invalidate(Window* w, const RECT* r, bool erase);
std::vector<Window*> top_level_windows();
void post_message(Window* w, UINT message, WPARAM wparam, LPARAM lparam);
void kill_timers_of(Window* w);

// The SDL host: everything that talks to SDL lives in sdl_host.cpp.
// Whether windows can be shown on a screen (the offscreen and dummy video
// drivers count only when SDL_VIDEODRIVER names them); why tells what failed.
bool host_display_available(const char** why);
void host_create(Window* w);
void host_destroy(Window* w);
void host_show(Window* w, bool show);
void host_set_shape(Window* w);
void host_present(Window* w);
bool host_screen_size(int* width, int* height);
// Waits up to timeout_ms (negative = no limit) for input, turning it into posted messages.
void host_pump(int timeout_ms);
void host_message_box(const char* text, const char* caption);

}  // namespace layer
