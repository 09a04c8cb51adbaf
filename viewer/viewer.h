// The viewer: the skin-shaped main window with its keyboard commands, and the
// picture pane inside it. Everything here runs on the user-interface thread.
#pragma once

#include <stdint.h>

#include "platform/win32.h"

// --- Main window (main_window.cpp) -----------------------------------------
constexpr int MAIN_WIDTH = 720;
constexpr int MAIN_HEIGHT = 700;
constexpr uint32_t INITIAL_VOLUME_LEVEL = 18;
constexpr uint32_t MAX_VOLUME_LEVEL = 25;

extern const char MAIN_CLASS_NAME[];  // "orn_m0"
extern const char MAIN_TITLE[];

// Viewer state, one instance for the run.
extern uint32_t current_picture;  // index into gallery, 0..13
extern uint32_t volume_level;     // level handed to player_set_volume, 0..25
extern uint32_t music_on;         // 1 while the music should be heard, 0 while paused with M
extern HWND picture_pane;         // the current pane
extern HBITMAP skin_bitmap;       // the skin, loaded with the main window

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Steps volume_level to target one level per 20 ms, telling the player each level.
void fade_volume_to(uint32_t target);
// Registers the main window class; 0 when that fails.
ATOM register_main_class(HINSTANCE instance);
// Creates the main window centred on the screen (its WM_CREATE runs inside).
HWND create_main_window(HINSTANCE instance);

// --- Picture pane (picture_pane.cpp) ----------------------------------------
constexpr int PANE_X = 40;
constexpr int PANE_Y = 40;
constexpr int PANE_WIDTH = 640;
constexpr int PANE_HEIGHT = 500;

extern const char PANE_CLASS_NAME[];  // "orn_m1"
extern const char PANE_TITLE[];

// Pane state, shared by every pane (one exists at a time).
struct PaneState {
    int32_t bitmap_id;           // resource id of the picture shown
    int32_t height;              // rows drawn and scrolled over
    HBITMAP picture;             // the loaded picture
    int32_t scroll_offset;       // where the picture's top is drawn, from the pane's top; 0 or below
    uint32_t autoscroll_started; // 1 once the first picture has scrolled by itself; stays 1
};
extern PaneState pane_state;

LRESULT CALLBACK picture_pane_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
