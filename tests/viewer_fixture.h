// The viewer tests' world: pictures, skin and window shape of our own made in
// memory and registered as the program's resources, the real main window and
// picture pane created through the layer (SDL's offscreen video driver, no
// sound), and helpers that look at the pixels a person would see.
#pragma once

#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "viewer/gallery.h"
#include "viewer/viewer.h"

// The test pictures: bitmap `index` is 640 x (gallery height - 8); every row of
// every picture has its own colours.
COLORREF picture_pixel(uint32_t index, int x, int y);
int picture_rows(uint32_t index);
COLORREF skin_pixel(int x, int y);
// The rectangles of the test window shape (the RGNDATA resource 1101).
const std::vector<RECT>& shape_rects();

class ViewerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Starts the viewer at `picture` as WinMain would: the main window created,
    // shown and painted. autoscroll_started = 0 lets picture 0 scroll by itself.
    void open_viewer(uint32_t picture = 0, uint32_t autoscroll_started = 1);
    // Handles every pending message except timer ticks (the tests send those).
    void pump();
    // Runs the message loop, timers included, until done() or timeout_ms.
    template <typename Done>
    void run_loop(Done done, int timeout_ms);
    void press(WPARAM key) { SendMessageA(main_window, WM_KEYDOWN, key, 1); }

    // Whether the pane shows picture `index` with its top at `offset`: rows of
    // the picture where there are any, black below them.
    ::testing::AssertionResult pane_shows(uint32_t index, int offset);
    // Whether every main-window pixel around the pane shows the skin.
    ::testing::AssertionResult skin_shown_around_pane();

    static HINSTANCE instance;
    HWND main_window = nullptr;
};

void dispatch(const MSG& msg);

template <typename Done>
void ViewerTest::run_loop(Done done, int timeout_ms)
{
    for (int waited = 0; !done() && waited < timeout_ms;) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            dispatch(msg);
        } else {
            Sleep(1);
            waited++;
        }
    }
}
