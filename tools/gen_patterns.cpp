// The mathematical pictures: two escape-time fractals, a Truchet mosaic,
// flow-field line art, a nebula, op-art, stained glass, a contour map and a
// heap of glass marbles.
#include "gen_assets.h"

#include <algorithm>

namespace gen {

namespace {

// Smooth escape count of z -> z^2 + c from z0, or -1 if it never escapes.
// An orbit that comes back to a point it visited (checked against a point
// saved at every power of two) is caught in a cycle: it is inside the set.
float escape_time(double zr, double zi, double cr, double ci, int max_iter) {
    double saved_r = zr, saved_i = zi;
    int next_save = 8;
    for (int n = 0; n < max_iter; ++n) {
        double zr2 = zr * zr, zi2 = zi * zi;
        if (zr2 + zi2 > 65536.0) {
            double log_zn = std::log(zr2 + zi2) * 0.5;
            return float(n) + 1.0f - float(std::log2(log_zn / std::log(2.0)));
        }
        zi = 2 * zr * zi + ci;
        zr = zr2 - zi2 + cr;
        if (std::fabs(zr - saved_r) + std::fabs(zi - saved_i) < 1e-10) return -1.0f;
        if (n == next_save) {
            saved_r = zr;
            saved_i = zi;
            next_save *= 2;
        }
    }
    return -1.0f;
}

// Renders f(x, y) at each pixel's centre, then again with four more samples
// wherever a pixel differs clearly from its right or lower neighbour.
template <typename F>
void render_adaptive(Image& img, F f, float threshold) {
    const int W = img.w, H = img.h;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) img.at(x, y) = f(float(x) + 0.5f, float(y) + 0.5f);
    std::vector<uint8_t> edge(size_t(W) * size_t(H), 0);
    auto differs = [&](const Rgb& a, const Rgb& b) {
        return std::fabs(a.r - b.r) + std::fabs(a.g - b.g) + std::fabs(a.b - b.b) > threshold;
    };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            size_t i = size_t(y) * size_t(W) + size_t(x);
            if (x + 1 < W && differs(img.px[i], img.px[i + 1])) edge[i] = edge[i + 1] = 1;
            if (y + 1 < H && differs(img.px[i], img.px[i + size_t(W)])) edge[i] = edge[i + size_t(W)] = 1;
        }
    static const float offsets[4][2] = {{0.375f, 0.125f}, {0.875f, 0.375f}, {0.625f, 0.875f}, {0.125f, 0.625f}};
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (!edge[size_t(y) * size_t(W) + size_t(x)]) continue;
            Rgb sum = img.at(x, y);
            for (const auto& o : offsets) sum = sum + f(float(x) + o[0], float(y) + o[1]);
            img.at(x, y) = sum * 0.2f;
        }
}

// Renders f(x, y) with `ss` x `ss` samples per pixel, f taking the sample's
// position in pixel units.
template <typename F>
void supersample(Image& img, int y0, int y1, int ss, F f) {
    float inv = 1.0f / float(ss * ss);
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < img.w; ++x) {
            Rgb sum = rgb(0, 0, 0);
            for (int j = 0; j < ss; ++j)
                for (int i = 0; i < ss; ++i)
                    sum = sum + f(float(x) + (float(i) + 0.5f) / float(ss), float(y) + (float(j) + 0.5f) / float(ss));
            img.at(x, y) = sum * inv;
        }
}

}  // namespace

void picture_mandelbrot(Image& img) {
    // The miniature copy of the set on the antenna near c = -1.75, standing
    // upright: the real axis runs down the picture, with the filaments of
    // the antenna leaving it above and below.
    const double top = -1.6985, scale = 0.112 / double(img.h);
    const std::vector<Stop> palette = {{0.00f, rgb(0.00f, 0.03f, 0.20f)}, {0.16f, rgb(0.13f, 0.42f, 0.80f)},
                                       {0.42f, rgb(0.93f, 1.00f, 1.00f)}, {0.64f, rgb(1.00f, 0.67f, 0.00f)},
                                       {0.86f, rgb(0.10f, 0.02f, 0.05f)}, {1.00f, rgb(0.00f, 0.03f, 0.20f)}};
    // The set is symmetric about the real axis, the picture's middle
    // column: paint the left half and mirror it.
    Image half(img.w / 2, img.h);
    render_adaptive(half, [&](float x, float y) {
        double ci = (double(x) - img.w * 0.5) * scale;
        double cr = top - double(y) * scale;
        float nu = escape_time(0, 0, cr, ci, 1000);
        if (nu < 0) return rgb(0.01f, 0.0f, 0.05f);
        return gradient(palette, fract(std::log(nu + 1.0f) * 0.9f + 0.6f));
    }, 0.12f);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < half.w; ++x) img.at(x, y) = img.at(img.w - 1 - x, y) = half.at(x, y);
}

void picture_julia(Image& img) {
    const double scale = 3.2 / double(img.h);
    const double cr = -0.7269, ci = 0.1889;
    const std::vector<Stop> palette = {{0.00f, rgb(0.01f, 0.00f, 0.04f)}, {0.25f, rgb(0.30f, 0.02f, 0.30f)},
                                       {0.50f, rgb(0.90f, 0.25f, 0.15f)}, {0.75f, rgb(1.00f, 0.80f, 0.35f)},
                                       {0.90f, rgb(1.00f, 0.98f, 0.85f)}, {1.00f, rgb(0.01f, 0.00f, 0.04f)}};
    // A Julia set is symmetric about the origin, which is the picture's
    // centre: paint the upper half and turn it round for the lower.
    Image half(img.w, img.h / 2);
    render_adaptive(half, [&](float x, float y) {
        double zi = (double(x) - img.w * 0.5) * scale;
        double zr = (double(y) - img.h * 0.5) * scale;
        float nu = escape_time(zr, zi, cr, ci, 500);
        if (nu < 0) return rgb(0.05f, 0.0f, 0.08f);
        return gradient(palette, fract(std::sqrt(nu) * 0.16f));
    }, 0.12f);
    for (int y = 0; y < half.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            img.at(x, y) = half.at(x, y);
            img.at(img.w - 1 - x, img.h - 1 - y) = half.at(x, y);
        }
}

void picture_truchet(Image& img) {
    const float tile = 64, r = 32, w = 9;
    supersample(img, 0, img.h, 2, [&](float x, float y) {
        int tx = int(x / tile), ty = int(y / tile);
        float lx = x - float(tx) * tile, ly = y - float(ty) * tile;
        int flip = int(hash3(tx, ty, 1203) & 1);
        if (flip) lx = tile - lx;
        float da = std::sqrt(lx * lx + ly * ly);
        float db = std::sqrt((tile - lx) * (tile - lx) + (tile - ly) * (tile - ly));
        // The arcs split the plane into two kinds of region that alternate like a chessboard.
        int region = (da < r || db < r) ? 1 : 0;
        int side = region ^ ((tx + ty + flip) & 1);
        float d = std::min(std::fabs(da - r), std::fabs(db - r));
        float ripples = 0.5f + 0.5f * std::cos(std::min(da, db) * 0.55f);
        Rgb ground = side ? mix(rgb(0.05f, 0.06f, 0.16f), rgb(0.08f, 0.10f, 0.24f), ripples)
                          : mix(rgb(0.02f, 0.12f, 0.13f), rgb(0.04f, 0.18f, 0.18f), ripples);
        float t = y / float(img.h);
        Rgb hue = gradient({{0.0f, rgb(1.0f, 0.72f, 0.25f)}, {0.5f, rgb(0.95f, 0.30f, 0.55f)}, {1.0f, rgb(0.30f, 0.80f, 0.95f)}},
                           t + 0.08f * std::sin(x * 0.01f));
        // The tube: shaded like a rounded ribbon, with a dark outline.
        float h = clamp01(1 - (d / w) * (d / w));
        Rgb tube = hue * (0.35f + 0.65f * std::sqrt(h)) + rgb(1, 1, 1) * (0.35f * std::pow(h, 12.0f));
        float body = clamp01(w - d), outline = clamp01(w + 2.0f - d);
        return mix(mix(ground, rgb(0.01f, 0.01f, 0.02f), outline), tube, body);
    });
}

void picture_flow(Image& img) {
    const int W = img.w, H = img.h;
    // Paper.
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float grain = hash01(x, y, 1204) * 0.04f + fbm2(float(x) * 0.02f, float(y) * 0.02f, 1205, 2) * 0.05f;
            img.at(x, y) = rgb(0.96f, 0.93f, 0.86f) * (0.95f + grain);
        }
    auto angle_at = [&](float x, float y) {
        return fbm2(x * 0.0022f, y * 0.0022f, 1206, 3) * 4.0f * PI + y * 0.0012f;
    };
    // Evenly spaced streamlines: a line ends where it would come closer
    // than `sep` to another line.
    const float sep = 6.5f, step = 2.0f;
    const int cell = 7, gw = W / cell + 1, gh = H / cell + 1;
    struct Point {
        float x, y;
        int line;
    };
    std::vector<std::vector<Point>> grid(size_t(gw) * size_t(gh));
    auto crowded = [&](float x, float y, int line, size_t own_count) {
        int cx = int(x) / cell, cy = int(y) / cell;
        for (int j = cy - 1; j <= cy + 1; ++j)
            for (int i = cx - 1; i <= cx + 1; ++i) {
                if (i < 0 || j < 0 || i >= gw || j >= gh) continue;
                for (const Point& p : grid[size_t(j) * size_t(gw) + size_t(i)]) {
                    if (p.line == line && own_count < 12) continue;
                    if ((p.x - x) * (p.x - x) + (p.y - y) * (p.y - y) < sep * sep) return true;
                }
            }
        return false;
    };
    Rng rng(1207);
    int lines = 0;
    for (int attempt = 0; attempt < 30000; ++attempt) {
        float sx = rng.range(2, float(W) - 2), sy = rng.range(2, float(H) - 2);
        if (crowded(sx, sy, -1, 0)) continue;
        std::vector<Point> forward, backward;
        for (int dir = -1; dir <= 1; dir += 2) {
            std::vector<Point>& out = dir > 0 ? forward : backward;
            float x = sx, y = sy;
            for (int k = 0; k < 500; ++k) {
                float a = angle_at(x, y);
                x += std::cos(a) * step * float(dir);
                y += std::sin(a) * step * float(dir);
                if (x < 1 || y < 1 || x >= float(W) - 1 || y >= float(H) - 1 || crowded(x, y, -1, 0)) break;
                out.push_back(Point{x, y, lines});
            }
        }
        std::vector<Point> pts(backward.rbegin(), backward.rend());
        pts.push_back(Point{sx, sy, lines});
        pts.insert(pts.end(), forward.begin(), forward.end());
        if (pts.size() < 15) continue;
        for (const Point& p : pts) grid[size_t(int(p.y) / cell) * size_t(gw) + size_t(int(p.x) / cell)].push_back(p);
        // Ink: a hue drifting down the sheet, line weight swelling in the middle.
        float t = sy / float(H) + rng.range(-0.06f, 0.06f);
        Rgb ink = cosine_palette(t, rgb(0.45f, 0.35f, 0.40f), rgb(0.40f, 0.35f, 0.35f), rgb(1.0f, 1.0f, 1.0f),
                                 rgb(0.0f, 0.15f, 0.35f)) * rng.range(0.55f, 0.95f);
        float weight = rng.range(1.2f, 3.0f);
        for (size_t k = 1; k < pts.size(); ++k) {
            float s = float(k) / float(pts.size());
            float width = weight * (0.45f + std::sin(s * PI) * 0.75f);
            segment(img, pts[k - 1].x, pts[k - 1].y, pts[k].x, pts[k].y, width, ink);
        }
        ++lines;
    }
}

void picture_nebula(Image& img) {
    const int W = img.w, H = img.h;
    // The gas has no detail finer than a few pixels: paint it at half size
    // and enlarge it smoothly.
    Image gas_layer(W / 2 + 1, H / 2 + 1);
    for (int gy = 0; gy < gas_layer.h; ++gy)
        for (int gx = 0; gx < gas_layer.w; ++gx) {
            float fx = float(gx) * 2 + 0.5f, fy = float(gy) * 2 + 0.5f;
            // The cloud winds down the picture in an S, its shape warped by a second noise.
            float axis = 320 + 170 * std::sin(fy * 0.0021f + 0.6f);
            float band = std::exp(-std::pow((fx - axis) / 250.0f, 2.0f)) * (0.5f + 0.7f * fbm1(fy * 0.002f, 1249, 2));
            float wx = fbm2(fx * 0.0025f, fy * 0.0025f, 1250, 2), wy = fbm2(fx * 0.0025f + 9, fy * 0.0025f, 1251, 2);
            float px = fx * 0.004f + wx * 1.8f, py = fy * 0.004f + wy * 1.8f;
            float gas = fbm2(px, py, 1252, 5);
            float filament = 1.0f - std::fabs(2.0f * fbm2(px * 2.2f, py * 2.2f, 1253, 4) - 1.0f);
            filament = filament * filament * filament * filament;
            float oxygen = fbm2(px * 1.3f + 3, py * 1.3f, 1254, 3);
            float dust = smoothstep(0.55f, 0.75f, fbm2(px * 1.8f + 7, py * 1.8f, 1255, 4));
            float hydrogen = band * (0.45f * smoothstep(0.4f, 0.8f, gas) + 0.8f * filament * smoothstep(0.35f, 0.6f, gas));
            float o3 = band * smoothstep(0.35f, 0.75f, oxygen) * (0.45f + 0.75f * filament);
            Rgb c = rgb(0.008f, 0.010f, 0.030f) + rgb(0.02f, 0.03f, 0.07f) * band;
            c = c + rgb(0.95f, 0.20f, 0.35f) * hydrogen + rgb(0.10f, 0.55f, 0.95f) * (o3 * 1.1f);
            c = c + rgb(1.0f, 0.85f, 0.75f) * (hydrogen * o3 * 1.2f);
            gas_layer.at(gx, gy) = c * (1.0f - 0.85f * dust * std::min(1.0f, band * 1.5f));
        }
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int gx = x / 2, gy = y / 2;
            float tx = (x & 1) ? 0.5f : 0.0f, ty = (y & 1) ? 0.5f : 0.0f;
            Rgb top = mix(gas_layer.at(gx, gy), gas_layer.at(gx + 1, gy), tx);
            Rgb bottom = mix(gas_layer.at(gx, gy + 1), gas_layer.at(gx + 1, gy + 1), tx);
            img.at(x, y) = mix(top, bottom, ty);
        }
    stars(img, 0, H, 5000, 1256, 0.9f, 1.0f);
    Rng rng(1256);
    // Bright stars with diffraction spikes.
    for (int k = 0; k < 16; ++k) {
        float x = rng.range(20, float(W) - 20), y = rng.range(20, float(H) - 20);
        Rgb c = hsv(rng.range(0.5f, 0.7f), 0.25f, 1.0f);
        float size = rng.range(0.6f, 1.0f);
        glow(img, x, y, 6 * size, c, 0.8f);
        disc(img, x, y, 1.8f * size, rgb(1, 1, 1));
        for (int i = -int(60 * size); i <= int(60 * size); ++i) {
            float a = 0.35f * std::exp(-std::fabs(float(i)) / (14 * size));
            img.add(int(x) + i, int(y), c, a);
            img.add(int(x), int(y) + i, c, a);
        }
    }
}

void picture_op_art(Image& img) {
    const int W = img.w, H = img.h;
    const int a_end = 760, b_end = 1440;
    const Rgb cream = rgb(0.95f, 0.92f, 0.84f), ink = rgb(0.04f, 0.04f, 0.06f);
    // A chequerboard swelling into a sphere, its squares warming toward the centre.
    supersample(img, 0, a_end, 3, [&](float x, float y) {
        float cx = 320, cy = 380, R = 270;
        float dx = x - cx, dy = y - cy, r = std::sqrt(dx * dx + dy * dy);
        float k = r < R ? std::pow(r / R, 0.55f) * R / std::max(r, 0.001f) : 1.0f;
        float u = cx + dx * k, v = cy + dy * k;
        int parity = (int(std::floor(u / 32.0f)) + int(std::floor(v / 32.0f))) & 1;
        if (r >= R) return parity ? cream : ink;
        float warm = 1 - r / R;
        Rgb a = mix(rgb(0.08f, 0.12f, 0.45f), rgb(0.95f, 0.25f, 0.15f), warm);
        Rgb b = mix(cream, rgb(1.0f, 0.85f, 0.30f), warm);
        return parity ? b : a;
    });
    // Two families of rings interfering.
    supersample(img, a_end, b_end, 3, [&](float x, float y) {
        float r1 = std::hypot(x - 190, y - 980), r2 = std::hypot(x - 450, y - 1220);
        bool ring1 = std::sin(r1 * 2 * PI / 14.0f) > 0, ring2 = std::sin(r2 * 2 * PI / 14.0f) > 0;
        return ring1 != ring2 ? rgb(0.03f, 0.28f, 0.32f) : cream;
    });
    // Rippling stripes in a repeating sequence.
    const Rgb stripe_colours[] = {ink, cream, rgb(0.85f, 0.15f, 0.12f), cream, rgb(0.05f, 0.45f, 0.50f), cream};
    supersample(img, b_end, H, 3, [&](float x, float y) {
        float depth = (y - float(b_end)) / float(H - b_end);
        float shift = (28 + 20 * depth) * std::sin(y * 0.022f + x * 0.006f) * std::sin(x * 0.004f + 1.0f);
        int k = int(std::floor((x + shift) / 9.0f));
        return stripe_colours[((k % 6) + 6) % 6];
    });
    // Gold rules between the panels.
    for (int edge : {a_end, b_end})
        for (int y = edge - 4; y < edge + 4; ++y)
            for (int x = 0; x < W; ++x) img.at(x, y) = (y == edge - 4 || y == edge + 3) ? ink : rgb(0.85f, 0.66f, 0.25f);
}

void picture_stained_glass(Image& img) {
    // Two rose windows of rings cut into sectors; the lower one has its
    // own sector counts and its colours turned by one ring.
    struct Rose {
        float cx, cy;
        int sectors[4];
        int colour_shift;
    };
    const Rose roses[] = {{320, 440, {1, 8, 16, 24}, 0}, {320, 1280, {1, 6, 12, 18}, 1}};
    const float ring_edges[] = {0, 48, 112, 186, 266};
    render_adaptive(img, [&](float x, float y) {
        uint32_t piece = 0;
        float lead = 0;            // distance to the nearest lead line, in pixels
        int ring = -1, sector = 0, shift = 0;
        for (const Rose& rose : roses) {
            float dx = x - rose.cx, dy = y - rose.cy, r = std::sqrt(dx * dx + dy * dy);
            if (r >= ring_edges[4]) continue;
            for (ring = 0; r >= ring_edges[ring + 1]; ++ring) {}
            float turns = (std::atan2(dy, dx) + PI) / (2 * PI) * float(rose.sectors[ring]);
            sector = int(turns);
            lead = ring == 0 ? ring_edges[1] - r : std::min(r - ring_edges[ring], ring_edges[ring + 1] - r);
            if (ring > 0) lead = std::min(lead, std::min(fract(turns), 1 - fract(turns)) * 2 * PI * r / float(rose.sectors[ring]));
            piece = hash3(ring, sector, uint32_t(rose.cy));
            shift = rose.colour_shift;
            break;
        }
        Rgb glass;
        if (ring >= 0) {
            static const Rgb ring_a[] = {rgb(1.0f, 0.80f, 0.25f), rgb(0.85f, 0.10f, 0.12f), rgb(0.15f, 0.55f, 0.25f), rgb(0.10f, 0.20f, 0.70f)};
            static const Rgb ring_b[] = {rgb(1.0f, 0.80f, 0.25f), rgb(0.15f, 0.25f, 0.80f), rgb(0.95f, 0.70f, 0.20f), rgb(0.45f, 0.12f, 0.55f)};
            int tone = ring == 0 ? 0 : 1 + (ring - 1 + shift) % 3;
            glass = (sector & 1) ? ring_b[tone] : ring_a[tone];
        } else {
            Cell c = voronoi(x / 40.0f, y / 40.0f, 1210);
            piece = c.id;
            lead = (c.f2 - c.f1) * 20.0f;
            float pick = float(piece >> 8 & 255) / 255.0f;
            glass = pick < 0.55f ? mix(rgb(0.08f, 0.16f, 0.55f), rgb(0.12f, 0.40f, 0.65f), float(piece & 255) / 255.0f)
                  : pick < 0.8f ? mix(rgb(0.30f, 0.10f, 0.50f), rgb(0.55f, 0.18f, 0.60f), float(piece & 255) / 255.0f)
                  : pick < 0.93f ? rgb(0.10f, 0.45f, 0.40f) : rgb(0.95f, 0.60f, 0.15f);
        }
        // Glass: streaky texture, brighter toward the middle of each piece.
        float streak = fbm2(x * 0.05f + float(piece & 63), y * 0.012f, 1211, 3);
        glass = glass * (0.6f + 0.5f * streak + 0.25f * smoothstep(0, 14, lead));
        float came = 1 - smoothstep(1.2f, 2.4f, lead);
        Rgb metal = rgb(0.07f, 0.07f, 0.08f) + rgb(0.12f, 0.12f, 0.12f) * smoothstep(0.4f, 0.0f, lead);
        return mix(glass, metal, came);
    }, 0.25f);
}

void picture_topography(Image& img) {
    const int W = img.w, H = img.h;
    std::vector<float> height(size_t(W) * size_t(H));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float fx = float(x), fy = float(y);
            float warp = fbm2(fx * 0.002f, fy * 0.002f, 1212, 3) * 1.5f;
            float h = fbm2(fx * 0.0035f + warp, fy * 0.0035f, 1213, 6, 0.5f);
            h += 0.35f * std::exp(-((fx - 420) * (fx - 420) + (fy - 330) * (fy - 330)) / 30000.0f);
            h += 0.25f * std::exp(-((fx - 180) * (fx - 180) + (fy - 760) * (fy - 760)) / 22000.0f);
            height[size_t(y) * size_t(W) + size_t(x)] = h;
        }
    auto at = [&](int x, int y) {
        return height[size_t(std::clamp(y, 0, H - 1)) * size_t(W) + size_t(std::clamp(x, 0, W - 1))];
    };
    const float sea = 0.52f, interval = 0.022f;
    const std::vector<Stop> land = {{0.52f, rgb(0.56f, 0.72f, 0.46f)}, {0.62f, rgb(0.78f, 0.80f, 0.52f)},
                                    {0.72f, rgb(0.78f, 0.62f, 0.40f)}, {0.82f, rgb(0.62f, 0.50f, 0.44f)},
                                    {0.92f, rgb(0.96f, 0.96f, 0.97f)}};
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float h = at(x, y);
            float gx = (at(x + 1, y) - at(x - 1, y)) * 0.5f, gy = (at(x, y + 1) - at(x, y - 1)) * 0.5f;
            float slope = std::sqrt(gx * gx + gy * gy) + 1e-6f;
            Rgb c;
            if (h < sea) {
                c = mix(rgb(0.10f, 0.24f, 0.45f), rgb(0.50f, 0.74f, 0.86f), smoothstep(sea - 0.2f, sea, h));
            } else {
                c = gradient(land, h);
                float shade = clampf(0.85f + (gx * 0.7f + gy * 0.7f) * -140.0f, 0.45f, 1.25f);
                c = c * shade;
            }
            // Contour lines: the distance to the nearest level, in pixels, from the slope.
            float level = h / interval;
            float dist = std::fabs(fract(level + 0.5f) - 0.5f) * interval / slope;
            bool index = (int(std::floor(level + 0.5f)) % 5) == 0;
            float width = index ? 1.2f : 0.6f;
            float line = clamp01(width + 0.5f - dist);
            if (h >= sea) c = mix(c, rgb(0.35f, 0.20f, 0.10f), line * (index ? 0.9f : 0.6f));
            else c = mix(c, rgb(0.75f, 0.88f, 0.95f), line * 0.35f);
            float coast = std::fabs(h - sea) / slope;
            c = mix(c, rgb(0.08f, 0.15f, 0.30f), clamp01(1.4f - coast));
            // The graticule.
            if (x % 128 == 64 || y % 128 == 64) c = mix(c, rgb(0.2f, 0.2f, 0.35f), 0.25f);
            img.at(x, y) = c;
        }
}

void picture_marbles(Image& img) {
    const int W = img.w, H = img.h;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float v = fbm2(float(x) * 0.004f, float(y) * 0.004f, 1220, 3);
            img.at(x, y) = mix(rgb(0.03f, 0.03f, 0.05f), rgb(0.08f, 0.07f, 0.11f), v);
        }
    // Random packing: each candidate grows as large as its neighbours and the
    // local size limit allow. Big near the top, a fine gravel at the bottom.
    struct Circle {
        float x, y, r;
    };
    auto limit = [&](float y) { return 6.0f + 84.0f * std::pow(1.0f - y / float(H), 1.7f); };
    const int cell = 32, gw = W / cell + 1, gh = H / cell + 1;
    std::vector<std::vector<int>> grid(size_t(gw) * size_t(gh));
    std::vector<Circle> circles;
    Rng rng(1221);
    for (int attempt = 0; attempt < 60000; ++attempt) {
        float x = rng.range(0, float(W)), y = rng.range(0, float(H));
        float r = limit(y);
        int i0 = std::max(0, int((x - r) / cell)), i1 = std::min(gw - 1, int((x + r) / cell));
        int j0 = std::max(0, int((y - r) / cell)), j1 = std::min(gh - 1, int((y + r) / cell));
        for (int j = j0; j <= j1 && r >= 3; ++j)
            for (int i = i0; i <= i1; ++i)
                for (int k : grid[size_t(j) * size_t(gw) + size_t(i)]) {
                    const Circle& c = circles[size_t(k)];
                    r = std::min(r, std::hypot(c.x - x, c.y - y) - c.r - 2.0f);
                }
        if (r < 3) continue;
        int id = int(circles.size());
        circles.push_back(Circle{x, y, r});
        for (int j = std::max(0, int((y - r) / cell)); j <= std::min(gh - 1, int((y + r) / cell)); ++j)
            for (int i = std::max(0, int((x - r) / cell)); i <= std::min(gw - 1, int((x + r) / cell)); ++i)
                grid[size_t(j) * size_t(gw) + size_t(i)].push_back(id);
    }
    for (const Circle& c : circles) {
        float t = c.y / float(H) + rng.range(-0.08f, 0.08f);
        Rgb base = cosine_palette(t + rng.range(-0.05f, 0.05f), rgb(0.5f, 0.5f, 0.5f), rgb(0.5f, 0.5f, 0.5f),
                                  rgb(1.0f, 1.0f, 1.0f), rgb(0.0f, 0.33f, 0.67f));
        Rgb core = cosine_palette(t + 0.4f, rgb(0.5f, 0.5f, 0.5f), rgb(0.5f, 0.5f, 0.5f), rgb(1, 1, 1), rgb(0.0f, 0.33f, 0.67f));
        float twist = rng.range(0, 2 * PI);
        disc(img, c.x + c.r * 0.12f, c.y + c.r * 0.18f, c.r, rgb(0, 0, 0), 0.5f);   // shadow
        for (int y = int(c.y - c.r - 1); y <= int(c.y + c.r + 1); ++y)
            for (int x = int(c.x - c.r - 1); x <= int(c.x + c.r + 1); ++x) {
                float dx = float(x) + 0.5f - c.x, dy = float(y) + 0.5f - c.y;
                float d = std::sqrt(dx * dx + dy * dy);
                float cover = clamp01(c.r + 0.5f - d);
                if (cover <= 0) continue;
                float q = d / c.r;
                // Glass: darker toward the rim, a ribbon of colour swirling inside, a highlight.
                float swirl = 0.5f + 0.5f * std::sin(std::atan2(dy, dx) * 2 + q * 5 + twist);
                Rgb g = mix(base, core, smoothstep(0.6f, 0.95f, swirl) * (1 - q));
                g = g * (0.35f + 0.75f * std::sqrt(clamp01(1 - q * q)));
                float hx = dx / c.r + 0.35f, hy = dy / c.r + 0.4f;
                g = g + rgb(1, 1, 1) * (0.8f * std::exp(-(hx * hx + hy * hy) * 30.0f));
                img.blend(x, y, g, cover);
            }
    }
}

}  // namespace gen
