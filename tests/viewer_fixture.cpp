#include "tests/viewer_fixture.h"

#include <stdlib.h>
#include <string.h>

#include "tests/viewer_player_double.h"
#include "viewer/resource_ids.h"

COLORREF picture_pixel(uint32_t index, int x, int y)
{
    return RGB((x * 7 + index * 29) & 255, y & 255, ((y >> 8) + index * 16) & 255);
}

int picture_rows(uint32_t index) { return gallery[index].height - 8; }

COLORREF skin_pixel(int x, int y) { return RGB(x & 255, y & 255, 128 + (x >> 8) + (y >> 8) * 4); }

// 118 rectangles: the top 720 x 580 block, then an emblem narrowing down to
// row 666 between x 231 and 467, some rows in two halves.
const std::vector<RECT>& shape_rects()
{
    static std::vector<RECT> rects;
    if (rects.empty()) {
        rects.push_back(RECT{0, 0, 720, 580});
        for (int y = 580; y < 666; y++) {
            int inset = (y - 580) * 118 / 86;
            if (y < 611) {
                rects.push_back(RECT{231 + inset, y, 349, y + 1});
                rects.push_back(RECT{349, y, 467 - inset, y + 1});
            } else {
                rects.push_back(RECT{231 + inset, y, 467 - inset, y + 1});
            }
        }
    }
    return rects;
}

static void put32(std::vector<BYTE>& out, uint32_t v)
{
    for (int i = 0; i < 4; i++) out.push_back((BYTE)(v >> (8 * i)));
}

// A whole 24-bit BMP file, bottom row first.
template <typename Pixel>
static std::vector<BYTE> bmp_file(int width, int height, Pixel pixel)
{
    size_t stride = ((size_t)width * 3 + 3) & ~(size_t)3;
    std::vector<BYTE> out = {'B', 'M'};
    put32(out, (uint32_t)(54 + stride * height));
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, (uint32_t)width);
    put32(out, (uint32_t)height);
    put32(out, 1 | 24 << 16);
    for (int i = 0; i < 6; i++) put32(out, 0);
    for (int y = height - 1; y >= 0; y--) {
        for (int x = 0; x < width; x++) {
            COLORREF c = pixel(x, y);
            out.push_back(GetBValue(c));
            out.push_back(GetGValue(c));
            out.push_back(GetRValue(c));
        }
        out.resize(out.size() + stride - (size_t)width * 3, 0);
    }
    return out;
}

static std::vector<BYTE> region_data()
{
    const std::vector<RECT>& rects = shape_rects();
    std::vector<BYTE> out;
    for (uint32_t v : {32u, 1u, (uint32_t)rects.size(), (uint32_t)rects.size() * 16, 0u, 0u, 720u, 666u}) put32(out, v);
    for (const RECT& r : rects) {
        for (LONG v : {r.left, r.top, r.right, r.bottom}) put32(out, (uint32_t)v);
    }
    return out;
}

HINSTANCE ViewerTest::instance = nullptr;

void ViewerTest::SetUpTestSuite()
{
    if (instance) return;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    instance = GetModuleHandleA(nullptr);
    static std::vector<std::vector<BYTE>> files;  // the resources' bytes, kept for the run
    files.reserve(GALLERY_SIZE + 2);
    files.push_back(bmp_file(MAIN_WIDTH, MAIN_HEIGHT, skin_pixel));
    layer_add_resource(RT_BITMAP, MAKEINTRESOURCEA(IDR_SKIN), files.back().data(), (DWORD)files.back().size());
    files.push_back(region_data());
    layer_add_resource(RT_RCDATA, MAKEINTRESOURCEA(IDR_WINDOW_SHAPE), files.back().data(),
                       (DWORD)files.back().size());
    for (uint32_t i = 0; i < GALLERY_SIZE; i++) {
        files.push_back(bmp_file(PANE_WIDTH, picture_rows(i), [i](int x, int y) { return picture_pixel(i, x, y); }));
        layer_add_resource(RT_BITMAP, MAKEINTRESOURCEA(gallery[i].bitmap_id), files.back().data(),
                           (DWORD)files.back().size());
    }
    ASSERT_NE(register_main_class(instance), 0);
}

void dispatch(const MSG& msg)
{
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void ViewerTest::SetUp()
{
    current_picture = 0;
    volume_level = INITIAL_VOLUME_LEVEL;
    music_on = 1;
    picture_pane = nullptr;
    pane_state = PaneState{0, 0, nullptr, 0, 0};
    player_calls.clear();
}

void ViewerTest::TearDown()
{
    if (IsWindow(main_window)) DestroyWindow(main_window);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA(PANE_CLASS_NAME, instance);  // the next main window registers it again
    if (skin_bitmap) DeleteObject(skin_bitmap);
    skin_bitmap = nullptr;
}

void ViewerTest::open_viewer(uint32_t picture, uint32_t autoscroll_started)
{
    current_picture = picture;
    pane_state.autoscroll_started = autoscroll_started;
    main_window = create_main_window(instance);
    ASSERT_NE(main_window, nullptr);
    ShowWindow(main_window, SW_SHOWNORMAL);
    UpdateWindow(main_window);
    pump();
}

void ViewerTest::pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_TIMER) dispatch(msg);
    }
}

::testing::AssertionResult ViewerTest::pane_shows(uint32_t index, int offset)
{
    HDC dc = GetDC(picture_pane);
    if (!dc) return ::testing::AssertionFailure() << "no pane";
    long wrong = 0;
    int first_x = 0, first_y = 0;
    COLORREF seen = 0, wanted = 0;
    for (int y = 0; y < PANE_HEIGHT; y++) {
        int row = y - offset;
        for (int x = 0; x < PANE_WIDTH; x++) {
            COLORREF expected = row >= 0 && row < picture_rows(index) ? picture_pixel(index, x, row) : RGB(0, 0, 0);
            COLORREF actual = GetPixel(dc, x, y);
            if (actual != expected && wrong++ == 0) {
                first_x = x;
                first_y = y;
                seen = actual;
                wanted = expected;
            }
        }
    }
    ReleaseDC(picture_pane, dc);
    if (!wrong) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " pane pixels differ from picture " << index << " at offset "
                                         << offset << "; first at (" << first_x << ", " << first_y << "): 0x"
                                         << std::hex << seen << " instead of 0x" << wanted;
}

::testing::AssertionResult ViewerTest::skin_shown_around_pane()
{
    HDC dc = GetDC(main_window);
    long wrong = 0;
    for (int y = 0; y < MAIN_HEIGHT; y++) {
        for (int x = 0; x < MAIN_WIDTH; x++) {
            bool in_pane = x >= PANE_X && x < PANE_X + PANE_WIDTH && y >= PANE_Y && y < PANE_Y + PANE_HEIGHT;
            if (!in_pane && GetPixel(dc, x, y) != skin_pixel(x, y)) wrong++;
        }
    }
    ReleaseDC(main_window, dc);
    if (!wrong) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " pixels around the pane do not show the skin";
}
