// The window layer's own promises that the viewer relies on: painting is
// clipped to the update region, children are destroyed before their parent,
// and malformed bitmaps and regions are refused without reading past them.
#include <string.h>

#include <string>
#include <vector>

#include "tests/viewer_fixture.h"
#include "tests/viewer_player_double.h"

namespace {

using ViewerLayer = ViewerTest;

TEST_F(ViewerLayer, PaintingReachesOnlyTheUpdateRegion)
{
    open_viewer(3);
    pane_state.scroll_offset = -6;  // the picture moves, but only rows 100..109 are repainted
    RECT strip = {0, 100, 640, 110};
    InvalidateRect(picture_pane, &strip, FALSE);
    UpdateWindow(picture_pane);
    HDC dc = GetDC(picture_pane);
    long wrong = 0;
    for (int y = 0; y < PANE_HEIGHT; y++) {
        int row = y >= 100 && y < 110 ? y + 6 : y;
        for (int x = 0; x < PANE_WIDTH; x += 7) wrong += GetPixel(dc, x, y) != picture_pixel(3, x, row);
    }
    ReleaseDC(picture_pane, dc);
    EXPECT_EQ(wrong, 0);
    pane_state.scroll_offset = 0;
}

std::vector<std::string> destroyed;

LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_CREATE) {
        const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lparam);
        SetTimer(window, 7, 10, nullptr);
        return strcmp(static_cast<const char*>(cs->lpCreateParams), "refuse") == 0 ? -1 : 0;
    }
    if (message == WM_DESTROY) {
        char name[64];
        snprintf(name, sizeof name, "%p", static_cast<void*>(window));
        destroyed.push_back(name);
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

TEST_F(ViewerLayer, ClosingAWindowDestroysItsChildrenFirst)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = recording_proc;
    wc.lpszClassName = "layer_test";
    ASSERT_NE(RegisterClassA(&wc), 0);
    char keep[] = "keep", refuse[] = "refuse";
    HWND parent = CreateWindowExA(0, "layer_test", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, instance, keep);
    HWND child = CreateWindowExA(0, "layer_test", "", WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, parent, nullptr,
                                 instance, keep);
    ASSERT_TRUE(parent && child);
    EXPECT_EQ(CreateWindowExA(0, "layer_test", "", WS_CHILD, 0, 0, 5, 5, parent, nullptr, instance, refuse),
              nullptr);
    destroyed.clear();
    SendMessageA(parent, WM_CLOSE, 0, 0);
    char parent_name[64], child_name[64];
    snprintf(parent_name, sizeof parent_name, "%p", static_cast<void*>(parent));
    snprintf(child_name, sizeof child_name, "%p", static_cast<void*>(child));
    EXPECT_EQ(destroyed, (std::vector<std::string>{child_name, parent_name}));
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(KillTimer(child, 7));  // the windows' timers ended with them
    EXPECT_FALSE(KillTimer(parent, 7));
    UnregisterClassA("layer_test", instance);
}

std::vector<BYTE> bitmap_bytes(int32_t width, int32_t height, uint16_t bits, size_t pixel_bytes)
{
    std::vector<BYTE> out(54 + pixel_bytes, 0x5A);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; i++) out[at + i] = (BYTE)(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, (uint32_t)width, 4);
    put(22, (uint32_t)height, 4);
    put(26, 1, 2);
    put(28, bits, 2);
    put(30, 0, 4);
    return out;
}

TEST_F(ViewerLayer, BitmapsAreDecodedOnlyWhenWhole)
{
    struct Case {
        const char* what;
        std::vector<BYTE> bytes;
        bool loads;
    };
    std::vector<Case> cases = {
        {"24-bit, rows padded to 4 bytes", bitmap_bytes(3, 2, 24, 2 * 12), true},
        {"32-bit, top row first", bitmap_bytes(2, -2, 32, 16), true},
        {"one byte short", bitmap_bytes(3, 2, 24, 2 * 12 - 1), false},
        {"8-bit", bitmap_bytes(4, 4, 8, 64), false},
        {"huge height", bitmap_bytes(640, 0x7FFFFFFF, 24, 1920), false},
        {"zero width", bitmap_bytes(0, 4, 24, 64), false},
        {"header cut", std::vector<BYTE>{'B', 'M', 0, 0}, false},
    };
    cases[3].bytes[28] = 8;
    int id = 3000;
    for (const Case& c : cases) {
        layer_add_resource(RT_BITMAP, MAKEINTRESOURCEA(id), c.bytes.data(), (DWORD)c.bytes.size());
        HBITMAP bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(id));
        EXPECT_EQ(bitmap != nullptr, c.loads) << c.what;
        if (bitmap) {
            BITMAP info;
            ASSERT_EQ(GetObjectA(bitmap, sizeof info, &info), (int)sizeof info);
            HDC dc = CreateCompatibleDC(nullptr);
            SelectObject(dc, bitmap);
            EXPECT_EQ(GetPixel(dc, info.bmWidth - 1, info.bmHeight - 1), RGB(0x5A, 0x5A, 0x5A)) << c.what;
            EXPECT_EQ(GetPixel(dc, info.bmWidth, 0), CLR_INVALID) << c.what;
            DeleteDC(dc);
            EXPECT_TRUE(DeleteObject(bitmap));
        }
        id++;
    }
    EXPECT_EQ(LoadBitmapA(instance, MAKEINTRESOURCEA(2999)), nullptr);  // no such resource
}

TEST_F(ViewerLayer, IconsAreDecodedFromAnIconFile)
{
    // An icon file with one 2 x 2 32-bit image (its bitmap twice as high, for the mask).
    std::vector<BYTE> icon = {0, 0, 1, 0, 1, 0, 2, 2, 0, 0, 1, 0, 32, 0};
    const uint32_t image_size = 40 + 16 + 8;
    for (uint32_t v : {image_size, 22u, 40u, 2u, 4u}) {
        for (int i = 0; i < 4; i++) icon.push_back((BYTE)(v >> (8 * i)));
    }
    icon.push_back(1);
    icon.push_back(0);
    icon.push_back(32);
    icon.push_back(0);
    icon.resize(22 + image_size, 0xFF);
    layer_add_resource(RT_GROUP_ICON, MAKEINTRESOURCEA(3100), icon.data(), (DWORD)icon.size());
    EXPECT_NE(LoadIconA(instance, MAKEINTRESOURCEA(3100)), nullptr);

    std::vector<BYTE> cut(icon.begin(), icon.end() - 9);  // the image's last pixel is missing
    layer_add_resource(RT_GROUP_ICON, MAKEINTRESOURCEA(3101), cut.data(), (DWORD)cut.size());
    EXPECT_EQ(LoadIconA(instance, MAKEINTRESOURCEA(3101)), nullptr);
    EXPECT_EQ(LoadIconA(instance, MAKEINTRESOURCEA(3102)), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
}

TEST_F(ViewerLayer, RegionsAreBuiltOnlyFromWholeData)
{
    std::vector<BYTE> data(32 + 2 * 16, 0);
    const uint32_t header[8] = {32, 1, 2, 32, 0, 0, 10, 10};
    const int32_t rects[8] = {0, 0, 10, 5, 2, 5, 8, 10};
    memcpy(data.data(), header, sizeof header);
    memcpy(data.data() + 32, rects, sizeof rects);
    const RGNDATA* rgn = reinterpret_cast<const RGNDATA*>(data.data());

    HRGN region = ExtCreateRegion(nullptr, (DWORD)data.size(), rgn);
    ASSERT_NE(region, nullptr);
    EXPECT_TRUE(PtInRegion(region, 9, 4));
    EXPECT_TRUE(PtInRegion(region, 2, 9));
    EXPECT_FALSE(PtInRegion(region, 9, 9));
    EXPECT_FALSE(PtInRegion(region, 10, 0));
    DeleteObject(region);
    EXPECT_EQ(ExtCreateRegion(nullptr, (DWORD)data.size() - 1, rgn), nullptr);  // the last rectangle is cut
    EXPECT_EQ(ExtCreateRegion(nullptr, 31, rgn), nullptr);
    EXPECT_EQ(ExtCreateRegion(nullptr, 0, nullptr), nullptr);
}

}  // namespace
