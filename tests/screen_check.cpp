// screen-check: compares a screenshot of the viewer with what it must show.
//
//   screen-check SHOT.ppm DESKTOP.ppm ASSET_DIR X Y PICTURE OFFSET
//
// SHOT is a screenshot with the viewer's window at (X, Y); DESKTOP a
// screenshot of the same screen before the window existed. Inside the
// window's region every pixel must be the skin, except the 640 x 500 pane at
// (40, 40), which must show picture PICTURE (0..13) drawn at vertical OFFSET
// (0 or negative), black where the picture does not reach. Outside the
// region every pixel of the 720 x 700 window rectangle must be the desktop.
// Prints one line; exit status 0 when everything matches, 1 otherwise.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top-down rows of R, G, B
    uint32_t at(int x, int y) const {
        const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
};

std::vector<uint8_t> read_all(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        uint8_t buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        fclose(f);
    }
    return bytes;
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// Binary PPM (P6, maxval 255), as ImageMagick writes it.
bool read_ppm(const std::string& path, Image& image) {
    std::vector<uint8_t> b = read_all(path);
    size_t i = 0;
    int fields[3] = {0, 0, 0};
    if (b.size() < 2 || b[0] != 'P' || b[1] != '6') return false;
    i = 2;
    for (int& field : fields) {
        while (i < b.size() && (b[i] == ' ' || b[i] == '\n' || b[i] == '\r' || b[i] == '\t' || b[i] == '#')) {
            if (b[i] == '#')
                while (i < b.size() && b[i] != '\n') ++i;
            else
                ++i;
        }
        while (i < b.size() && b[i] >= '0' && b[i] <= '9') field = field * 10 + (b[i++] - '0');
    }
    ++i;  // the single whitespace after maxval
    image.width = fields[0];
    image.height = fields[1];
    const size_t size = size_t(image.width) * image.height * 3;
    if (fields[2] != 255 || b.size() < i + size) return false;
    image.rgb.assign(b.begin() + i, b.begin() + i + size);
    return true;
}

// 24-bit uncompressed BMP, bottom-up or top-down.
bool read_bmp(const std::string& path, Image& image) {
    std::vector<uint8_t> b = read_all(path);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
    const uint32_t data = le32(&b[10]);
    const int32_t width = int32_t(le32(&b[18]));
    const int32_t height = int32_t(le32(&b[22]));
    if (width <= 0 || height == 0 || (b[28] | b[29] << 8) != 24) return false;
    const int rows = height < 0 ? -height : height;
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    if (b.size() < data + stride * rows) return false;
    image.width = width;
    image.height = rows;
    image.rgb.resize(size_t(width) * rows * 3);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* src = &b[data + stride * (height < 0 ? y : rows - 1 - y)];
        uint8_t* dst = &image.rgb[size_t(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            dst[x * 3 + 0] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3 + 0];
        }
    }
    return true;
}

struct Rect {
    int32_t left, top, right, bottom;
};

bool read_region(const std::string& path, std::vector<Rect>& rects) {
    std::vector<uint8_t> b = read_all(path);
    if (b.size() < 32) return false;
    const uint32_t count = le32(&b[8]);
    if (b.size() < 32 + size_t(count) * 16) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* p = &b[32 + i * 16];
        rects.push_back({int32_t(le32(p)), int32_t(le32(p + 4)), int32_t(le32(p + 8)), int32_t(le32(p + 12))});
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        fprintf(stderr, "usage: screen-check SHOT.ppm DESKTOP.ppm ASSET_DIR X Y PICTURE OFFSET\n");
        return 2;
    }
    const std::string assets = argv[3];
    const int wx = atoi(argv[4]), wy = atoi(argv[5]), picture = atoi(argv[6]), offset = atoi(argv[7]);
    static const int pane_heights[14] = {2296, 3864, 2104, 1032, 2600, 2408, 1464,
                                         1832, 1608, 2152, 1720, 1128, 1144, 2248};
    Image shot, desktop, skin, art;
    std::vector<Rect> region;
    char name[64];
    snprintf(name, sizeof name, "/picture_%d.bmp", 1200 + picture);
    if (picture < 0 || picture > 13 || !read_ppm(argv[1], shot) || !read_ppm(argv[2], desktop) ||
        !read_bmp(assets + "/skin.bmp", skin) || !read_bmp(assets + name, art) ||
        !read_region(assets + "/shape.bin", region) || shot.width != desktop.width ||
        shot.height != desktop.height) {
        fprintf(stderr, "screen-check: cannot read the screenshots or the assets\n");
        return 2;
    }
    long inside_bad = 0, outside_bad = 0, pane_bad = 0, checked = 0;
    for (int y = 0; y < 700; ++y) {
        for (int x = 0; x < 720; ++x) {
            const int sx = wx + x, sy = wy + y;
            if (sx < 0 || sy < 0 || sx >= shot.width || sy >= shot.height) continue;
            bool inside = false;
            for (const Rect& r : region)
                if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) inside = true;
            const uint32_t seen = shot.at(sx, sy);
            ++checked;
            if (!inside) {
                outside_bad += seen != desktop.at(sx, sy);
                continue;
            }
            if (x >= 40 && x < 680 && y >= 40 && y < 540) {
                // The pane copies pane_heights rows of the bitmap from offset;
                // beyond the bitmap (or the copy) it shows the black brush.
                const int row = y - 40 - offset;
                uint32_t want = 0;
                if (row >= 0 && row < art.height && row < pane_heights[picture]) want = art.at(x - 40, row);
                pane_bad += seen != want;
            } else {
                inside_bad += seen != skin.at(x, y);
            }
        }
    }
    const bool ok = inside_bad == 0 && outside_bad == 0 && pane_bad == 0 && checked == 720 * 700;
    printf("screen-check: picture %d offset %d at (%d, %d): %ld pixels, %ld skin, %ld pane, %ld outside differ%s\n",
           picture, offset, wx, wy, checked, inside_bad, pane_bad, outside_bad, ok ? "" : " - MISMATCH");
    return ok ? 0 : 1;
}
