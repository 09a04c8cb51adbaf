// The window's shape, the skin painted to fit it, and the icon.
//
// The shape is one rectangle for the frame (0, 0, 720, 580) and 117 more
// for an emblem hanging below the middle of it (x 231..467, y 580..666).
// The emblem is drawn as an outline function, traced row by row, and the
// rows are grouped into bands 1 to 7 pixels high; the skin then paints the
// emblem over exactly the union of those rectangles.
#include "gen_assets.h"

#include <algorithm>

namespace gen {

namespace {

constexpr int FRAME_BOTTOM = 580;       // the frame rectangle's bottom edge
constexpr int EMBLEM_LEFT = 231;
constexpr int EMBLEM_RIGHT = 467;       // exclusive
constexpr int EMBLEM_BOTTOM = 666;      // exclusive
constexpr int EMBLEM_RECTS = 117;
constexpr int MAX_BAND = 7;             // tallest band, in rows
constexpr float EMBLEM_CX = 349.0f;     // the emblem's axis: (231 + 467) / 2

// The medallion at the emblem's heart, in window coordinates.
constexpr float MEDALLION_CY = 632.0f;
constexpr float MEDALLION_R = 33.0f;

// The emblem's outline: is the pixel centre (px, py) inside?
// u runs across from the axis, v down from the frame's bottom edge.
bool emblem_covers(float px, float py) {
    float u = px - EMBLEM_CX, v = py - float(FRAME_BOTTOM);
    float au = std::fabs(u);
    if (v < 0 || v >= float(EMBLEM_BOTTOM - FRAME_BOTTOM)) return false;
    // The bracket under the frame, wide at the top and narrowing.
    if (v < 12 && au <= 118.5f - v * 1.5f) return true;
    // Outer pendants, rounded at the foot.
    float tu = au - 95.0f;
    if (v < 34 && std::fabs(tu) <= 8) {
        if (v < 26 || tu * tu + (v - 26) * (v - 26) <= 64) return true;
    }
    if (tu * tu + (v - 38) * (v - 38) <= 25) return true;          // the pendant's bead
    if (std::fabs(tu) <= 2 && v < 40) return true;                  // the bead's thread
    // The neck and its collar.
    if (v < 22 && au <= 14) return true;
    if (v >= 12 && v < 16 && au <= 24) return true;
    // The medallion with its point.
    float mv = py - MEDALLION_CY;
    if (u * u + mv * mv <= MEDALLION_R * MEDALLION_R) return true;
    if (v >= 74 && au <= (86 - v) * 1.25f) return true;
    return false;
}

struct Span {
    int left, right;    // right exclusive
};

std::vector<Span> row_spans(int y) {
    std::vector<Span> spans;
    int start = -1;
    for (int x = EMBLEM_LEFT; x <= EMBLEM_RIGHT; ++x) {
        bool in = x < EMBLEM_RIGHT && emblem_covers(float(x) + 0.5f, float(y) + 0.5f);
        if (in && start < 0) start = x;
        if (!in && start >= 0) {
            spans.push_back(Span{start, x});
            start = -1;
        }
    }
    return spans;
}

struct Band {
    int top, bottom;
    std::vector<Span> spans;
};

bool close_enough(const std::vector<Span>& a, const std::vector<Span>& b, int tolerance) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::abs(a[i].left - b[i].left) > tolerance || std::abs(a[i].right - b[i].right) > tolerance)
            return false;
    return true;
}

// Groups the rows into bands: a band keeps the spans of its first row and
// takes in following rows whose spans differ by at most `tolerance` pixels.
std::vector<Band> group_rows(const std::vector<std::vector<Span>>& rows, int tolerance) {
    std::vector<Band> bands;
    for (int y = FRAME_BOTTOM; y < EMBLEM_BOTTOM; ++y) {
        const std::vector<Span>& spans = rows[size_t(y - FRAME_BOTTOM)];
        if (!bands.empty()) {
            Band& last = bands.back();
            if (last.bottom == y && last.bottom - last.top < MAX_BAND && close_enough(last.spans, spans, tolerance)) {
                last.bottom = y + 1;
                continue;
            }
        }
        if (!spans.empty()) bands.push_back(Band{y, y + 1, spans});
    }
    return bands;
}

size_t rect_count(const std::vector<Band>& bands) {
    size_t n = 0;
    for (const Band& b : bands) n += b.spans.size();
    return n;
}

}  // namespace

std::vector<Rect> window_shape() {
    std::vector<std::vector<Span>> rows;
    for (int y = FRAME_BOTTOM; y < EMBLEM_BOTTOM; ++y) rows.push_back(row_spans(y));
    // The loosest grouping that the rectangle budget forces...
    std::vector<Band> bands;
    for (int tolerance = 0;; ++tolerance) {
        bands = group_rows(rows, tolerance);
        if (rect_count(bands) <= size_t(EMBLEM_RECTS)) break;
    }
    // ...then spend what is left of the budget refining the outline: split
    // the tallest band whose lower half fits, taking that half's own spans.
    for (;;) {
        size_t missing = size_t(EMBLEM_RECTS) - rect_count(bands);
        if (missing == 0) break;
        int best = -1;
        for (size_t i = 0; i < bands.size(); ++i) {
            const Band& b = bands[i];
            int mid = (b.top + b.bottom) / 2;
            if (b.bottom - b.top < 2 || rows[size_t(mid - FRAME_BOTTOM)].size() > missing) continue;
            if (best < 0 || b.bottom - b.top > bands[size_t(best)].bottom - bands[size_t(best)].top) best = int(i);
        }
        if (best < 0) break;    // cannot happen with this outline; the test would catch the count
        Band& b = bands[size_t(best)];
        int mid = (b.top + b.bottom) / 2;
        Band lower{mid, b.bottom, rows[size_t(mid - FRAME_BOTTOM)]};
        b.bottom = mid;
        bands.insert(bands.begin() + best + 1, lower);
    }
    std::vector<Rect> rects;
    rects.push_back(Rect{0, 0, 720, FRAME_BOTTOM});
    for (const Band& b : bands)
        for (const Span& s : b.spans) rects.push_back(Rect{s.left, b.top, s.right, b.bottom});
    return rects;
}

namespace {

constexpr int SKIN_W = 720;
constexpr int PANE_LEFT = 40, PANE_TOP = 40, PANE_RIGHT = 680, PANE_BOTTOM = 540;

// Gunmetal of the frame: a vertical sheen with brushed horizontal streaks.
Rgb frame_metal(int x, int y) {
    float t = float(y) / float(FRAME_BOTTOM);
    Rgb base = mix(rgb(0.25f, 0.27f, 0.34f), rgb(0.13f, 0.14f, 0.19f), t);
    float streak = fbm2(float(x) * 0.01f, float(y) * 0.7f, 71, 3);
    return base * (0.86f + 0.28f * streak);
}

// A groove: a dark line with a bright line beside it, along a rectangle.
void groove(Image& img, int l, int t, int r, int b, Rgb dark, Rgb light) {
    for (int x = l; x <= r; ++x) {
        img.blend(x, t, dark, 0.8f);
        img.blend(x, t + 1, light, 0.5f);
        img.blend(x, b, dark, 0.8f);
        img.blend(x, b + 1, light, 0.5f);
    }
    for (int y = t; y <= b; ++y) {
        img.blend(l, y, dark, 0.8f);
        img.blend(l + 1, y, light, 0.5f);
        img.blend(r, y, dark, 0.8f);
        img.blend(r + 1, y, light, 0.5f);
    }
}

void rivet(Image& img, float cx, float cy, float r) {
    disc(img, cx + 1, cy + 1.5f, r, rgb(0.02f, 0.02f, 0.03f), 0.7f);
    disc(img, cx, cy, r, rgb(0.42f, 0.44f, 0.52f));
    disc(img, cx - r * 0.3f, cy - r * 0.3f, r * 0.45f, rgb(0.85f, 0.88f, 0.95f), 0.7f);
}

void gem(Image& img, float cx, float cy, float r, Rgb deep, Rgb bright) {
    ring(img, cx, cy, r + 1.5f, 2.5f, rgb(0.30f, 0.20f, 0.08f));
    int reach = int(r) + 2;
    for (int y = int(cy) - reach; y <= int(cy) + reach; ++y)
        for (int x = int(cx) - reach; x <= int(cx) + reach; ++x) {
            float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
            float d = std::sqrt(dx * dx + dy * dy);
            float cover = clamp01(r + 0.5f - d);
            if (cover <= 0) continue;
            // Eight facets around a flat table: each facet lit by its angle to the light.
            float angle = std::atan2(dy, dx);
            float facet = std::floor((angle + PI) / (2 * PI) * 8.0f + 0.5f) / 8.0f * 2 * PI - PI;
            float lit = 0.5f + 0.5f * std::cos(facet + 2.3f);
            float table = d < r * 0.45f ? 0.75f : lit;
            Rgb c = mix(deep, bright, table * (1.0f - 0.4f * d / r));
            img.blend(x, y, c, cover);
        }
    disc(img, cx - r * 0.35f, cy - r * 0.4f, r * 0.18f, rgb(1, 1, 1), 0.85f);
    glow(img, cx, cy, r * 0.9f, bright, 0.08f);
}

// The letters of the title as strokes on a 4 x 6 grid.
struct Stroke {
    float x0, y0, x1, y1;
};
const std::vector<Stroke> title_strokes = {
    // O (drawn as a ring separately), R, N, A
    {6, 0, 6, 6},   {6, 0, 8.5f, 0}, {8.5f, 0, 9.5f, 1}, {9.5f, 1, 9.5f, 2}, {9.5f, 2, 8.5f, 3}, {8.5f, 3, 6, 3},
    {7.5f, 3, 9.8f, 6}, {12, 6, 12, 0}, {12, 0, 15.5f, 6}, {15.5f, 6, 15.5f, 0},
    {18, 6, 20, 0}, {20, 0, 22, 6}, {18.7f, 4, 21.3f, 4},
};

}  // namespace

void paint_skin(Image& img, const std::vector<Rect>& shape) {
    // The frame.
    for (int y = 0; y < FRAME_BOTTOM; ++y)
        for (int x = 0; x < SKIN_W; ++x) img.at(x, y) = frame_metal(x, y);
    // Outer bevel: light from the top left.
    for (int i = 0; i < 4; ++i) {
        float a = 0.55f - 0.12f * float(i);
        for (int x = i; x < SKIN_W - i; ++x) {
            img.blend(x, i, rgb(0.75f, 0.78f, 0.86f), a);
            img.blend(x, FRAME_BOTTOM - 1 - i, rgb(0.02f, 0.02f, 0.04f), a);
        }
        for (int y = i; y < FRAME_BOTTOM - i; ++y) {
            img.blend(i, y, rgb(0.75f, 0.78f, 0.86f), a);
            img.blend(SKIN_W - 1 - i, y, rgb(0.02f, 0.02f, 0.04f), a);
        }
    }
    groove(img, 11, 11, SKIN_W - 13, FRAME_BOTTOM - 13, rgb(0.05f, 0.05f, 0.08f), rgb(0.55f, 0.58f, 0.66f));
    // The pane's recess: a sloped lip, lit opposite to the outer bevel.
    for (int i = 1; i <= 8; ++i) {
        float a = 0.75f - 0.08f * float(i);
        int l = PANE_LEFT - i, t = PANE_TOP - i, r = PANE_RIGHT - 1 + i, b = PANE_BOTTOM - 1 + i;
        for (int x = l; x <= r; ++x) {
            img.blend(x, t, rgb(0.03f, 0.03f, 0.05f), a);
            img.blend(x, b, rgb(0.62f, 0.65f, 0.74f), a * 0.6f);
        }
        for (int y = t; y <= b; ++y) {
            img.blend(l, y, rgb(0.03f, 0.03f, 0.05f), a);
            img.blend(r, y, rgb(0.62f, 0.65f, 0.74f), a * 0.6f);
        }
    }
    for (int y = PANE_TOP; y < PANE_BOTTOM; ++y)
        for (int x = PANE_LEFT; x < PANE_RIGHT; ++x) img.at(x, y) = rgb(0, 0, 0);
    for (float cx : {22.0f, 698.0f})
        for (float cy : {22.0f, 558.0f}) rivet(img, cx, cy, 6.0f);
    // Title plate at the top: "ORNA" in engraved gold strokes.
    for (int y = 9; y < 32; ++y)
        for (int x = 300; x < 420; ++x) {
            float dx = std::max(0.0f, std::fabs(float(x) + 0.5f - 360.0f) - 48.0f);
            float dy = float(y) + 0.5f - 20.5f;
            float cover = clamp01(11.5f - std::sqrt(dx * dx + dy * dy));
            img.blend(x, y, mix(rgb(0.10f, 0.09f, 0.12f), rgb(0.18f, 0.16f, 0.20f), float(y - 9) / 23.0f), cover);
        }
    const float gx = 329.0f, gy = 14.5f, unit = 2.6f;   // grid origin and size of one grid step
    Rgb gold = rgb(0.95f, 0.76f, 0.38f);
    ring(img, gx + 2.0f * unit, gy + 3.0f * unit, 2.6f * unit, 2.2f, gold);
    for (const Stroke& s : title_strokes)
        segment(img, gx + s.x0 * unit, gy + s.y0 * unit, gx + s.x1 * unit, gy + s.y1 * unit, 2.2f, gold);
    // The lower panel: two engraved waves meeting at a gem on the emblem's axis.
    for (int x = 60; x < 660; ++x) {
        if (std::fabs(float(x) - EMBLEM_CX) < 24) continue;
        float phase = float(x) * 0.09f;
        float amp = 5.0f * smoothstep(60, 120, float(x)) * (1.0f - smoothstep(600, 660, float(x)));
        float y = 560.0f + amp * std::sin(phase);
        disc(img, float(x), y + 1, 1.1f, rgb(0.02f, 0.03f, 0.04f), 0.6f);
        disc(img, float(x), y, 1.0f, rgb(0.35f, 0.85f, 0.85f), 0.9f);
        glow(img, float(x), y, 3.0f, rgb(0.10f, 0.40f, 0.45f), 0.02f);
    }
    gem(img, EMBLEM_CX, 560.0f, 9.0f, rgb(0.10f, 0.25f, 0.35f), rgb(0.40f, 0.95f, 0.95f));

    // The emblem: bronze over exactly the union of the shape's lower rectangles.
    const int ex0 = EMBLEM_LEFT, ew = EMBLEM_RIGHT - EMBLEM_LEFT;
    const int ey0 = FRAME_BOTTOM, eh = EMBLEM_BOTTOM - FRAME_BOTTOM;
    std::vector<float> mask(size_t(ew) * size_t(eh), 0.0f);
    for (size_t i = 1; i < shape.size(); ++i)
        for (int y = shape[i].top; y < shape[i].bottom; ++y)
            for (int x = shape[i].left; x < shape[i].right; ++x) mask[size_t(y - ey0) * size_t(ew) + size_t(x - ex0)] = 1;
    auto inside = [&](int x, int y) {
        if (y < ey0) return x >= ex0 && x < ex0 + ew ? 1.0f : 0.0f;     // the frame above counts as solid
        if (x < ex0 || x >= ex0 + ew || y >= ey0 + eh) return 0.0f;
        return mask[size_t(y - ey0) * size_t(ew) + size_t(x - ex0)];
    };
    // A blurred copy of the mask gives the bevel's slope.
    const int R = 3;
    auto soft = [&](int x, int y) {
        float sum = 0;
        for (int j = -R; j <= R; ++j)
            for (int i = -R; i <= R; ++i) sum += inside(x + i, y + j);
        return sum / float((2 * R + 1) * (2 * R + 1));
    };
    for (int y = ey0; y < ey0 + eh; ++y)
        for (int x = ex0; x < ex0 + ew; ++x) {
            if (inside(x, y) == 0) continue;
            float gxs = soft(x + 1, y) - soft(x - 1, y), gys = soft(x, y + 1) - soft(x, y - 1);
            float rim = soft(x, y);
            float light = -(gxs * -0.6f + gys * -0.8f) * 2.2f;     // light from the top left
            float t = float(y - ey0) / float(eh);
            Rgb bronze = mix(rgb(0.86f, 0.66f, 0.32f), rgb(0.55f, 0.38f, 0.16f), t);
            bronze = bronze * (0.75f + 0.25f * rim + light);
            bronze = bronze * (0.9f + 0.2f * fbm2(float(x) * 0.3f, float(y) * 0.05f, 5, 2));
            bronze.r = clampf(bronze.r, 0.22f, 1.0f);
            bronze.g = clampf(bronze.g, 0.15f, 1.0f);
            bronze.b = clampf(bronze.b, 0.06f, 1.0f);
            img.at(x, y) = bronze;
        }
    // Engraving: a line under the bracket's top edge and a ring round the medallion.
    for (int x = ex0 + 8; x < ex0 + ew - 8; ++x) {
        if (inside(x, 584) == 0) continue;
        img.blend(x, 584, rgb(0.30f, 0.20f, 0.08f), 0.8f);
        img.blend(x, 585, rgb(1.0f, 0.88f, 0.60f), 0.5f);
    }
    ring(img, EMBLEM_CX, MEDALLION_CY, MEDALLION_R - 6.0f, 1.2f, rgb(0.30f, 0.20f, 0.08f), 0.8f);
    ring(img, EMBLEM_CX, MEDALLION_CY + 1, MEDALLION_R - 6.0f, 1.0f, rgb(1.0f, 0.88f, 0.60f), 0.4f);
    gem(img, EMBLEM_CX, MEDALLION_CY, 17.0f, rgb(0.30f, 0.04f, 0.20f), rgb(0.95f, 0.35f, 0.65f));
    for (float side : {-1.0f, 1.0f}) gem(img, EMBLEM_CX + side * 95.0f, 618.0f, 3.8f, rgb(0.05f, 0.20f, 0.30f), rgb(0.4f, 0.9f, 0.95f));
    // Nothing outside the shape is ever shown: keep it black, so that the
    // decorations above cannot spill past the outline.
    for (int y = ey0; y < img.h; ++y)
        for (int x = 0; x < SKIN_W; ++x)
            if (inside(x, y) == 0) img.at(x, y) = rgb(0, 0, 0);
}

}  // namespace gen
