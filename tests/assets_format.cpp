// Format checks of the generated assets: the fourteen pictures, the skin,
// the window shape (an RGNDATA block) and the icon, read from the build's
// assets folder the way the resource compiler and our layer will read them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> read_asset(const std::string& name) {
    std::ifstream in(std::string(ORNA_BINARY_DIR) + "/assets/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t u16(const std::vector<uint8_t>& b, size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8; }
uint32_t u32(const std::vector<uint8_t>& b, size_t at) { return u16(b, at) | u16(b, at + 2) << 16; }
int32_t s32(const std::vector<uint8_t>& b, size_t at) { return int32_t(u32(b, at)); }

// A 24-bit uncompressed bottom-up BMP, header checked on load.
struct Bmp {
    std::vector<uint8_t> bytes;
    int width = 0, height = 0;

    // Red, green and blue of the pixel at (x, y), y counted from the top.
    std::vector<uint8_t> pixel(int x, int y) const {
        size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
        size_t at = 54 + size_t(height - 1 - y) * stride + size_t(x) * 3;
        return {bytes[at + 2], bytes[at + 1], bytes[at]};
    }
};

Bmp load_bmp(const std::string& name, int width, int height) {
    Bmp bmp;
    bmp.bytes = read_asset(name);
    SCOPED_TRACE(name);
    size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    size_t expected = 54 + stride * size_t(height);
    EXPECT_EQ(bmp.bytes.size(), expected);
    if (bmp.bytes.size() != expected) return bmp;
    EXPECT_EQ(u16(bmp.bytes, 0), 0x4D42u);           // "BM"
    EXPECT_EQ(u32(bmp.bytes, 2), expected);           // file size
    EXPECT_EQ(u32(bmp.bytes, 10), 54u);               // pixel offset
    EXPECT_EQ(u32(bmp.bytes, 14), 40u);               // BITMAPINFOHEADER
    EXPECT_EQ(s32(bmp.bytes, 18), width);
    EXPECT_EQ(s32(bmp.bytes, 22), height);            // positive: bottom-up
    EXPECT_EQ(u16(bmp.bytes, 26), 1u);                // planes
    EXPECT_EQ(u16(bmp.bytes, 28), 24u);               // bits per pixel
    EXPECT_EQ(u32(bmp.bytes, 30), 0u);                // BI_RGB
    bmp.width = width;
    bmp.height = height;
    return bmp;
}

bool is_black(const std::vector<uint8_t>& rgb) { return rgb[0] == 0 && rgb[1] == 0 && rgb[2] == 0; }

struct Rect {
    int32_t left, top, right, bottom;
};

std::vector<Rect> shape_rects(const std::vector<uint8_t>& b) {
    std::vector<Rect> rects;
    for (size_t at = 32; at + 16 <= b.size(); at += 16)
        rects.push_back(Rect{s32(b, at), s32(b, at + 4), s32(b, at + 8), s32(b, at + 12)});
    return rects;
}

TEST(Assets, PicturesAre640WideUncompressedWithTheGalleryHeightsAndRealContent) {
    const int heights[14] = {2288, 3856, 2096, 1024, 2592, 2400, 1456, 1824, 1600, 2144, 1712, 1120, 1136, 2240};
    for (int i = 0; i < 14; ++i) {
        std::string name = "picture_" + std::to_string(1200 + i) + ".bmp";
        SCOPED_TRACE(name);
        Bmp bmp = load_bmp(name, 640, heights[i]);
        ASSERT_EQ(bmp.height, heights[i]);
        // A painting, not a blank or a plain gradient: many colours, and
        // most rows with real contrast along their length.
        std::set<uint32_t> colours;
        int rows = 0, structured_rows = 0;
        for (int y = 0; y < bmp.height; y += 4, ++rows) {
            int lo = 255 * 3, hi = 0;
            for (int x = 0; x < 640; x += 2) {
                std::vector<uint8_t> p = bmp.pixel(x, y);
                colours.insert(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
                int sum = p[0] + p[1] + p[2];
                lo = std::min(lo, sum);
                hi = std::max(hi, sum);
            }
            structured_rows += hi - lo > 48;
        }
        EXPECT_GT(colours.size(), 1000u);
        EXPECT_GT(structured_rows * 2, rows);
    }
}

TEST(Assets, ShapeIsAnRgnDataBlockOfTheFrameAndTheEmblemInBandOrder) {
    std::vector<uint8_t> b = read_asset("shape.bin");
    ASSERT_EQ(b.size(), 32u + 118u * 16u);
    EXPECT_EQ(u32(b, 0), 32u);                        // dwSize
    EXPECT_EQ(u32(b, 4), 1u);                         // iType: rectangles
    EXPECT_EQ(u32(b, 8), 118u);                       // nCount
    EXPECT_EQ(u32(b, 12), 1888u);                     // nRgnSize
    EXPECT_EQ(s32(b, 16), 0);                         // rcBound
    EXPECT_EQ(s32(b, 20), 0);
    EXPECT_EQ(s32(b, 24), 720);
    EXPECT_EQ(s32(b, 28), 666);
    std::vector<Rect> rects = shape_rects(b);
    ASSERT_EQ(rects.size(), 118u);
    EXPECT_EQ(rects[0].left, 0);
    EXPECT_EQ(rects[0].top, 0);
    EXPECT_EQ(rects[0].right, 720);
    EXPECT_EQ(rects[0].bottom, 580);
    int32_t min_left = 720, max_right = 0, max_bottom = 0;
    for (size_t i = 1; i < rects.size(); ++i) {
        const Rect& r = rects[i];
        const Rect& prev = rects[i - 1];
        SCOPED_TRACE("rectangle " + std::to_string(i));
        EXPECT_GE(r.bottom - r.top, 1);
        EXPECT_LE(r.bottom - r.top, 7);
        EXPECT_GT(r.right, r.left);
        EXPECT_GE(r.top, 580);
        if (r.top == prev.top) {
            // Same band: same bottom, ordered by left, a gap in between.
            EXPECT_EQ(r.bottom, prev.bottom);
            EXPECT_GT(r.left, prev.right);
        } else {
            EXPECT_GE(r.top, prev.bottom);            // bands go down and never overlap
        }
        min_left = std::min(min_left, r.left);
        max_right = std::max(max_right, r.right);
        max_bottom = std::max(max_bottom, r.bottom);
    }
    EXPECT_EQ(min_left, 231);
    EXPECT_EQ(max_right, 467);
    EXPECT_EQ(max_bottom, 666);
}

TEST(Assets, SkinPaintsTheEmblemExactlyOverTheShapeAndBlackOutsideIt) {
    Bmp skin = load_bmp("skin.bmp", 720, 700);
    ASSERT_EQ(skin.height, 700);
    std::vector<Rect> rects = shape_rects(read_asset("shape.bin"));
    ASSERT_EQ(rects.size(), 118u);
    std::vector<uint8_t> inside(720 * 700, 0);
    for (const Rect& r : rects)
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) inside[size_t(y) * 720 + size_t(x)] = 1;
    int wrong_inside = 0, wrong_outside = 0;
    for (int y = 580; y < 700; ++y)
        for (int x = 0; x < 720; ++x) {
            std::vector<uint8_t> p = skin.pixel(x, y);
            if (inside[size_t(y) * 720 + size_t(x)]) wrong_inside += std::max({p[0], p[1], p[2]}) < 16;
            else wrong_outside += !is_black(p);
        }
    EXPECT_EQ(wrong_inside, 0) << "emblem pixels that are black or nearly so";
    EXPECT_EQ(wrong_outside, 0) << "pixels outside the shape that are not black";
    // The frame around the pane is painted; the pane's own area is left black.
    EXPECT_FALSE(is_black(skin.pixel(20, 300)));
    EXPECT_FALSE(is_black(skin.pixel(360, 560)));
    EXPECT_TRUE(is_black(skin.pixel(360, 290)));
}

TEST(Assets, IconHoldsEightThirtyTwoBitImagesWithMasks) {
    std::vector<uint8_t> b = read_asset("icon.ico");
    ASSERT_GE(b.size(), 6u + 8u * 16u);
    EXPECT_EQ(u16(b, 0), 0u);
    EXPECT_EQ(u16(b, 2), 1u);                         // an icon, not a cursor
    ASSERT_EQ(u16(b, 4), 8u);
    const uint32_t sizes[8] = {16, 24, 32, 48, 64, 72, 96, 128};
    uint32_t next = 6 + 8 * 16;
    for (int i = 0; i < 8; ++i) {
        size_t e = 6 + size_t(i) * 16;
        uint32_t size = sizes[i];
        SCOPED_TRACE("icon " + std::to_string(size));
        EXPECT_EQ(b[e], size);
        EXPECT_EQ(b[e + 1], size);
        EXPECT_EQ(u16(b, e + 4), 1u);                 // planes
        EXPECT_EQ(u16(b, e + 6), 32u);                // bits per pixel
        uint32_t bytes = u32(b, e + 8), offset = u32(b, e + 12);
        uint32_t mask_stride = (size + 31) / 32 * 4;
        EXPECT_EQ(bytes, 40 + size * size * 4 + mask_stride * size);
        EXPECT_EQ(offset, next);
        ASSERT_LE(size_t(offset) + bytes, b.size());
        next = offset + bytes;
        EXPECT_EQ(u32(b, offset), 40u);
        EXPECT_EQ(u32(b, offset + 4), size);
        EXPECT_EQ(u32(b, offset + 8), size * 2);      // colour rows and mask rows
        EXPECT_EQ(u16(b, offset + 12), 1u);
        EXPECT_EQ(u16(b, offset + 14), 32u);
        EXPECT_EQ(u32(b, offset + 16), 0u);
        // A round design: the corner is transparent (alpha 0, mask bit set),
        // the centre opaque (mask bit clear).
        size_t pixels = offset + 40, mask = pixels + size_t(size) * size * 4;
        EXPECT_EQ(b[pixels + 3], 0u);
        EXPECT_EQ(b[mask] & 0x80, 0x80);
        size_t centre = pixels + (size_t(size / 2) * size + size / 2) * 4;
        EXPECT_EQ(b[centre + 3], 255u);
        EXPECT_EQ(b[mask + size_t(size / 2) * mask_stride + size / 2 / 8] & (0x80 >> (size / 2 % 8)), 0);
    }
    EXPECT_EQ(next, b.size());
}

}  // namespace
