// gen-assets OUTDIR [ID...]: paints the fourteen pictures, the skin, the window
// shape and the icon, and writes them into OUTDIR as
//   picture_1200.bmp .. picture_1213.bmp, skin.bmp, shape.bin, icon.ico.
// Runs on the build host as part of every build; deterministic. Naming
// picture ids after OUTDIR paints only those pictures (for working on one).
#include "gen_assets.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace gen {

namespace {

// Channel value to 8 bits with a small ordered dither so that the long,
// gentle gradients of the skies do not band.
uint8_t to_byte(float v, int x, int y) {
    static const float bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    float d = (bayer[y & 3][x & 3] + 0.5f) / 16.0f;
    float s = v * 255.0f + d;
    return uint8_t(s < 0 ? 0 : (s > 255 ? 255 : int(s)));
}

}  // namespace

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::vector<uint8_t> bmp_file(const Image& img) {
    uint32_t stride = (uint32_t(img.w) * 3 + 3) & ~3u;
    uint32_t image_bytes = stride * uint32_t(img.h);
    std::vector<uint8_t> out;
    out.reserve(54 + image_bytes);
    // BITMAPFILEHEADER
    put16(out, 0x4D42);                  // "BM"
    put32(out, 54 + image_bytes);        // file size
    put32(out, 0);                       // reserved
    put32(out, 54);                      // offset of the pixel rows
    // BITMAPINFOHEADER
    put32(out, 40);
    put32(out, uint32_t(img.w));
    put32(out, uint32_t(img.h));         // positive: rows stored bottom-up
    put16(out, 1);                       // planes
    put16(out, 24);                      // bits per pixel
    put32(out, 0);                       // BI_RGB
    put32(out, image_bytes);
    put32(out, 2835);                    // 72 dpi
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = img.h - 1; y >= 0; --y) {
        for (int x = 0; x < img.w; ++x) {
            const Rgb& p = img.at(x, y);
            out.push_back(to_byte(p.b, x, y));
            out.push_back(to_byte(p.g, x + 1, y + 2));
            out.push_back(to_byte(p.r, x + 2, y + 1));
        }
        for (uint32_t pad = uint32_t(img.w) * 3; pad < stride; ++pad) out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> region_file(const std::vector<Rect>& rects) {
    Rect bounds = rects.front();
    for (const Rect& r : rects) {
        bounds.left = std::min(bounds.left, r.left);
        bounds.top = std::min(bounds.top, r.top);
        bounds.right = std::max(bounds.right, r.right);
        bounds.bottom = std::max(bounds.bottom, r.bottom);
    }
    std::vector<uint8_t> out;
    // RGNDATAHEADER: dwSize, iType (RDH_RECTANGLES), nCount, nRgnSize, rcBound.
    put32(out, 32);
    put32(out, 1);
    put32(out, uint32_t(rects.size()));
    put32(out, uint32_t(16 * rects.size()));     // nRgnSize: the bytes of the rectangles
    for (int32_t v : {bounds.left, bounds.top, bounds.right, bounds.bottom}) put32(out, uint32_t(v));
    for (const Rect& r : rects)
        for (int32_t v : {r.left, r.top, r.right, r.bottom}) put32(out, uint32_t(v));
    return out;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

}  // namespace gen

namespace {

struct Picture {
    int id;
    int height;
    void (*paint)(gen::Image&);
};

const Picture pictures[] = {
    {1200, 2288, gen::picture_mountains},  {1201, 3856, gen::picture_ocean},
    {1202, 2096, gen::picture_mandelbrot}, {1203, 1024, gen::picture_truchet},
    {1204, 2592, gen::picture_flow},       {1205, 2400, gen::picture_nebula},
    {1206, 1456, gen::picture_city},       {1207, 1824, gen::picture_forest},
    {1208, 1600, gen::picture_aurora},     {1209, 2144, gen::picture_op_art},
    {1210, 1712, gen::picture_stained_glass}, {1211, 1120, gen::picture_julia},
    {1212, 1136, gen::picture_topography}, {1213, 2240, gen::picture_marbles},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gen-assets OUTDIR [ID...]\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = true;
    for (const Picture& p : pictures) {
        bool wanted = argc == 2;
        for (int i = 2; i < argc; ++i) wanted = wanted || std::atoi(argv[i]) == p.id;
        if (!wanted) continue;
        gen::Image img(640, p.height);
        p.paint(img);
        ok = gen::write_file(dir + "/picture_" + std::to_string(p.id) + ".bmp", gen::bmp_file(img)) && ok;
    }
    if (argc == 2) {
        std::vector<gen::Rect> shape = gen::window_shape();
        gen::Image skin(720, 700);
        gen::paint_skin(skin, shape);
        ok = gen::write_file(dir + "/skin.bmp", gen::bmp_file(skin)) && ok;
        ok = gen::write_file(dir + "/shape.bin", gen::region_file(shape)) && ok;
        ok = gen::write_file(dir + "/icon.ico", gen::icon_file()) && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "gen-assets: cannot write the assets into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
