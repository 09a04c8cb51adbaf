// The program's icon: a bronze medallion holding a faceted gem, painted at
// eight sizes with 4 x 4 supersampling and an alpha channel, stored as an
// .ico file of 32-bit BMP-format images (each with its 1-bit AND mask).
#include "gen_assets.h"

namespace gen {

namespace {

const int icon_sizes[] = {16, 24, 32, 48, 64, 72, 96, 128};

struct Rgba {
    Rgb c;
    float a;
};

// The design on a unit square: (u, v) in -1..1, v downwards.
Rgba icon_sample(float u, float v) {
    float d = std::sqrt(u * u + v * v);
    if (d > 0.96f) return Rgba{rgb(0, 0, 0), 0};
    float angle = std::atan2(v, u);
    if (d > 0.64f) {
        // The bronze rim, lit from the top left, with a thin groove.
        float lit = 0.5f - 0.5f * (u * 0.6f + v * 0.8f) / d;
        Rgb c = mix(rgb(0.50f, 0.33f, 0.12f), rgb(1.0f, 0.84f, 0.50f), lit);
        if (std::fabs(d - 0.80f) < 0.025f) c = c * 0.55f;
        return Rgba{c, 1};
    }
    if (d > 0.58f) return Rgba{rgb(0.22f, 0.12f, 0.05f), 1};     // the setting's shadow
    // The gem: eight facets round a flat table, violet to rose.
    float facet = std::floor((angle + PI) / (2 * PI) * 8.0f + 0.5f) / 8.0f * 2 * PI - PI;
    float lit = 0.5f + 0.5f * std::cos(facet + 2.3f);
    if (d < 0.28f) lit = 0.8f;
    Rgb c = mix(rgb(0.22f, 0.03f, 0.30f), rgb(0.98f, 0.42f, 0.70f), lit * (1.0f - 0.35f * d / 0.58f));
    float hx = u + 0.22f, hy = v + 0.26f;
    if (hx * hx + hy * hy < 0.012f) c = rgb(1, 1, 1);
    return Rgba{c, 1};
}

// One icon image: BITMAPINFOHEADER (height doubled for the mask), BGRA rows
// bottom-up, then the AND mask rows (1 = transparent), each padded to 32 bits.
std::vector<uint8_t> icon_image(int size) {
    const int ss = 4;
    std::vector<uint8_t> bgra(size_t(size) * size_t(size) * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Rgb sum = rgb(0, 0, 0);
            float alpha = 0;
            for (int j = 0; j < ss; ++j)
                for (int i = 0; i < ss; ++i) {
                    float u = (float(x) + (float(i) + 0.5f) / ss) / float(size) * 2 - 1;
                    float v = (float(y) + (float(j) + 0.5f) / ss) / float(size) * 2 - 1;
                    Rgba s = icon_sample(u, v);
                    sum = sum + s.c * s.a;
                    alpha += s.a;
                }
            uint8_t* p = &bgra[(size_t(y) * size_t(size) + size_t(x)) * 4];
            float a = alpha / float(ss * ss);
            Rgb c = alpha > 0 ? sum * (1.0f / alpha) : rgb(0, 0, 0);
            p[0] = uint8_t(clamp01(c.b) * 255.0f + 0.5f);
            p[1] = uint8_t(clamp01(c.g) * 255.0f + 0.5f);
            p[2] = uint8_t(clamp01(c.r) * 255.0f + 0.5f);
            p[3] = uint8_t(a * 255.0f + 0.5f);
        }
    std::vector<uint8_t> out;
    uint32_t mask_stride = uint32_t((size + 31) / 32) * 4;
    put32(out, 40);
    put32(out, uint32_t(size));
    put32(out, uint32_t(size * 2));
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);
    put32(out, uint32_t(size * size * 4) + mask_stride * uint32_t(size));
    for (int i = 0; i < 4; ++i) put32(out, 0);
    for (int y = size - 1; y >= 0; --y)
        out.insert(out.end(), &bgra[size_t(y) * size_t(size) * 4], &bgra[size_t(y + 1) * size_t(size) * 4]);
    for (int y = size - 1; y >= 0; --y) {
        std::vector<uint8_t> row(mask_stride, 0);
        for (int x = 0; x < size; ++x)
            if (bgra[(size_t(y) * size_t(size) + size_t(x)) * 4 + 3] == 0) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

std::vector<uint8_t> icon_file() {
    const uint32_t count = sizeof icon_sizes / sizeof icon_sizes[0];
    std::vector<std::vector<uint8_t>> images;
    for (int size : icon_sizes) images.push_back(icon_image(size));
    std::vector<uint8_t> out;
    // ICONDIR, then one ICONDIRENTRY per image.
    put16(out, 0);
    put16(out, 1);                                  // type: icon
    put16(out, uint16_t(count));
    uint32_t offset = 6 + 16 * count;
    for (uint32_t i = 0; i < count; ++i) {
        out.push_back(uint8_t(icon_sizes[i]));       // width (all below 256)
        out.push_back(uint8_t(icon_sizes[i]));       // height
        out.push_back(0);                           // colour count: not a palette image
        out.push_back(0);
        put16(out, 1);                              // planes
        put16(out, 32);                             // bits per pixel
        put32(out, uint32_t(images[i].size()));
        put32(out, offset);
        offset += uint32_t(images[i].size());
    }
    for (const std::vector<uint8_t>& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

}  // namespace gen
