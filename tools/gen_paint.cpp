// Painting toolkit for the asset generator: hashing and value noise,
// colour helpers and anti-aliased primitives over the float canvas.
#include "gen_assets.h"

#include <algorithm>

namespace gen {

uint32_t hash3(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B1u ^ uint32_t(x) * 0x85EBCA77u ^ uint32_t(y) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

float noise2(float x, float y, uint32_t seed) {
    float fx = std::floor(x), fy = std::floor(y);
    int32_t ix = int32_t(fx), iy = int32_t(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    float a = hash01(ix, iy, seed), b = hash01(ix + 1, iy, seed);
    float c = hash01(ix, iy + 1, seed), d = hash01(ix + 1, iy + 1, seed);
    return lerp(lerp(a, b, tx), lerp(c, d, tx), ty);
}

float noise1(float x, uint32_t seed) {
    float fx = std::floor(x);
    int32_t ix = int32_t(fx);
    float t = x - fx;
    t = t * t * (3.0f - 2.0f * t);
    return lerp(hash01(ix, 0, seed), hash01(ix + 1, 0, seed), t);
}

float fbm2(float x, float y, uint32_t seed, int octaves, float gain) {
    float sum = 0, amp = 1, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * noise2(x, y, seed + uint32_t(i) * 101u);
        norm += amp;
        amp *= gain;
        // Each octave is turned a little so the lattices do not line up.
        float nx = x * 1.6f - y * 1.2f, ny = x * 1.2f + y * 1.6f;
        x = nx + 17.3f;
        y = ny + 5.1f;
    }
    return sum / norm;
}

float fbm1(float x, uint32_t seed, int octaves, float gain) {
    float sum = 0, amp = 1, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * noise1(x, seed + uint32_t(i) * 101u);
        norm += amp;
        amp *= gain;
        x = x * 2.03f + 11.7f;
    }
    return sum / norm;
}

Cell voronoi(float x, float y, uint32_t seed) {
    int32_t ix = int32_t(std::floor(x)), iy = int32_t(std::floor(y));
    Cell best{1e9f, 1e9f, 0};
    for (int32_t j = iy - 1; j <= iy + 1; ++j)
        for (int32_t i = ix - 1; i <= ix + 1; ++i) {
            uint32_t h = hash3(i, j, seed);
            float px = float(i) + 0.1f + 0.8f * float(h & 0xFFFF) / 65536.0f;
            float py = float(j) + 0.1f + 0.8f * float(h >> 16) / 65536.0f;
            float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
            if (d < best.f1) {
                best.f2 = best.f1;
                best.f1 = d;
                best.id = h;
            } else if (d < best.f2) {
                best.f2 = d;
            }
        }
    return best;
}

Rgb cosine_palette(float t, Rgb a, Rgb b, Rgb c, Rgb d) {
    const float tau = 2.0f * PI;
    return Rgb{a.r + b.r * std::cos(tau * (c.r * t + d.r)), a.g + b.g * std::cos(tau * (c.g * t + d.g)),
               a.b + b.b * std::cos(tau * (c.b * t + d.b))};
}

Rgb hsv(float h, float s, float v) {
    h = fract(h) * 6.0f;
    int i = int(h);
    float f = h - float(i);
    float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i) {
    case 0: return Rgb{v, t, p};
    case 1: return Rgb{q, v, p};
    case 2: return Rgb{p, v, t};
    case 3: return Rgb{p, q, v};
    case 4: return Rgb{t, p, v};
    default: return Rgb{v, p, q};
    }
}

Rgb gradient(const std::vector<Stop>& stops, float t) {
    if (t <= stops.front().at) return stops.front().colour;
    for (size_t i = 1; i < stops.size(); ++i) {
        if (t <= stops[i].at) {
            float u = (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at);
            return mix(stops[i - 1].colour, stops[i].colour, smoothstep(0, 1, u));
        }
    }
    return stops.back().colour;
}

void fill_vertical(Image& img, const std::vector<Stop>& stops, int y0, int y1) {
    for (int y = std::max(0, y0); y < std::min(img.h, y1); ++y) {
        Rgb c = gradient(stops, float(y - y0) / float(y1 - y0));
        for (int x = 0; x < img.w; ++x) img.at(x, y) = c;
    }
}

void disc(Image& img, float cx, float cy, float r, Rgb c, float a) {
    int x0 = int(std::floor(cx - r - 1)), x1 = int(std::ceil(cx + r + 1));
    int y0 = int(std::floor(cy - r - 1)), y1 = int(std::ceil(cy + r + 1));
    for (int y = std::max(0, y0); y <= std::min(img.h - 1, y1); ++y)
        for (int x = std::max(0, x0); x <= std::min(img.w - 1, x1); ++x) {
            float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
            float cover = clamp01(r + 0.5f - std::sqrt(dx * dx + dy * dy));
            if (cover > 0) img.blend(x, y, c, cover * a);
        }
}

void ring(Image& img, float cx, float cy, float r, float width, Rgb c, float a) {
    float half = width * 0.5f;
    int x0 = int(std::floor(cx - r - half - 1)), x1 = int(std::ceil(cx + r + half + 1));
    int y0 = int(std::floor(cy - r - half - 1)), y1 = int(std::ceil(cy + r + half + 1));
    for (int y = std::max(0, y0); y <= std::min(img.h - 1, y1); ++y)
        for (int x = std::max(0, x0); x <= std::min(img.w - 1, x1); ++x) {
            float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
            float d = std::fabs(std::sqrt(dx * dx + dy * dy) - r);
            float cover = clamp01(half + 0.5f - d);
            if (cover > 0) img.blend(x, y, c, cover * a);
        }
}

void segment(Image& img, float ax, float ay, float bx, float by, float width, Rgb c, float a) {
    float half = width * 0.5f;
    int x0 = int(std::floor(std::min(ax, bx) - half - 1)), x1 = int(std::ceil(std::max(ax, bx) + half + 1));
    int y0 = int(std::floor(std::min(ay, by) - half - 1)), y1 = int(std::ceil(std::max(ay, by) + half + 1));
    float vx = bx - ax, vy = by - ay;
    float len2 = vx * vx + vy * vy;
    for (int y = std::max(0, y0); y <= std::min(img.h - 1, y1); ++y)
        for (int x = std::max(0, x0); x <= std::min(img.w - 1, x1); ++x) {
            float px = float(x) + 0.5f - ax, py = float(y) + 0.5f - ay;
            float t = len2 > 0 ? clamp01((px * vx + py * vy) / len2) : 0.0f;
            float dx = px - vx * t, dy = py - vy * t;
            float cover = clamp01(half + 0.5f - std::sqrt(dx * dx + dy * dy));
            if (cover > 0) img.blend(x, y, c, cover * a);
        }
}

void glow(Image& img, float cx, float cy, float radius, Rgb c, float strength) {
    int reach = int(radius * 3.0f) + 1;
    float inv = 1.0f / (radius * radius);
    for (int y = std::max(0, int(cy) - reach); y <= std::min(img.h - 1, int(cy) + reach); ++y)
        for (int x = std::max(0, int(cx) - reach); x <= std::min(img.w - 1, int(cx) + reach); ++x) {
            float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
            float d2 = (dx * dx + dy * dy) * inv;
            if (d2 < 9.0f) img.add(x, y, c, strength / (1.0f + d2 * 4.0f) * (1.0f - d2 / 9.0f));
        }
}

void stars(Image& img, int y0, int y1, int count, uint32_t seed, float brightness, float crowding) {
    Rng rng(seed);
    for (int i = 0; i < count; ++i) {
        float x = rng.range(0, float(img.w));
        // A power of a uniform value crowds the stars toward y0.
        float u = std::pow(rng.uniform(), crowding);
        float y = float(y0) + float(y1 - y0) * u;
        float fade = crowding > 1.0f ? 1.0f - u : 1.0f;
        float mag = rng.uniform();
        mag = mag * mag * mag;
        float tint = rng.uniform();
        Rgb c = tint < 0.3f ? rgb(0.75f, 0.85f, 1.0f) : (tint > 0.85f ? rgb(1.0f, 0.85f, 0.7f) : rgb(1, 1, 1));
        float b = brightness * fade * (0.25f + 0.75f * mag);
        disc(img, x, y, 0.45f + 0.9f * mag, c, clamp01(b * 1.2f));
        if (mag > 0.45f) glow(img, x, y, 1.5f + 3.0f * mag, c, 0.12f * b);
    }
}

}  // namespace gen
