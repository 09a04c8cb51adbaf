// Drawing of the layer: brushes, bitmaps (decoded from the program's
// resources), regions, device contexts and the copy between them. A window DC
// draws into its top-level window's frame, clipped to what the window may
// touch at that moment (its visible area, and in a paint the update region).
#include "platform/sdl/layer_internal.h"

#include <string.h>

#include <algorithm>
#include <unordered_set>

namespace layer {

static std::unordered_set<GdiObject*> live_objects;
static std::unordered_set<Dc*> live_dcs;

static GdiObject black_brush = {GdiKind::brush, true, RGB(0, 0, 0), 0, 0, {}, 0, {}};
static GdiObject white_brush = {GdiKind::brush, true, RGB(255, 255, 255), 0, 0, {}, 0, {}};
static GdiObject default_bitmap = {GdiKind::bitmap, true, 0, 1, 1, {0}, 0, {}};

GdiObject* gdi_object(HGDIOBJ handle)
{
    GdiObject* object = reinterpret_cast<GdiObject*>(handle);
    if (object == &black_brush || object == &white_brush || object == &default_bitmap) return object;
    return live_objects.count(object) ? object : nullptr;
}

static GdiObject* new_object(GdiKind kind)
{
    GdiObject* object = new GdiObject{kind, false, 0, 0, 0, {}, 0, {}};
    live_objects.insert(object);
    return object;
}

GdiObject* new_region(const Rects& rects)
{
    GdiObject* region = new_object(GdiKind::region);
    region->rects = rects;
    return region;
}

void delete_region(GdiObject* region)
{
    if (!region || !live_objects.count(region)) return;
    live_objects.erase(region);
    delete region;
}

Dc* dc_from(HDC handle)
{
    Dc* dc = reinterpret_cast<Dc*>(handle);
    return live_dcs.count(dc) ? dc : nullptr;
}

HDC new_window_dc(Window* w, const Rects& clip)
{
    Dc* dc = new Dc{w, frame_origin(w), clip, nullptr, &black_brush};
    live_dcs.insert(dc);
    return reinterpret_cast<HDC>(dc);
}

// Where a DC's pixels are: the surface, the DC's origin in it, and the clip
// (null = the whole surface).
struct Surface {
    uint32_t* pixels;
    int width, height;
    POINT origin;
    const Rects* clip;
};

static bool surface_of(Dc* dc, Surface* s)
{
    if (dc->window) {
        if (!dc->window->alive) return false;
        Window* top = top_level_of(dc->window);
        *s = Surface{top->frame.data(), top->width, top->height, dc->origin, &dc->clip};
        return true;
    }
    GdiObject* b = dc->bitmap;
    *s = Surface{b->pixels.data(), b->width, b->height, POINT{0, 0}, nullptr};
    return true;
}

static Rects drawable_pieces(const Surface& s, const RECT& r)
{
    RECT bounded = rect_intersect(r, RECT{0, 0, s.width, s.height});
    if (rect_is_empty(bounded)) return {};
    if (!s.clip) return Rects{bounded};
    return rects_intersect(*s.clip, bounded);
}

static void mark_drawn(Dc* dc)
{
    if (dc->window) top_level_of(dc->window)->frame_dirty = true;
}

// A rectangle from a position and a size, kept inside the range of LONG.
static RECT clamped_rect(long long x, long long y, long long cx, long long cy)
{
    auto clamp = [](long long v) { return (LONG)std::min<long long>(std::max<long long>(v, -(1LL << 30)), 1LL << 30); };
    return RECT{clamp(x), clamp(y), clamp(x + cx), clamp(y + cy)};
}

}  // namespace layer

using namespace layer;

HGDIOBJ WINAPI GetStockObject(int i)
{
    if (i == BLACK_BRUSH) return reinterpret_cast<HGDIOBJ>(&black_brush);
    if (i == WHITE_BRUSH) return reinterpret_cast<HGDIOBJ>(&white_brush);
    return nullptr;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    GdiObject* brush = new_object(GdiKind::brush);
    brush->color = color & 0x00FFFFFFu;
    return reinterpret_cast<HBRUSH>(brush);
}

BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    GdiObject* object = gdi_object(ho);
    if (!object) return FALSE;
    if (object->stock) return TRUE;
    if (object->selected) return FALSE;  // still selected into a DC, or a window's region
    live_objects.erase(object);
    delete object;
    return TRUE;
}

int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv)
{
    GdiObject* object = gdi_object(reinterpret_cast<HGDIOBJ>(h));
    if (!object || object->kind != GdiKind::bitmap) return 0;
    if (!pv) return (int)sizeof(BITMAP);
    if (c < (int)sizeof(BITMAP)) return 0;
    BITMAP bm = {0, object->width, object->height, object->width * 4, 1, 32, object->pixels.data()};
    memcpy(pv, &bm, sizeof bm);
    return (int)sizeof(BITMAP);
}

HDC WINAPI CreateCompatibleDC(HDC)
{
    Dc* dc = new Dc{nullptr, POINT{0, 0}, {}, &default_bitmap, &black_brush};
    live_dcs.insert(dc);
    return reinterpret_cast<HDC>(dc);
}

static void release_dc(Dc* dc)
{
    if (dc->bitmap && !dc->bitmap->stock) dc->bitmap->selected--;
    live_dcs.erase(dc);
    delete dc;
}

BOOL WINAPI DeleteDC(HDC hdc)
{
    Dc* dc = dc_from(hdc);
    if (!dc || dc->window) return FALSE;
    release_dc(dc);
    return TRUE;
}

int WINAPI ReleaseDC(HWND, HDC hDC)
{
    Dc* dc = dc_from(hDC);
    if (!dc || !dc->window) return 0;
    release_dc(dc);
    return 1;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h)
{
    Dc* dc = dc_from(hdc);
    GdiObject* object = gdi_object(h);
    if (!dc || !object) return nullptr;
    if (object->kind == GdiKind::brush) {
        GdiObject* previous = dc->brush;
        dc->brush = object;
        return reinterpret_cast<HGDIOBJ>(previous);
    }
    if (object->kind != GdiKind::bitmap || dc->window) return nullptr;
    // A bitmap can be selected into one memory DC at a time.
    if (object->selected && object != dc->bitmap) return nullptr;
    GdiObject* previous = dc->bitmap;
    if (!previous->stock) previous->selected--;
    if (!object->stock) object->selected++;
    dc->bitmap = object;
    return reinterpret_cast<HGDIOBJ>(previous);
}

// Copies cx x cy pixels. Destination pixels outside the DC's clip, and those
// whose source lies outside the source's pixels, are left as they are.
BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop)
{
    Dc* dst_dc = dc_from(hdc);
    Dc* src_dc = dc_from(hdcSrc);
    if (!dst_dc || !src_dc || rop != SRCCOPY || cx <= 0 || cy <= 0) return FALSE;
    Surface dst, src;
    if (!surface_of(dst_dc, &dst) || !surface_of(src_dc, &src)) return FALSE;
    // Destination position of source pixel (0, 0) of the source surface.
    long long shift_x = (long long)x + dst.origin.x - x1 - src.origin.x;
    long long shift_y = (long long)y + dst.origin.y - y1 - src.origin.y;
    RECT target = rect_intersect(clamped_rect((long long)x + dst.origin.x, (long long)y + dst.origin.y, cx, cy),
                                 clamped_rect(shift_x, shift_y, src.width, src.height));
    for (const RECT& piece : drawable_pieces(dst, target)) {
        size_t row_bytes = (size_t)(piece.right - piece.left) * 4;
        for (LONG row = piece.top; row < piece.bottom; row++) {
            const uint32_t* from = src.pixels + (size_t)(row - shift_y) * src.width + (piece.left - shift_x);
            memmove(dst.pixels + (size_t)row * dst.width + piece.left, from, row_bytes);
        }
    }
    mark_drawn(dst_dc);
    return TRUE;
}

static uint32_t pixel_of(COLORREF c) { return (uint32_t)GetRValue(c) << 16 | (uint32_t)GetGValue(c) << 8 | GetBValue(c); }

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr)
{
    Dc* dc = dc_from(hDC);
    GdiObject* brush = gdi_object(hbr);
    if (!dc || !lprc || !brush || brush->kind != GdiKind::brush) return 0;
    Surface s;
    if (!surface_of(dc, &s)) return 0;
    uint32_t value = pixel_of(brush->color);
    for (const RECT& piece : drawable_pieces(s, rect_offset(*lprc, s.origin.x, s.origin.y))) {
        for (LONG row = piece.top; row < piece.bottom; row++) {
            uint32_t* p = s.pixels + (size_t)row * s.width;
            std::fill(p + piece.left, p + piece.right, value);
        }
    }
    mark_drawn(dc);
    return 1;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y)
{
    Dc* dc = dc_from(hdc);
    Surface s;
    if (!dc || !surface_of(dc, &s)) return CLR_INVALID;
    long long fx = (long long)x + s.origin.x, fy = (long long)y + s.origin.y;
    if (fx < 0 || fy < 0 || fx >= s.width || fy >= s.height) return CLR_INVALID;
    if (s.clip && !rects_contain(*s.clip, (int)fx, (int)fy)) return CLR_INVALID;
    uint32_t p = s.pixels[(size_t)fy * s.width + fx];
    return RGB(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF);
}

// --- Bitmaps from resources -----------------------------------------------

static uint32_t read_u32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
static uint16_t read_u16(const BYTE* p) { return (uint16_t)(p[0] | p[1] << 8); }

// Decodes an uncompressed 24- or 32-bit device-independent bitmap: a whole
// BMP file (starting "BM") or the bare info header and pixels. Every read is
// checked against size; anything else gives false.
static bool decode_dib(const BYTE* data, size_t size, GdiObject* bitmap)
{
    size_t header = 0, pixels_at = 0;
    if (size >= 14 && data[0] == 'B' && data[1] == 'M') {
        header = 14;
        pixels_at = read_u32(data + 10);
    }
    if (size < header + 40) return false;
    const BYTE* info = data + header;
    uint32_t info_size = read_u32(info);
    int32_t width = (int32_t)read_u32(info + 4);
    int32_t height = (int32_t)read_u32(info + 8);
    uint16_t bits = read_u16(info + 14);
    uint32_t compression = read_u32(info + 16);
    if (info_size < 40 || (bits != 24 && bits != 32) || compression != 0) return false;
    if (width <= 0 || width > 16384 || height == 0 || height < -16384 || height > 16384) return false;
    bool top_down = height < 0;
    int rows = top_down ? -height : height;
    if (!pixels_at) pixels_at = header + info_size;
    size_t stride = ((size_t)width * bits / 8 + 3) & ~(size_t)3;
    if (pixels_at > size || (size - pixels_at) / stride < (size_t)rows) return false;
    bitmap->width = width;
    bitmap->height = rows;
    bitmap->pixels.assign((size_t)width * rows, 0);
    size_t step = bits / 8;
    for (int row = 0; row < rows; row++) {
        const BYTE* from = data + pixels_at + (size_t)(top_down ? row : rows - 1 - row) * stride;
        uint32_t* to = bitmap->pixels.data() + (size_t)row * width;
        for (int col = 0; col < width; col++, from += step) to[col] = (uint32_t)from[2] << 16 | from[1] << 8 | from[0];
    }
    return true;
}

static const BYTE* resource_bytes(HINSTANCE module, LPCSTR name, LPCSTR type, DWORD* size)
{
    HRSRC info = FindResourceA(module, name, type);
    if (!info) return nullptr;
    HGLOBAL loaded = LoadResource(module, info);
    *size = SizeofResource(module, info);
    return loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
}

HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName)
{
    DWORD size = 0;
    const BYTE* bytes = resource_bytes(hInstance, lpBitmapName, RT_BITMAP, &size);
    if (!bytes) return nullptr;
    GdiObject* bitmap = new_object(GdiKind::bitmap);
    if (!decode_dib(bytes, size, bitmap)) {
        DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
        return nullptr;
    }
    return reinterpret_cast<HBITMAP>(bitmap);
}

// --- Icons and cursors ----------------------------------------------------

static Icon stock_icon = {0, 0, {}};
static Icon arrow_cursor = {0, 0, {}};

// Picks the 32-bit bitmap image of an icon file closest to 32 x 32 and
// decodes it with its own alpha (images stored as PNG are passed over).
static bool decode_icon(const BYTE* data, size_t size, Icon* icon)
{
    if (size < 6 || read_u16(data) != 0 || read_u16(data + 2) != 1) return false;
    unsigned count = read_u16(data + 4);
    const BYTE* best = nullptr;
    size_t best_size = 0;
    int best_distance = 1 << 30;
    for (unsigned i = 0; i < count && 6 + (size_t)(i + 1) * 16 <= size; i++) {
        const BYTE* entry = data + 6 + i * 16;
        int side = entry[0] ? entry[0] : 256;
        uint32_t bytes = read_u32(entry + 8), offset = read_u32(entry + 12);
        if (offset > size || bytes > size - offset || bytes < 40) continue;
        const BYTE* image = data + offset;
        if (read_u32(image) != 40 || read_u16(image + 14) != 32) continue;
        int distance = side > 32 ? side - 32 : 32 - side;
        if (distance < best_distance) {
            best = image;
            best_size = bytes;
            best_distance = distance;
        }
    }
    if (!best) return false;
    int32_t width = (int32_t)read_u32(best + 4), height = (int32_t)read_u32(best + 8) / 2;
    if (width <= 0 || width > 256 || height <= 0 || height > 256) return false;
    if ((best_size - 40) / 4 / (size_t)width < (size_t)height) return false;
    icon->width = width;
    icon->height = height;
    icon->argb.resize((size_t)width * height);
    for (int row = 0; row < height; row++) {
        const BYTE* from = best + 40 + (size_t)(height - 1 - row) * width * 4;
        for (int col = 0; col < width; col++, from += 4)
            icon->argb[(size_t)row * width + col] = read_u32(from);
    }
    return true;
}

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    if (!hInstance) return reinterpret_cast<HICON>(&stock_icon);
    DWORD size = 0;
    const BYTE* bytes = resource_bytes(hInstance, lpIconName, RT_GROUP_ICON, &size);
    if (!bytes) return nullptr;
    // Icons live as long as the program, like the classes that use them.
    static std::vector<Icon*>& icons = *new std::vector<Icon*>;
    Icon* icon = new Icon{0, 0, {}};
    if (!decode_icon(bytes, size, icon)) {
        delete icon;
        return nullptr;
    }
    icons.push_back(icon);
    return reinterpret_cast<HICON>(icon);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR)
{
    // The system's arrow is the only cursor the layer knows; it is what SDL shows.
    return hInstance ? nullptr : reinterpret_cast<HCURSOR>(&arrow_cursor);
}

// --- Regions --------------------------------------------------------------

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2)
{
    RECT r = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    Rects rects;
    if (!rect_is_empty(r)) rects.push_back(r);
    return reinterpret_cast<HRGN>(new_region(rects));
}

// Builds a region from an RGNDATA block of nCount bytes: a 32-byte header of
// rectangles followed by nCount rectangles of four 32-bit values. A transform,
// when given, may only move the region.
HRGN WINAPI ExtCreateRegion(const XFORM* lpx, DWORD nCount, const RGNDATA* lpData)
{
    if (!lpData || nCount < sizeof(RGNDATAHEADER)) return nullptr;
    RGNDATAHEADER header;
    memcpy(&header, lpData, sizeof header);
    if (header.dwSize != sizeof(RGNDATAHEADER) || header.iType != RDH_RECTANGLES) return nullptr;
    if (header.nCount > (nCount - sizeof(RGNDATAHEADER)) / sizeof(RECT)) return nullptr;
    int dx = 0, dy = 0;
    if (lpx) {
        if (lpx->eM11 != 1 || lpx->eM12 != 0 || lpx->eM21 != 0 || lpx->eM22 != 1) return nullptr;
        dx = (int)lpx->eDx;
        dy = (int)lpx->eDy;
    }
    const char* bytes = reinterpret_cast<const char*>(lpData) + sizeof(RGNDATAHEADER);
    Rects rects;
    for (DWORD i = 0; i < header.nCount; i++) {
        RECT r;
        memcpy(&r, bytes + i * sizeof(RECT), sizeof r);
        if (!rect_is_empty(r)) rects.push_back(rect_offset(r, dx, dy));
    }
    return reinterpret_cast<HRGN>(new_region(rects));
}

BOOL WINAPI PtInRegion(HRGN hrgn, int x, int y)
{
    GdiObject* region = gdi_object(hrgn);
    return region && region->kind == GdiKind::region && rects_contain(region->rects, x, y);
}

int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc)
{
    GdiObject* region = gdi_object(hrgn);
    if (!region || region->kind != GdiKind::region || !lprc) return ERROR;
    *lprc = rects_bounds(region->rects);
    if (rect_is_empty(*lprc)) return NULLREGION;
    return region->rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}
