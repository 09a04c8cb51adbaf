// Areas as lists of rectangles: the update regions, clips and window shapes of
// the layer. Rectangles are half-open (right and bottom excluded).
#include "platform/sdl/layer_internal.h"

#include <algorithm>

namespace layer {

bool rect_is_empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT rect_intersect(const RECT& a, const RECT& b)
{
    RECT r = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
    if (rect_is_empty(r)) r = RECT{0, 0, 0, 0};
    return r;
}

RECT rect_offset(const RECT& r, int dx, int dy)
{
    return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

static bool rect_contains(const RECT& outer, const RECT& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Adds r to the area. A rectangle already covered is dropped, and one that
// continues a rectangle of the same columns straight down or up joins it, so
// that repeated strips (a scroll's uncovered rows) do not pile up.
void rects_add(Rects& area, const RECT& r)
{
    if (rect_is_empty(r)) return;
    for (RECT& a : area) {
        if (rect_contains(a, r)) return;
        if (a.left == r.left && a.right == r.right && r.top <= a.bottom && r.bottom >= a.top) {
            a.top = std::min(a.top, r.top);
            a.bottom = std::max(a.bottom, r.bottom);
            return;
        }
    }
    area.erase(std::remove_if(area.begin(), area.end(), [&](const RECT& a) { return rect_contains(r, a); }),
               area.end());
    area.push_back(r);
}

Rects rects_intersect(const Rects& area, const RECT& r)
{
    Rects out;
    for (const RECT& a : area) {
        RECT i = rect_intersect(a, r);
        if (!rect_is_empty(i)) out.push_back(i);
    }
    return out;
}

Rects rects_intersect(const Rects& a, const Rects& b)
{
    Rects out;
    for (const RECT& r : b) {
        for (const RECT& i : rects_intersect(a, r)) out.push_back(i);
    }
    return out;
}

// Removes r from every rectangle, leaving up to four pieces of each.
void rects_subtract(Rects& area, const RECT& r)
{
    Rects out;
    for (const RECT& a : area) {
        RECT i = rect_intersect(a, r);
        if (rect_is_empty(i)) {
            out.push_back(a);
            continue;
        }
        if (a.top < i.top) out.push_back(RECT{a.left, a.top, a.right, i.top});
        if (i.bottom < a.bottom) out.push_back(RECT{a.left, i.bottom, a.right, a.bottom});
        if (a.left < i.left) out.push_back(RECT{a.left, i.top, i.left, i.bottom});
        if (i.right < a.right) out.push_back(RECT{i.right, i.top, a.right, i.bottom});
    }
    area.swap(out);
}

void rects_offset(Rects& area, int dx, int dy)
{
    for (RECT& a : area) a = rect_offset(a, dx, dy);
}

RECT rects_bounds(const Rects& area)
{
    RECT b = {0, 0, 0, 0};
    bool first = true;
    for (const RECT& a : area) {
        if (rect_is_empty(a)) continue;
        if (first) {
            b = a;
            first = false;
            continue;
        }
        b.left = std::min(b.left, a.left);
        b.top = std::min(b.top, a.top);
        b.right = std::max(b.right, a.right);
        b.bottom = std::max(b.bottom, a.bottom);
    }
    return b;
}

bool rects_contain(const Rects& area, int x, int y)
{
    for (const RECT& a : area) {
        if (x >= a.left && x < a.right && y >= a.top && y < a.bottom) return true;
    }
    return false;
}

}  // namespace layer
