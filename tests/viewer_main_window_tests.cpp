// The main window: start-up, the shape, paging, the volume keys, pause and
// resume, the fade-out on quitting, and the keys passed on to the pane.
#include <stdint.h>
#include <stdio.h>

#include "assets/song_data.h"
#include "player/player.h"
#include "tests/viewer_fixture.h"
#include "tests/viewer_player_double.h"

namespace {

using ViewerMainWindow = ViewerTest;

TEST_F(ViewerMainWindow, StartsCentredWithItsPaneAndTheMusic)
{
    open_viewer();
    RECT r;
    ASSERT_TRUE(GetWindowRect(main_window, &r));
    int x = (GetSystemMetrics(SM_CXSCREEN) - 720) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - 700) / 2;
    EXPECT_EQ(r.left, x);
    EXPECT_EQ(r.top, y);
    EXPECT_EQ(r.right - r.left, 720);
    EXPECT_EQ(r.bottom - r.top, 700);
    ASSERT_TRUE(GetWindowRect(picture_pane, &r));
    EXPECT_EQ(r.left, x + 40);
    EXPECT_EQ(r.top, y + 40);
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_EQ(r.bottom - r.top, 500);
    EXPECT_EQ(GetParent(picture_pane), main_window);

    ASSERT_EQ(player_calls.size(), 2u);  // the volume first, then the tune
    EXPECT_EQ(player_calls[0].operation, "set_volume");
    EXPECT_EQ(player_calls[0].value, 18u);
    EXPECT_EQ(player_calls[1].operation, "start");
    EXPECT_EQ(player_calls[1].module, song_data);
    EXPECT_EQ(player_calls[1].second, 10518u);
    EXPECT_EQ(player_calls[1].value, (uint32_t)PLAY_FROM_MEMORY);
    EXPECT_TRUE(pane_shows(0, 0));
    EXPECT_TRUE(skin_shown_around_pane());
}

TEST_F(ViewerMainWindow, TakesTheShapeOfTheRegionResource)
{
    open_viewer();
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_EQ(GetWindowRgn(main_window, region), COMPLEXREGION);
    std::vector<BYTE> mask(720 * 700);
    ASSERT_TRUE(layer_window_shape_mask(main_window, mask.data(), 720, 700));
    long wrong = 0;
    for (int y = 0; y < 700; y++) {
        for (int x = 0; x < 720; x++) {
            bool inside = false;
            for (const RECT& s : shape_rects()) inside |= x >= s.left && x < s.right && y >= s.top && y < s.bottom;
            wrong += (mask[y * 720 + x] == 255) != inside || (PtInRegion(region, x, y) != 0) != inside;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(mask[10 * 720 + 10], 255);
    EXPECT_EQ(mask[690 * 720 + 349], 0);  // the bottom 34 rows are never part of the window
    DeleteObject(region);
}

TEST_F(ViewerMainWindow, PagingStopsAtBothEnds)
{
    open_viewer();
    HWND first_pane = picture_pane;
    press(VK_LEFT);
    EXPECT_EQ(current_picture, 0u);
    EXPECT_EQ(picture_pane, first_pane);  // not re-created
    EXPECT_TRUE(IsWindow(first_pane));

    for (uint32_t i = 1; i < GALLERY_SIZE; i++) {
        HWND before = picture_pane;
        press(VK_RIGHT);
        EXPECT_EQ(current_picture, i);
        EXPECT_FALSE(IsWindow(before));
        EXPECT_EQ(pane_state.bitmap_id, 1200 + (int32_t)i);
        EXPECT_EQ(pane_state.height, gallery[i].height);
    }
    EXPECT_TRUE(pane_shows(13, 0));
    HWND last_pane = picture_pane;
    press(VK_RIGHT);
    EXPECT_EQ(current_picture, 13u);
    EXPECT_EQ(picture_pane, last_pane);
    press(VK_LEFT);
    EXPECT_EQ(current_picture, 12u);
    EXPECT_TRUE(pane_shows(12, 0));
    pump();
    EXPECT_TRUE(skin_shown_around_pane());
    EXPECT_EQ(player_calls.size(), 2u);
}

TEST_F(ViewerMainWindow, VolumeKeysStepOneLevelAndStopAtTheEnds)
{
    struct Case {
        uint32_t level;
        WPARAM key;
        uint32_t after;  // the level afterwards; a player call only when it moved
    };
    const Case cases[] = {
        {18, VK_OEM_PLUS, 19}, {18, VK_ADD, 19},       {24, VK_ADD, 25},        {25, VK_OEM_PLUS, 25},
        {25, VK_ADD, 25},      {18, VK_OEM_MINUS, 17}, {18, VK_SUBTRACT, 17},   {1, VK_SUBTRACT, 0},
        {0, VK_OEM_MINUS, 0},  {0, VK_SUBTRACT, 0},    {0, VK_OEM_PLUS, 1},
    };
    open_viewer();
    for (const Case& c : cases) {
        volume_level = c.level;
        player_calls.clear();
        press(c.key);
        EXPECT_EQ(volume_level, c.after) << "level " << c.level << " key " << c.key;
        if (c.after == c.level) {
            EXPECT_TRUE(player_calls.empty()) << "level " << c.level << " key " << c.key;
        } else {
            ASSERT_EQ(player_calls.size(), 1u);
            EXPECT_EQ(player_calls[0].operation, "set_volume");
            EXPECT_EQ(player_calls[0].value, c.after);
        }
    }
}

TEST_F(ViewerMainWindow, MPausesThenResumes)
{
    open_viewer();
    player_calls.clear();
    press('M');
    EXPECT_EQ(music_on, 0u);
    press('M');
    EXPECT_EQ(music_on, 1u);
    press('M');
    ASSERT_EQ(player_calls.size(), 3u);
    EXPECT_EQ(player_calls[0].operation, "pause");
    EXPECT_EQ(player_calls[1].operation, "resume");
    EXPECT_EQ(player_calls[2].operation, "pause");
}

TEST_F(ViewerMainWindow, EscapeAndQFadeOutStopTheMusicAndClose)
{
    struct Case {
        WPARAM key;
        uint32_t level;
    };
    for (const Case& c : {Case{VK_ESCAPE, 18}, Case{'Q', 18}, Case{VK_ESCAPE, 0}, Case{'Q', 3}}) {
        SetUp();
        open_viewer();
        HWND pane = picture_pane;
        volume_level = c.level;
        player_calls.clear();
        press(c.key);

        std::vector<PlayerCall> volumes = calls_of("set_volume");
        ASSERT_EQ(volumes.size(), c.level) << "key " << c.key << " from level " << c.level;
        for (size_t i = 0; i < volumes.size(); i++) {
            EXPECT_EQ(volumes[i].value, c.level - 1 - i);
            // Each level is held 20 ms before the next one.
            if (i > 0) {
                EXPECT_GE(volumes[i].at_ms - volumes[i - 1].at_ms, 19.5);
            }
        }
        ASSERT_EQ(player_calls.size(), c.level + 1u);
        const PlayerCall& stop = player_calls.back();
        EXPECT_EQ(stop.operation, "start");
        EXPECT_EQ(stop.module, nullptr);
        EXPECT_EQ(stop.second, 0u);
        EXPECT_EQ(stop.value, 0u);
        if (c.level) {
            EXPECT_GE(stop.at_ms - volumes.back().at_ms, 19.5);
        }
        EXPECT_EQ(volume_level, 0u);
        EXPECT_TRUE(calls_of("pause").empty());

        EXPECT_FALSE(IsWindow(main_window));
        EXPECT_FALSE(IsWindow(pane));
        EXPECT_EQ(pane_state.picture, nullptr);  // the pane went first and freed its picture
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, (UINT)WM_QUIT);
        EXPECT_EQ(msg.wParam, 0u);
        TearDown();
    }
}

WPARAM keys_seen[16];
LPARAM infos_seen[16];
int keys_seen_count = 0;
WNDPROC pane_proc_before = nullptr;

LRESULT CALLBACK recording_pane_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_KEYDOWN && keys_seen_count < 16) {
        keys_seen[keys_seen_count] = wparam;
        infos_seen[keys_seen_count++] = lparam;
    }
    return CallWindowProcA(pane_proc_before, window, message, wparam, lparam);
}

TEST_F(ViewerMainWindow, KeysItDoesNotHandleGoToThePane)
{
    open_viewer(2);
    keys_seen_count = 0;
    pane_proc_before = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(picture_pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recording_pane_proc)));
    player_calls.clear();
    const WPARAM passed[] = {'A', VK_SPACE, VK_RETURN, VK_UP, VK_DOWN, VK_HOME, VK_F1, '1'};
    for (WPARAM key : passed) SendMessageA(main_window, WM_KEYDOWN, key, 0x00480001);
    const WPARAM handled[] = {VK_OEM_PLUS, VK_ADD, VK_OEM_MINUS, VK_SUBTRACT, 'M', 'M'};
    for (WPARAM key : handled) press(key);

    ASSERT_EQ(keys_seen_count, 8);
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(keys_seen[i], passed[i]);
        EXPECT_EQ(infos_seen[i], 0x00480001);
    }
    EXPECT_EQ(current_picture, 2u);
    EXPECT_EQ(pane_state.scroll_offset, 0);  // one Up, one Down
    EXPECT_EQ(player_calls.size(), 6u);      // from the handled keys only
}

TEST_F(ViewerMainWindow, FailedClassRegistrationShowsTheMessageAndExitsWithZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // "orn_m0" is registered already, so WinMain's registration fails.
    char command_line[] = "";
    EXPECT_EXIT(WinMain(instance, nullptr, command_line, SW_SHOWNORMAL), ::testing::ExitedWithCode(0),
                "Window initialisation error: Could not register class\\.");
}

TEST_F(ViewerMainWindow, FailedPaneClassRegistrationExitsWithZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = DefWindowProcA;
            wc.lpszClassName = PANE_CLASS_NAME;
            RegisterClassA(&wc);
            create_main_window(instance);
            fprintf(stderr, "still running\n");
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
