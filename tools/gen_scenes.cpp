// The scenic pictures: mountains at dusk, a descent into the ocean, a city
// at night, a misty forest at sunrise and an aurora over sea ice. Each is
// composed for a tall canvas that is scrolled from the top down.
#include "gen_assets.h"

#include <algorithm>

namespace gen {

namespace {

// Fills column x from the anti-aliased edge at `top` (a fraction of a row)
// down to row `bottom` (exclusive) with colours from `shade`(y).
template <typename Shade>
void fill_column(Image& img, int x, float top, int bottom, Shade shade) {
    int y0 = std::max(0, int(std::floor(top)));
    for (int y = y0; y < std::min(bottom, img.h); ++y) {
        float cover = clamp01(float(y) + 1.0f - top);
        img.blend(x, y, shade(y), cover);
    }
}

// A conifer: a tiered crown of `tiers` steps on a short trunk, standing on (cx, base).
void conifer(Image& img, float cx, float base, float height, float width, int tiers, Rgb c) {
    float top = base - height;
    for (int y = std::max(0, int(top)); y < std::min(img.h, int(base) + 1); ++y) {
        float t = (float(y) + 0.5f - top) / height;            // 0 at the tip, 1 at the foot
        if (t < 0) continue;
        float tier = fract(t * float(tiers));
        float half = width * 0.5f * t * (0.55f + 0.45f * tier);
        if (t > 0.92f) half = std::max(width * 0.04f, 1.0f);   // the trunk
        for (int x = int(cx - half - 1); x <= int(cx + half + 1); ++x) {
            float cover = clamp01(half + 0.5f - std::fabs(float(x) + 0.5f - cx));
            img.blend(x, y, c, cover);
        }
    }
}

// A fish seen from the side, facing right when dir > 0.
void fish(Image& img, float cx, float cy, float len, float dir, Rgb body, Rgb belly) {
    float a = len * 0.5f, b = len * 0.2f, tail = len * 0.35f;
    int x0 = int(cx - a - tail - 2), x1 = int(cx + a + tail + 2);
    for (int y = int(cy - b * 1.6f - 2); y <= int(cy + b * 1.6f + 2); ++y)
        for (int x = x0; x <= x1; ++x) {
            float dx = (float(x) + 0.5f - cx) * dir, dy = float(y) + 0.5f - cy;
            float q = std::sqrt((dx / a) * (dx / a) + (dy / b) * (dy / b));
            float cover = clamp01((1.0f - q) * b + 0.5f);
            // The tail: a wedge opening backwards from the body's end.
            float tx = -dx - a * 0.8f;
            if (tx > 0 && tx < tail) {
                float half = b * 0.3f + tx / tail * b * 1.2f;
                cover = std::max(cover, clamp01(half + 0.5f - std::fabs(dy)) * clamp01(tail - tx + 0.5f));
            }
            if (cover <= 0) continue;
            Rgb c = mix(body, belly, smoothstep(-b, b, dy));
            img.blend(x, y, c, cover);
        }
}

// A whale seen from the side, head at (x, y), `length` pixels long, swimming left.
void whale(Image& img, float x, float y, float length, Rgb body) {
    Rgb belly = mix(body, rgb(0.30f, 0.45f, 0.55f), 0.3f);
    auto thickness = [&](float t) {
        return length * 0.11f * (t < 0.25f ? std::sqrt(t / 0.25f) : 1.0f - 0.88f * std::pow((t - 0.25f) / 0.75f, 1.3f));
    };
    auto centre = [&](float t) { return y + length * 0.04f * std::sin(t * PI * 1.2f); };
    for (int px = int(x); px <= int(x + length); ++px) {
        float t = (float(px) + 0.5f - x) / length;
        float c = centre(t), half = thickness(t);
        for (int py = int(c - half - 1); py <= int(c + half + 1); ++py) {
            float d = std::fabs(float(py) + 0.5f - c);
            float cover = clamp01(half + 0.5f - d);
            // The pale throat with its grooves under the front half.
            float under = smoothstep(c - half * 0.1f, c + half, float(py)) * (1 - smoothstep(0.3f, 0.6f, t));
            Rgb col = mix(body, belly, under);
            if (under > 0.3f && int(float(py) - c) % 5 == 0) col = body;
            img.blend(px, py, col, cover);
        }
    }
    // Flukes, swept back from the tail stock, and the long flipper.
    float tx = x + length, ty = centre(1.0f);
    for (int side = -1; side <= 1; side += 2)
        for (int k = 0; k < 6; ++k) {
            float a = float(k) / 6.0f, b = float(k + 1) / 6.0f;
            segment(img, tx + length * 0.11f * a, ty + float(side) * length * 0.08f * a,
                    tx + length * 0.11f * b, ty + float(side) * length * 0.08f * b, length * 0.03f * (1.2f - a), body);
        }
    float fx = x + length * 0.28f, fy = centre(0.28f) + thickness(0.28f) * 0.6f;
    for (int k = 0; k < 6; ++k) {
        float a = float(k) / 6.0f, b = float(k + 1) / 6.0f;
        segment(img, fx + length * 0.2f * a, fy + length * 0.12f * a, fx + length * 0.2f * b, fy + length * 0.12f * b,
                length * 0.035f * (1.1f - 0.8f * a), body);
    }
    disc(img, x + length * 0.12f, centre(0.12f) + thickness(0.12f) * 0.15f, 1.5f, rgb(0.0f, 0.0f, 0.0f), 0.8f);
}

}  // namespace

void picture_mountains(Image& img) {
    const int W = img.w, H = img.h;
    const float horizon = 0.60f * float(H);
    fill_vertical(img,
                  {{0.00f, rgb(0.010f, 0.010f, 0.045f)},
                   {0.30f, rgb(0.035f, 0.035f, 0.130f)},
                   {0.55f, rgb(0.150f, 0.075f, 0.290f)},
                   {0.76f, rgb(0.520f, 0.190f, 0.400f)},
                   {0.89f, rgb(0.950f, 0.470f, 0.300f)},
                   {1.00f, rgb(1.000f, 0.820f, 0.520f)}},
                  0, int(horizon + 120));
    for (int y = int(horizon + 120); y < H; ++y)
        for (int x = 0; x < W; ++x) img.at(x, y) = rgb(1.0f, 0.82f, 0.52f);
    stars(img, 0, int(horizon * 0.75f), 1500, 1200, 1.0f);
    // Streaks of cloud in the afterglow, lit from below.
    for (int y = int(horizon * 0.55f); y < int(horizon + 60); ++y) {
        float band = smoothstep(horizon * 0.55f, horizon * 0.75f, float(y)) * (1 - smoothstep(horizon - 80, horizon + 60, float(y)));
        for (int x = 0; x < W; ++x) {
            float c = fbm2(float(x) * 0.004f, float(y) * 0.035f, 12, 5);
            float cloud = smoothstep(0.52f, 0.72f, c) * band;
            if (cloud <= 0) continue;
            float warm = smoothstep(horizon * 0.6f, horizon, float(y));
            img.blend(x, y, mix(rgb(0.35f, 0.16f, 0.38f), rgb(1.0f, 0.55f, 0.45f), warm), cloud * 0.7f);
        }
    }
    // The sun just below the horizon, and a crescent moon high up.
    glow(img, float(W) * 0.32f, horizon + 80, 160, rgb(1.0f, 0.6f, 0.3f), 0.35f);
    const float mx = 462, my = 430, mr = 34;
    for (int y = int(my - mr - 2); y <= int(my + mr + 2); ++y)
        for (int x = int(mx - mr - 2); x <= int(mx + mr + 2); ++x) {
            float dx = float(x) + 0.5f - mx, dy = float(y) + 0.5f - my;
            float lit = clamp01(mr + 0.5f - std::sqrt(dx * dx + dy * dy));
            float sx = dx - 13, sy = dy + 7;
            float shadow = clamp01(mr - 1.5f + 0.5f - std::sqrt(sx * sx + sy * sy));
            img.blend(x, y, rgb(1.0f, 0.95f, 0.82f), lit * (1 - shadow));
        }
    glow(img, mx, my, 40, rgb(0.6f, 0.55f, 0.5f), 0.12f);
    // Ridges from far to near: each nearer ridge darker, lower, its valley
    // filled with mist the colour of the afterglow.
    const int layers = 9;
    for (int i = 0; i < layers; ++i) {
        float depth = float(i) / float(layers - 1);
        float base = lerp(horizon + 60, float(H) - 90, std::pow(depth, 0.9f));
        float amp = lerp(420, 150, depth);
        float freq = lerp(0.004f, 0.007f, depth);
        Rgb rock = mix(rgb(0.55f, 0.36f, 0.52f), rgb(0.025f, 0.02f, 0.045f), std::pow(depth, 0.55f));
        Rgb mist = mix(rgb(0.95f, 0.62f, 0.55f), rgb(0.30f, 0.16f, 0.30f), depth);
        std::vector<float> ridge(static_cast<size_t>(W));
        for (int x = 0; x < W; ++x) {
            float n = fbm1(float(x) * freq, 1300 + uint32_t(i) * 7, 5, 0.45f);
            float peak = 1.0f - std::fabs(2.0f * n - 1.0f);               // sharp crests
            ridge[size_t(x)] = base - amp * (0.45f * n + 0.55f * peak * peak);
        }
        // The mist lies in level sheets: it thickens with the height below
        // the ridge's mean line, the same for every column.
        const float mist_top = base - amp * 0.55f, mist_bottom = base + 40;
        for (int x = 0; x < W; ++x) {
            float top = ridge[size_t(x)];
            fill_column(img, x, top, H, [&](int y) {
                Rgb c = mix(rock, mist, 0.6f * smoothstep(mist_top, mist_bottom, float(y)));
                // The crest line catches the afterglow.
                return c + rgb(0.25f, 0.12f, 0.08f) * ((1 - depth) * clamp01(1.5f - (float(y) - top) * 0.5f));
            });
        }
        // Pines along the nearer ridges.
        if (i >= layers - 4) {
            Rng rng(1400 + uint32_t(i));
            int count = 90 + 50 * (i - (layers - 4));
            for (int k = 0; k < count; ++k) {
                float x = rng.range(0, float(W));
                float h = rng.range(8, 22) * (1.0f + 1.5f * depth);
                conifer(img, x, ridge[size_t(std::clamp(int(x), 0, W - 1))] + 3, h, h * 0.45f, 4, rock);
            }
        }
    }
}

void picture_ocean(Image& img) {
    const int W = img.w, H = img.h;
    const std::vector<Stop> water = {{0.00f, rgb(0.50f, 0.85f, 0.90f)}, {0.05f, rgb(0.16f, 0.58f, 0.74f)},
                                     {0.25f, rgb(0.03f, 0.28f, 0.48f)}, {0.55f, rgb(0.01f, 0.11f, 0.25f)},
                                     {0.80f, rgb(0.004f, 0.04f, 0.11f)}, {1.00f, rgb(0.0f, 0.012f, 0.04f)}};
    for (int y = 0; y < H; ++y) {
        Rgb base = gradient(water, float(y) / float(H));
        float fall = std::exp(-float(y) / 900.0f);
        float caustic_fall = std::exp(-float(y) / 260.0f);
        for (int x = 0; x < W; ++x) {
            Rgb c = base;
            // Shafts of light slanting down from the surface.
            float ray = fbm1((float(x) - float(y) * 0.35f) * 0.018f, 1500, 3);
            c = c + rgb(0.35f, 0.65f, 0.70f) * (std::pow(ray, 4.0f) * 0.9f * fall);
            // Caustics: a net of bright lines just under the surface.
            if (caustic_fall > 0.02f) {
                float n = fbm2(float(x) * 0.018f, float(y) * 0.03f, 1501, 3);
                float line = 1.0f - std::fabs(std::sin(n * 22.0f));
                c = c + rgb(0.5f, 0.8f, 0.8f) * (std::pow(line, 10.0f) * 0.5f * caustic_fall);
            }
            img.at(x, y) = c;
        }
    }
    // The rippled surface seen from below.
    for (int x = 0; x < W; ++x) {
        float s = 18 + 7 * std::sin(float(x) * 0.031f) + 10 * fbm1(float(x) * 0.02f, 1502, 3);
        for (int y = 0; y < int(s) + 1; ++y)
            img.blend(x, y, rgb(0.85f, 0.97f, 1.0f), clamp01(s - float(y)) * (0.6f + 0.4f * float(y) / s));
    }
    // Rising bubbles.
    Rng rng(1503);
    for (int k = 0; k < 260; ++k) {
        float x = rng.range(0, float(W)), y = rng.range(40, float(H) * 0.6f);
        float r = rng.range(1.5f, 6.0f);
        float a = 0.7f * std::exp(-y / 1200.0f) + 0.1f;
        ring(img, x, y, r, 1.0f, rgb(0.8f, 0.95f, 1.0f), a);
        disc(img, x - r * 0.35f, y - r * 0.35f, r * 0.25f, rgb(1, 1, 1), a);
    }
    // Schools of fish, each swirling along its own curve, darker the deeper they swim.
    const float schools[][4] = {{320, 520, 150, 16}, {220, 1050, 130, 20}, {420, 1500, 120, 14}};
    for (int s = 0; s < 3; ++s) {
        float sx = schools[s][0], sy = schools[s][1], spread = schools[s][2], len = schools[s][3];
        float dir = s == 1 ? -1.0f : 1.0f;
        Rgb body = mix(gradient(water, sy / float(H)), rgb(0.0f, 0.02f, 0.05f), 0.55f);
        Rgb belly = mix(body, rgb(0.7f, 0.85f, 0.9f), 0.45f);
        for (int k = 0; k < 170; ++k) {
            float t = rng.range(0, 2 * PI);
            float rr = spread * std::sqrt(rng.uniform());
            float x = sx + rr * 1.8f * std::cos(t) + 30 * std::sin(rr * 0.05f);
            float y = sy + rr * 0.9f * std::sin(t);
            fish(img, x, y, len * rng.range(0.8f, 1.2f), dir, body, belly);
        }
    }
    // A humpback whale passing through the blue, dim in the depth.
    whale(img, 90, 1800, 400, mix(gradient(water, 1800.0f / float(H)), rgb(0.0f, 0.01f, 0.03f), 0.65f));
    // Jellyfish drifting in the twilight zone, glowing.
    const float jellies[][4] = {{170, 2050, 38, 0.90f}, {470, 2330, 28, 0.55f}, {300, 2620, 46, 0.75f},
                                {110, 2900, 22, 0.30f}, {520, 3050, 32, 0.62f}};
    for (const auto& j : jellies) {
        float jx = j[0], jy = j[1], r = j[2];
        Rgb tone = hsv(j[3], 0.55f, 1.0f);
        glow(img, jx, jy, r * 1.6f, tone, 0.12f);
        for (int t = 0; t < 9; ++t) {
            float ox = jx + (float(t) - 4.0f) * r * 0.2f;
            float len = r * rng.range(4.0f, 7.0f), phase = rng.range(0, 6.28f);
            float px = ox, py = jy;
            for (float d = 4; d < len; d += 4) {
                float nx = ox + std::sin(d * 0.04f + phase) * r * 0.25f, ny = jy + d;
                segment(img, px, py, nx, ny, 1.4f, tone, 0.5f * (1 - d / len));
                px = nx;
                py = ny;
            }
        }
        for (int y = int(jy - r - 2); y <= int(jy + 2); ++y)
            for (int x = int(jx - r - 2); x <= int(jx + r + 2); ++x) {
                float dx = (float(x) + 0.5f - jx) / r, dy = (float(y) + 0.5f - jy) / (r * 0.8f);
                float q = std::sqrt(dx * dx + dy * dy);
                if (q > 1.0f + 1.0f / r || dy > 0.0f) continue;
                float edge = clamp01((1.0f - q) * r + 0.5f);
                float rim = std::pow(q, 6.0f);
                img.add(x, y, tone, edge * (0.18f + 0.6f * rim));
            }
    }
    // Luminous plankton in the deep.
    for (int k = 0; k < 700; ++k) {
        float y = float(H) * (0.5f + 0.5f * std::sqrt(rng.uniform()));
        float x = rng.range(0, float(W));
        Rgb c = rng.uniform() < 0.7f ? rgb(0.3f, 0.9f, 0.8f) : rgb(0.5f, 0.6f, 1.0f);
        float b = rng.range(0.2f, 1.0f);
        disc(img, x, y, 0.6f, c, b * 0.8f);
        glow(img, x, y, 2.5f, c, 0.05f * b);
    }
    // The sea floor: dark sand, kelp and glowing anemones.
    std::vector<float> floor_y(static_cast<size_t>(W));
    for (int x = 0; x < W; ++x) floor_y[size_t(x)] = float(H) - 170 - 110 * fbm1(float(x) * 0.006f, 1504, 4);
    for (int k = 0; k < 14; ++k) {
        float x0 = rng.range(10, float(W) - 10);
        float height = rng.range(250, 700), phase = rng.range(0, 6.28f), width = rng.range(4, 7);
        float base = floor_y[size_t(int(x0))] + 10;
        Rgb kelp = mix(rgb(0.03f, 0.09f, 0.07f), rgb(0.05f, 0.16f, 0.10f), rng.uniform());
        float px = x0, py = base;
        for (float d = 6; d < height; d += 6) {
            float nx = x0 + std::sin(d * 0.012f + phase) * 30, ny = base - d;
            float w = width * (1 - 0.6f * d / height);
            segment(img, px, py, nx, ny, w, kelp);
            if (int(d) % 36 == 0) {
                float side = (int(d) / 36) % 2 ? 1.0f : -1.0f;
                segment(img, nx, ny, nx + side * 18, ny - 14, w * 0.8f, kelp);
            }
            px = nx;
            py = ny;
        }
    }
    for (int x = 0; x < W; ++x)
        fill_column(img, x, floor_y[size_t(x)], H, [&](int y) {
            float d = float(y) - floor_y[size_t(x)];
            float grain = fbm2(float(x) * 0.05f, float(y) * 0.12f, 1505, 3);
            return mix(rgb(0.06f, 0.09f, 0.12f), rgb(0.015f, 0.02f, 0.03f), smoothstep(0, 140, d)) * (0.8f + 0.4f * grain);
        });
    for (int k = 0; k < 22; ++k) {
        float x = rng.range(0, float(W));
        float y = floor_y[size_t(int(x))] + rng.range(2, 40);
        Rgb tone = hsv(rng.range(0.85f, 1.12f), 0.6f, 1.0f);
        int arms = 9;
        for (int a = 0; a < arms; ++a) {
            float ang = -PI * (0.15f + 0.7f * float(a) / float(arms - 1));
            float l = rng.range(12, 24);
            segment(img, x, y, x + std::cos(ang) * l, y + std::sin(ang) * l, 1.6f, tone, 0.85f);
        }
        glow(img, x, y - 8, 14, tone, 0.12f);
    }
}

void picture_city(Image& img) {
    const int W = img.w, H = img.h;
    const int shore = 1080;                 // the waterline
    fill_vertical(img,
                  {{0.00f, rgb(0.008f, 0.010f, 0.035f)},
                   {0.45f, rgb(0.030f, 0.040f, 0.130f)},
                   {0.80f, rgb(0.120f, 0.090f, 0.240f)},
                   {1.00f, rgb(0.450f, 0.230f, 0.300f)}},
                  0, shore);
    stars(img, 0, 760, 900, 1600, 0.8f);
    // A full moon with its seas.
    const float mx = 168, my = 270, mr = 58;
    glow(img, mx, my, 90, rgb(0.35f, 0.38f, 0.5f), 0.25f);
    for (int y = int(my - mr - 2); y <= int(my + mr + 2); ++y)
        for (int x = int(mx - mr - 2); x <= int(mx + mr + 2); ++x) {
            float dx = float(x) + 0.5f - mx, dy = float(y) + 0.5f - my;
            float cover = clamp01(mr + 0.5f - std::sqrt(dx * dx + dy * dy));
            if (cover <= 0) continue;
            float seas = smoothstep(0.45f, 0.65f, fbm2(dx * 0.03f + 40, dy * 0.03f, 1601, 4));
            float limb = std::sqrt(clamp01(1 - (dx * dx + dy * dy) / (mr * mr)));
            Rgb c = mix(rgb(0.97f, 0.95f, 0.86f), rgb(0.62f, 0.64f, 0.66f), seas * 0.8f) * (0.75f + 0.25f * limb);
            img.blend(x, y, c, cover);
        }
    // Thin clouds drifting across the lower sky.
    for (int y = 420; y < 900; ++y)
        for (int x = 0; x < W; ++x) {
            float c = fbm2(float(x) * 0.003f, float(y) * 0.02f, 1602, 5);
            float cloud = smoothstep(0.55f, 0.75f, c);
            if (cloud > 0) img.blend(x, y, rgb(0.20f, 0.14f, 0.26f), cloud * 0.6f);
        }
    // Three rows of buildings, far to near.
    Rng rng(1603);
    const Rgb window_colours[] = {rgb(1.0f, 0.80f, 0.45f), rgb(0.95f, 0.92f, 0.80f), rgb(0.55f, 0.85f, 1.0f),
                                  rgb(1.0f, 0.62f, 0.35f)};
    for (int layer = 0; layer < 3; ++layer) {
        Rgb wall = layer == 0 ? rgb(0.11f, 0.10f, 0.21f) : (layer == 1 ? rgb(0.055f, 0.05f, 0.11f) : rgb(0.02f, 0.02f, 0.04f));
        float lit_share = 0.12f + 0.14f * float(layer);
        float min_h = 120 + 40 * float(layer == 1), max_h = layer == 0 ? 380 : (layer == 1 ? 560 : 300);
        float x = rng.range(-30, 0);
        while (x < float(W)) {
            float w = rng.range(34, 86), h = rng.range(min_h, max_h);
            float top = float(shore) - h;
            int l = int(x), r = int(x + w);
            for (int yy = int(top); yy < shore; ++yy)
                for (int xx = std::max(0, l); xx < std::min(W, r); ++xx) img.at(xx, yy) = wall;
            // The roof: flat, stepped, a spire, a dome or an antenna.
            int roof = rng.below(5);
            float cx = x + w * 0.5f;
            if (roof == 1) {
                for (int yy = int(top - h * 0.12f); yy < int(top); ++yy)
                    for (int xx = std::max(0, int(x + w * 0.2f)); xx < std::min(W, int(x + w * 0.8f)); ++xx) img.at(xx, yy) = wall;
            } else if (roof == 2) {
                conifer(img, cx, top + 1, w * 0.9f, w * 0.55f, 1, wall);
            } else if (roof == 3) {
                for (int yy = int(top - w * 0.35f); yy < int(top) + 1; ++yy)
                    for (int xx = std::max(0, l); xx < std::min(W, r); ++xx) {
                        float dx = (float(xx) + 0.5f - cx) / (w * 0.35f), dy = (float(yy) + 0.5f - top) / (w * 0.35f);
                        float cover = clamp01((1 - std::sqrt(dx * dx + dy * dy)) * w * 0.35f + 0.5f);
                        img.blend(xx, yy, wall, cover);
                    }
            } else if (roof == 4) {
                float ah = rng.range(30, 90);
                segment(img, cx, top, cx, top - ah, 2.0f, wall);
                disc(img, cx, top - ah, 1.8f, rgb(1.0f, 0.15f, 0.1f));
                glow(img, cx, top - ah, 5, rgb(1.0f, 0.2f, 0.1f), 0.35f);
            }
            // Windows on a grid, some lit.
            float wx = 4 + float(layer), wy = 6 + float(layer);
            for (float yy = top + 8; yy < float(shore) - 10; yy += wy) {
                bool floor_lit = rng.uniform() < 0.85f;
                for (float xx = x + 5; xx < x + w - 5; xx += wx) {
                    if (!floor_lit || rng.uniform() > lit_share) continue;
                    Rgb c = window_colours[rng.below(4)] * rng.range(0.5f, 1.0f) * (layer == 0 ? 0.6f : 1.0f);
                    for (int py = int(yy); py < int(yy) + int(wy) - 3; ++py)
                        for (int px = int(xx); px < int(xx) + int(wx) - 2; ++px)
                            if (px >= 0 && px < W) img.at(px, py) = c;
                }
            }
            x += w + rng.range(layer == 2 ? 20 : 0, layer == 2 ? 90 : 24);
        }
    }
    // Haze over the street lights along the shore.
    for (int y = shore - 120; y < shore; ++y)
        for (int x = 0; x < W; ++x) img.add(x, y, rgb(0.35f, 0.18f, 0.12f), 0.25f * smoothstep(float(shore - 120), float(shore), float(y)));
    // The river reflects everything above, broken by ripples.
    for (int y = shore; y < H; ++y) {
        float d = float(y - shore);
        for (int x = 0; x < W; ++x) {
            float ripple = std::sin(d * 0.3f + 3 * fbm2(float(x) * 0.02f, d * 0.08f, 1604, 2)) * (1 + d * 0.012f);
            int sx = std::clamp(int(float(x) + ripple), 0, W - 1);
            int sy = std::clamp(shore - 1 - int(d * 0.9f), 1, shore - 1);
            float shimmer = 0.7f + 0.6f * fbm2(float(x) * 0.004f, d * 0.2f, 1605, 2);
            Rgb src = (img.at(sx, sy) + img.at(sx, sy - 1)) * 0.5f;
            img.at(x, y) = src * (0.55f * shimmer * std::exp(-d / 700.0f)) + rgb(0.005f, 0.01f, 0.03f);
        }
    }
}

void picture_forest(Image& img) {
    const int W = img.w, H = img.h;
    const float sky_end = 700;
    fill_vertical(img,
                  {{0.00f, rgb(0.36f, 0.48f, 0.66f)},
                   {0.45f, rgb(0.70f, 0.72f, 0.74f)},
                   {0.80f, rgb(0.98f, 0.86f, 0.66f)},
                   {1.00f, rgb(1.00f, 0.90f, 0.70f)}},
                  0, int(sky_end));
    for (int y = int(sky_end); y < H; ++y)
        for (int x = 0; x < W; ++x) img.at(x, y) = rgb(1.0f, 0.90f, 0.70f);
    const float sx = 410, sy = 600;
    glow(img, sx, sy, 120, rgb(1.0f, 0.85f, 0.55f), 0.5f);
    disc(img, sx, sy, 30, rgb(1.0f, 0.97f, 0.88f));
    // A few birds.
    Rng rng(1700);
    for (int k = 0; k < 7; ++k) {
        float bx = rng.range(80, 560), by = rng.range(180, 420), s = rng.range(5, 9);
        segment(img, bx - s, by - s * 0.4f, bx, by, 1.3f, rgb(0.2f, 0.2f, 0.25f));
        segment(img, bx, by, bx + s, by - s * 0.5f, 1.3f, rgb(0.2f, 0.2f, 0.25f));
    }
    const Rgb fog = rgb(0.93f, 0.86f, 0.74f);
    const int layers = 8;
    for (int i = 0; i < layers; ++i) {
        float depth = float(i + 1) / float(layers);
        float base = lerp(sky_end - 40, float(H) - 60, std::pow(float(i) / float(layers - 1), 1.1f));
        Rgb green = mix(rgb(0.16f, 0.24f, 0.22f), rgb(0.015f, 0.035f, 0.03f), depth);
        Rgb tone = mix(fog, green, std::pow(depth, 0.7f));
        std::vector<float> hill(static_cast<size_t>(W));
        for (int x = 0; x < W; ++x) hill[size_t(x)] = base - 70 * fbm1(float(x) * 0.004f, 1710 + uint32_t(i), 4);
        float tree_h = lerp(40, 420, depth * depth);
        int count = int(lerp(120, 14, depth));
        for (int k = 0; k < count; ++k) {
            float x = rng.range(-20, float(W) + 20);
            float h = tree_h * rng.range(0.6f, 1.2f);
            float foot = hill[size_t(std::clamp(int(x), 0, W - 1))] + 6;
            conifer(img, x, foot, h, h * rng.range(0.32f, 0.42f), 5 + rng.below(4), tone);
        }
        Rgb lower_fog = mix(fog, tone, 0.45f);
        for (int x = 0; x < W; ++x) {
            // The ground rises out of the valley fog behind it without a hard edge.
            float h = hill[size_t(x)];
            for (int y = std::max(0, int(h) - 40); y <= int(h); ++y) img.blend(x, y, tone, 0.9f * smoothstep(h - 40, h, float(y)));
        }
        for (int x = 0; x < W; ++x)
            fill_column(img, x, hill[size_t(x)], H, [&](int y) {
                return mix(tone, lower_fog, smoothstep(0, 220, float(y) - hill[size_t(x)]));
            });
    }
    // Shafts of sunlight through the trees.
    for (int y = int(sky_end - 100); y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float dx = float(x) - sx, dy = float(y) - sy;
            float dist = std::sqrt(dx * dx + dy * dy);
            float angle = std::atan2(dx, dy);
            float shaft = std::pow(noise1(angle * 28.0f, 1720), 5.0f);
            float fall = std::exp(-dist / 900.0f) * smoothstep(0, 200, dist);
            img.add(x, y, rgb(1.0f, 0.9f, 0.65f), shaft * fall * 0.25f);
        }
}

void picture_aurora(Image& img) {
    const int W = img.w, H = img.h;
    const int horizon = 1060;
    fill_vertical(img,
                  {{0.00f, rgb(0.004f, 0.008f, 0.030f)},
                   {0.70f, rgb(0.010f, 0.045f, 0.080f)},
                   {1.00f, rgb(0.040f, 0.110f, 0.140f)}},
                  0, horizon);
    stars(img, 0, horizon - 40, 2600, 1800, 0.9f, 1.3f);
    // Curtains of light: a bright lower hem along a wandering line, rays
    // rising from it and fading from green to violet; each curtain brightens
    // and fades along its length.
    struct Curtain {
        float left, right;          // hem heights at the two edges, in rows
        float wave, phase, freq;    // the hem's great folds
        float height, strength;
        uint32_t seed;
    };
    const Curtain curtains[] = {{330, 560, 140, 1.0f, 0.0095f, 110, 1.1f, 1801},
                                {760, 640, 90, 4.0f, 0.012f, 80, 0.9f, 1802},
                                {170, 120, 50, 2.0f, 0.015f, 60, 0.6f, 1803}};
    for (const Curtain& c : curtains) {
        for (int x = 0; x < W; ++x) {
            float fx = float(x);
            float hem = lerp(c.left, c.right, fx / float(W)) + c.wave * std::sin(fx * c.freq + c.phase) +
                        40 * (fbm1(fx * 0.01f, c.seed, 3) - 0.5f) + 10 * std::sin(fx * 0.05f + c.phase);
            float along = clamp01(std::pow(fbm1(fx * 0.008f, c.seed + 5, 3), 2.0f) * 4.0f - 0.5f);
            float height = c.height * (0.5f + 1.0f * fbm1(fx * 0.012f, c.seed + 9, 2));
            int y0 = std::max(0, int(hem - height * 12)), y1 = std::min(horizon, int(hem + 120));
            for (int y = y0; y < y1; ++y) {
                float up = hem - float(y);
                float rays = clamp01(0.25f + 3.0f * std::pow(fbm1(fx * 0.13f + up * 0.004f, c.seed + 3, 3), 3.0f));
                float v = up >= 0 ? std::exp(-up / height) * (1 - smoothstep(height * 1.5f, height * 4.0f, up)) * rays
                                  : std::exp(-up * up / 1200.0f) * rays;
                v *= along * c.strength;
                Rgb col = up < 0 ? mix(rgb(0.20f, 1.0f, 0.50f), rgb(0.85f, 0.30f, 0.60f), smoothstep(0, 40, -up))
                                 : mix(rgb(0.20f, 1.0f, 0.50f), rgb(0.60f, 0.20f, 0.80f), smoothstep(height * 0.4f, height * 3.0f, up));
                img.add(x, y, col, v * 0.7f);
            }
        }
    }
    for (int y = horizon - 300; y < horizon; ++y)
        for (int x = 0; x < W; ++x) img.add(x, y, rgb(0.05f, 0.25f, 0.18f), 0.25f * smoothstep(float(horizon - 300), float(horizon), float(y)));
    // Distant mountains on the horizon, their snow lit green from above.
    for (int x = 0; x < W; ++x) {
        float n = fbm1(float(x) * 0.008f, 1804, 5);
        float top = float(horizon) - 20 - 90 * std::pow(1 - std::fabs(2 * n - 1), 2.0f);
        fill_column(img, x, top, horizon + 1, [&](int y) {
            float below = float(y) - top;
            return mix(rgb(0.18f, 0.36f, 0.34f), rgb(0.03f, 0.06f, 0.09f), clamp01(below / 25.0f));
        });
    }
    // Sea ice in perspective: floes separated by dark water that mirrors the sky.
    for (int y = horizon + 1; y < H; ++y) {
        float d = float(y - horizon);
        float v = 900.0f / d;                               // distance into the scene
        for (int x = 0; x < W; ++x) {
            float u = (float(x) - 320.0f) / d * 3.2f;
            Cell cell = voronoi(u * 1.0f, v * 0.8f, 1805);
            int sy = std::clamp(horizon - int(d * 1.2f), 0, horizon - 1);
            Rgb mirror = img.at(x, sy) * 0.6f + rgb(0.003f, 0.01f, 0.02f);
            float crack = (1 - smoothstep(0.02f, 0.02f + 0.06f * (1 + 1 / v), cell.f2 - cell.f1)) * smoothstep(10, 160, d);
            float tint = float(cell.id & 255) / 255.0f;
            Rgb ice = mix(rgb(0.22f, 0.32f, 0.38f), rgb(0.50f, 0.62f, 0.68f), tint) * (0.55f + 0.45f * smoothstep(0, 600, d));
            ice = ice + mirror * 0.35f;
            img.at(x, y) = mix(ice, mirror, crack);
        }
    }
}

}  // namespace gen
