// The asset generator's shared toolkit: a floating-point RGB canvas, a
// seeded random source, value noise, colour helpers and anti-aliased
// drawing primitives. Everything is deterministic: the same build produces
// the same bytes on every run. Standard library only, so the generator can
// be compiled natively on its own (g++ -O2 tools/gen_*.cpp).
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace gen {

struct Rgb {
    float r, g, b;                      // 0..1 per channel; values above 1 clip when written
};

inline Rgb rgb(float r, float g, float b) { return Rgb{r, g, b}; }
inline Rgb operator+(Rgb a, Rgb b) { return Rgb{a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb operator-(Rgb a, Rgb b) { return Rgb{a.r - b.r, a.g - b.g, a.b - b.b}; }
inline Rgb operator*(Rgb a, float s) { return Rgb{a.r * s, a.g * s, a.b * s}; }
inline Rgb operator*(Rgb a, Rgb b) { return Rgb{a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Rgb mix(Rgb a, Rgb b, float t) { return a + (b - a) * t; }

inline float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline float clamp01(float v) { return clampf(v, 0.0f, 1.0f); }
inline float lerp(float a, float b, float t) { return a + (b - a) * t; }
inline float smoothstep(float e0, float e1, float x) {
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}
inline float fract(float v) { return v - std::floor(v); }

constexpr float PI = 3.14159265358979f;

// A picture being painted: width x height pixels, row 0 at the top.
struct Image {
    int w = 0, h = 0;
    std::vector<Rgb> px;

    Image(int width, int height) : w(width), h(height), px(size_t(width) * size_t(height), Rgb{0, 0, 0}) {}
    Rgb& at(int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)]; }
    const Rgb& at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
    // Cover pixel (x, y) with colour c at opacity a (0..1); outside pixels are ignored.
    void blend(int x, int y, Rgb c, float a) {
        if (!inside(x, y) || a <= 0.0f) return;
        Rgb& p = at(x, y);
        p = mix(p, c, a > 1.0f ? 1.0f : a);
    }
    // Add light c x a to pixel (x, y).
    void add(int x, int y, Rgb c, float a) {
        if (!inside(x, y)) return;
        Rgb& p = at(x, y);
        p = p + c * a;
    }
};

// Seeded random numbers (splitmix64).
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed) {}
    uint32_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return uint32_t((z ^ (z >> 31)) >> 32);
    }
    float uniform() { return float(next() >> 8) * (1.0f / 16777216.0f); }  // 0 <= u < 1
    float range(float lo, float hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return int(next() % uint32_t(n)); }
};

uint32_t hash3(int32_t x, int32_t y, uint32_t seed);
inline float hash01(int32_t x, int32_t y, uint32_t seed) { return float(hash3(x, y, seed) >> 8) * (1.0f / 16777216.0f); }

// Value noise in 0..1 with smooth interpolation, lattice spacing 1.
float noise2(float x, float y, uint32_t seed);
float noise1(float x, uint32_t seed);
// Sums of octaves, each twice the frequency and `gain` times the amplitude
// of the one before; the result is normalised to 0..1.
float fbm2(float x, float y, uint32_t seed, int octaves, float gain = 0.5f);
float fbm1(float x, uint32_t seed, int octaves, float gain = 0.5f);

// Cellular noise over a jittered grid of feature points, one per unit
// cell: the distances to the nearest and second nearest point and the
// nearest point's cell, as a hash.
struct Cell {
    float f1, f2;
    uint32_t id;
};
Cell voronoi(float x, float y, uint32_t seed);

// Cosine palette: a + b * cos(2 pi (c t + d)) per channel.
Rgb cosine_palette(float t, Rgb a, Rgb b, Rgb c, Rgb d);
Rgb hsv(float h, float s, float v);   // h in turns (0..1)

// A gradient through colour stops at positions 0..1 (positions ascending).
struct Stop {
    float at;
    Rgb colour;
};
Rgb gradient(const std::vector<Stop>& stops, float t);
void fill_vertical(Image& img, const std::vector<Stop>& stops, int y0, int y1);

// Anti-aliased shapes. Coverage comes from the signed distance to the
// edge: one pixel of soft transition centred on the outline.
void disc(Image& img, float cx, float cy, float r, Rgb c, float a = 1.0f);
void ring(Image& img, float cx, float cy, float r, float width, Rgb c, float a = 1.0f);
void segment(Image& img, float x0, float y0, float x1, float y1, float width, Rgb c, float a = 1.0f);
void glow(Image& img, float cx, float cy, float radius, Rgb c, float strength);
// A starfield between rows y0 and y1: `count` stars. With `crowding` above
// 1 they grow fewer and dimmer toward y1, where the sky is brighter.
void stars(Image& img, int y0, int y1, int count, uint32_t seed, float brightness, float crowding = 2.0f);

// The pictures, one function each, painting into a canvas of the given size.
void picture_mountains(Image& img);
void picture_ocean(Image& img);
void picture_mandelbrot(Image& img);
void picture_truchet(Image& img);
void picture_flow(Image& img);
void picture_nebula(Image& img);
void picture_city(Image& img);
void picture_forest(Image& img);
void picture_aurora(Image& img);
void picture_op_art(Image& img);
void picture_stained_glass(Image& img);
void picture_julia(Image& img);
void picture_topography(Image& img);
void picture_marbles(Image& img);

// The skin, the window shape and the icon.
struct Rect {
    int32_t left, top, right, bottom;
};
std::vector<Rect> window_shape();                       // all 118 rectangles, in band order
void paint_skin(Image& img, const std::vector<Rect>& shape);
std::vector<uint8_t> icon_file();                       // a complete .ico

// Files.
void put16(std::vector<uint8_t>& out, uint32_t v);    // little-endian
void put32(std::vector<uint8_t>& out, uint32_t v);
std::vector<uint8_t> bmp_file(const Image& img);        // 24-bit bottom-up, dithered to 8 bits
std::vector<uint8_t> region_file(const std::vector<Rect>& rects);
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace gen
