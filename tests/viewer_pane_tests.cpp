// The picture pane as a person sees it: the picture's own pixels at the
// expected offset after key scrolls and automatic-scroll ticks.
#include "tests/viewer_fixture.h"
#include "tests/viewer_player_double.h"

namespace {

using ViewerPane = ViewerTest;

void tick(HWND pane) { SendMessageA(pane, WM_TIMER, 1, 0); }

TEST_F(ViewerPane, FirstPictureShowsAtItsTopInsideTheSkin)
{
    open_viewer(0, 1);
    EXPECT_EQ(pane_state.scroll_offset, 0);
    EXPECT_TRUE(pane_shows(0, 0));
    EXPECT_TRUE(skin_shown_around_pane());
}

TEST_F(ViewerPane, UpAndDownScrollSixPixelsWithinTheLimits)
{
    open_viewer(3);  // height 1032: the lowest offset allowed is 470 - 1032 = -562
    press(VK_DOWN);  // at the top already
    EXPECT_EQ(pane_state.scroll_offset, 0);
    EXPECT_TRUE(pane_shows(3, 0));

    press(VK_UP);
    EXPECT_EQ(pane_state.scroll_offset, -6);
    EXPECT_TRUE(pane_shows(3, -6));  // painted at once: no message loop in between

    int moves = 1;
    for (int i = 0; i < 200; i++) {
        int32_t before = pane_state.scroll_offset;
        press(VK_UP);
        if (pane_state.scroll_offset != before) moves++;
    }
    EXPECT_EQ(pane_state.scroll_offset, -558);
    EXPECT_EQ(moves, 93);
    EXPECT_TRUE(pane_shows(3, -558));  // the picture ends at row 466, black below

    press(VK_DOWN);
    press(VK_DOWN);
    EXPECT_EQ(pane_state.scroll_offset, -546);
    EXPECT_TRUE(pane_shows(3, -546));
    EXPECT_TRUE(skin_shown_around_pane());
    EXPECT_EQ(player_calls.size(), 2u);  // only the start's volume and start
}

int timer_ticks = 0;
WNDPROC pane_proc_before = nullptr;

LRESULT CALLBACK counting_pane_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_TIMER) timer_ticks++;
    return CallWindowProcA(pane_proc_before, window, message, wparam, lparam);
}

TEST_F(ViewerPane, FirstPictureScrollsByItselfNinetyFiveStepsOnATimer)
{
    open_viewer(0, 0);
    EXPECT_EQ(pane_state.autoscroll_started, 1u);
    timer_ticks = 0;
    pane_proc_before = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(picture_pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(counting_pane_proc)));
    // The real 40 ms timer through the real message loop: 95 steps and the tick that ends it.
    run_loop([] { return timer_ticks >= 96; }, 8000);
    run_loop([] { return false; }, 150);  // no tick after the timer ended
    EXPECT_EQ(timer_ticks, 96);
    EXPECT_EQ(pane_state.scroll_offset, -190);
    EXPECT_TRUE(pane_shows(0, -190));
}

TEST_F(ViewerPane, AutomaticScrollStepsAreTwoPixelsAndRepaintedByTheLoop)
{
    open_viewer(0, 0);
    HWND pane = picture_pane;
    tick(pane);
    EXPECT_EQ(pane_state.scroll_offset, -2);
    pump();
    EXPECT_TRUE(pane_shows(0, -2));
    for (int i = 1; i < 95; i++) tick(pane);
    EXPECT_EQ(pane_state.scroll_offset, -190);
    pump();
    EXPECT_TRUE(pane_shows(0, -190));
    tick(pane);  // the 96th tick ends the timer and moves nothing
    EXPECT_EQ(pane_state.scroll_offset, -190);
    run_loop([] { return false; }, 100);
    EXPECT_EQ(pane_state.scroll_offset, -190);
    EXPECT_TRUE(pane_shows(0, -190));
}

TEST_F(ViewerPane, DownIsInertAboveMinusSixWhileTheTimerRuns)
{
    open_viewer(0, 0);
    HWND pane = picture_pane;
    struct Step {
        bool timer;  // a timer tick, else a Down key
        int offset;
    };
    const Step steps[] = {{true, -2}, {false, -2}, {true, -4}, {false, -4}, {true, -6}, {false, 0}};
    for (const Step& s : steps) {
        if (s.timer) {
            tick(pane);
        } else {
            press(VK_DOWN);
        }
        EXPECT_EQ(pane_state.scroll_offset, s.offset);
    }
    // Up between ticks moves 6 pixels; the timer keeps going until -190.
    press(VK_UP);
    tick(pane);
    EXPECT_EQ(pane_state.scroll_offset, -8);
    int ticks = 1;
    while (pane_state.scroll_offset > -190 && ticks < 200) {
        tick(pane);
        ticks++;
    }
    EXPECT_EQ(pane_state.scroll_offset, -190);
    EXPECT_EQ(ticks, 92);
    pump();
    EXPECT_TRUE(pane_shows(0, -190));
}

TEST_F(ViewerPane, FirstPictureScrollsByItselfOnlyTheFirstTime)
{
    open_viewer(0, 0);
    for (int i = 0; i < 10; i++) tick(picture_pane);
    press(VK_RIGHT);
    press(VK_LEFT);
    EXPECT_EQ(current_picture, 0u);
    EXPECT_EQ(pane_state.scroll_offset, 0);
    run_loop([] { return false; }, 150);  // several timer periods
    EXPECT_EQ(pane_state.scroll_offset, 0);
    EXPECT_TRUE(pane_shows(0, 0));
}

TEST_F(ViewerPane, OtherPicturesDoNotScrollByThemselves)
{
    open_viewer(1, 0);
    run_loop([] { return false; }, 150);
    EXPECT_EQ(pane_state.scroll_offset, 0);
    EXPECT_EQ(pane_state.autoscroll_started, 0u);
}

TEST_F(ViewerPane, ANewPaneStartsAtTheTopOfItsPicture)
{
    open_viewer(4);
    for (int i = 0; i < 5; i++) press(VK_UP);
    EXPECT_EQ(pane_state.scroll_offset, -30);
    press(VK_RIGHT);
    EXPECT_EQ(pane_state.scroll_offset, 0);
    EXPECT_TRUE(pane_shows(5, 0));
    for (int i = 0; i < 3; i++) press(VK_UP);
    press(VK_LEFT);
    EXPECT_EQ(pane_state.scroll_offset, 0);
    pump();
    EXPECT_TRUE(pane_shows(4, 0));
    EXPECT_TRUE(skin_shown_around_pane());
}

}  // namespace
