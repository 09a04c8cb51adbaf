// The SDL side of the window layer: one SDL window per top-level window,
// shaped by the window's region where the video driver can shape windows (a
// plain window otherwise, as under the dummy and offscreen drivers), the
// frame shown through the window surface, and SDL input turned into posted
// messages with virtual-key codes. Without any video (SDL cannot start) the
// windows still exist and draw into their frames; nothing is shown.
#include "platform/sdl/layer_internal.h"

#include <SDL.h>
#include <SDL_shape.h>

namespace layer {

static bool video_tried = false;
static bool video_ok = false;

static bool video()
{
    if (!video_tried) {
        video_tried = true;
        // Without this SDL may back the window surface with an OpenGL renderer,
        // re-creating the window without its shape and far off screen.
        // (Overriding the environment, which would otherwise win.)
        SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_OVERRIDE);
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        video_ok = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    }
    return video_ok;
}

bool host_display_available(const char** why)
{
    if (!video()) {
        *why = SDL_GetError();
        return false;
    }
    // SDL falls back to its offscreen driver when no screen can be reached;
    // that driver (or the dummy one) counts only when asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    bool headless = driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0);
    if (headless && !SDL_getenv("SDL_VIDEODRIVER")) {
        *why = "no screen could be reached";
        return false;
    }
    return true;
}

static SDL_Window* sdl_window(Window* w) { return static_cast<SDL_Window*>(w->host); }

static Window* window_of_sdl_id(Uint32 id)
{
    for (Window* w : top_level_windows()) {
        if (w->host && SDL_GetWindowID(sdl_window(w)) == id) return w;
    }
    return nullptr;
}

static void set_icon(Window* w)
{
    const Icon* icon = reinterpret_cast<const Icon*>(w->icon);
    if (!icon || icon->width <= 0) return;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(icon->argb.data()), icon->width, icon->height, 32, icon->width * 4,
        SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return;
    SDL_SetWindowIcon(sdl_window(w), surface);
    SDL_FreeSurface(surface);
}

void host_create(Window* w)
{
    if (!video()) return;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    bool popup = (w->style & WS_POPUP) != 0;
    if (popup) flags |= SDL_WINDOW_BORDERLESS;
    SDL_Window* window = nullptr;
    if (popup) window = SDL_CreateShapedWindow(w->title.c_str(), w->x, w->y, w->width, w->height, flags);
    w->host_shaped = window != nullptr;
    if (!window) window = SDL_CreateWindow(w->title.c_str(), w->x, w->y, w->width, w->height, flags);
    w->host = window;
    if (window) set_icon(w);
}

void host_destroy(Window* w)
{
    if (w->host) SDL_DestroyWindow(sdl_window(w));
    w->host = nullptr;
}

void host_set_shape(Window* w)
{
    if (!w->host || !w->host_shaped) return;
    SDL_Surface* mask = SDL_CreateRGBSurfaceWithFormat(0, w->width, w->height, 32, SDL_PIXELFORMAT_RGBA8888);
    if (!mask) return;
    std::vector<BYTE> alpha((size_t)w->width * w->height);
    layer_window_shape_mask(handle_of(w), alpha.data(), w->width, w->height);
    SDL_LockSurface(mask);
    for (int row = 0; row < w->height; row++) {
        Uint32* p = reinterpret_cast<Uint32*>(static_cast<Uint8*>(mask->pixels) + (size_t)row * mask->pitch);
        for (int col = 0; col < w->width; col++)
            p[col] = SDL_MapRGBA(mask->format, 255, 255, 255, alpha[(size_t)row * w->width + col]);
    }
    SDL_UnlockSurface(mask);
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeBinarizeAlpha;
    mode.parameters.binarizationCutoff = 128;
    // The shaped window is placed where it was asked for by its first shape.
    if (SDL_SetWindowShape(sdl_window(w), mask, &mode) != 0) w->host_shaped = false;
    SDL_FreeSurface(mask);
}

void host_show(Window* w, bool show)
{
    if (!w->host) return;
    if (show) {
        if (w->host_shaped && !w->region) host_set_shape(w);  // a shaped window appears only with a shape
        SDL_ShowWindow(sdl_window(w));
        SDL_RaiseWindow(sdl_window(w));
        w->frame_dirty = true;
    } else {
        SDL_HideWindow(sdl_window(w));
    }
}

void host_present(Window* w)
{
    if (!w->host) return;
    SDL_Surface* screen = SDL_GetWindowSurface(sdl_window(w));
    if (!screen) return;
    SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormatFrom(w->frame.data(), w->width, w->height, 32,
                                                            w->width * 4, SDL_PIXELFORMAT_RGB888);
    if (!frame) return;
    SDL_BlitSurface(frame, nullptr, screen, nullptr);
    SDL_FreeSurface(frame);
    SDL_UpdateWindowSurface(sdl_window(w));
}

bool host_screen_size(int* width, int* height)
{
    SDL_DisplayMode mode;
    if (!video() || SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
    *width = mode.w;
    *height = mode.h;
    return true;
}

void host_message_box(const char* text, const char* caption)
{
    if (video()) SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr);
}

// The virtual-key code of an SDL key; 0 for keys the layer does not report.
static WPARAM virtual_key(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return VK_NUMPAD0 + 1 + (key - SDLK_KP_1);
    switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    // The key with '=' and '+' is reported as EQUALS (and PLUS where a layout has its own).
    case SDLK_EQUALS: case SDLK_PLUS: return VK_OEM_PLUS;
    case SDLK_MINUS: return VK_OEM_MINUS;
    case SDLK_COMMA: return VK_OEM_COMMA;
    case SDLK_PERIOD: return VK_OEM_PERIOD;
    case SDLK_SEMICOLON: return VK_OEM_1;
    case SDLK_SLASH: return VK_OEM_2;
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    default: return 0;
    }
}

static void handle_event(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        Window* w = window_of_sdl_id(e.key.windowID);
        WPARAM vk = virtual_key(e.key.keysym.sym);
        if (!w || !vk) return;
        // Repeat count 1, the scan code in bits 16..23, bit 30 for an auto-repeat,
        // bits 30 and 31 for a release.
        LPARAM info = 1 | (LPARAM)(e.key.keysym.scancode & 0xFF) << 16;
        if (e.type == SDL_KEYUP) info |= (LPARAM)3 << 30;
        else if (e.key.repeat) info |= (LPARAM)1 << 30;
        post_message(w, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, vk, info);
        return;
    }
    case SDL_WINDOWEVENT: {
        Window* w = window_of_sdl_id(e.window.windowID);
        if (!w) return;
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) post_message(w, WM_CLOSE, 0, 0);
        if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) host_set_shape(w);  // resizing clears the shape
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
            w->frame_dirty = true;
        return;
    }
    case SDL_QUIT:
        for (Window* w : top_level_windows()) post_message(w, WM_CLOSE, 0, 0);
        return;
    default:
        return;
    }
}

void host_pump(int timeout_ms)
{
    if (!video()) {
        // Nothing can arrive: just let the time pass (a loop without timers polls slowly).
        SDL_Delay(timeout_ms < 0 ? 100 : (Uint32)timeout_ms);
        return;
    }
    SDL_Event e;
    bool got = timeout_ms == 0 ? SDL_PollEvent(&e) != 0
               : timeout_ms < 0 ? SDL_WaitEvent(&e) != 0
                                : SDL_WaitEventTimeout(&e, timeout_ms) != 0;
    while (got) {
        handle_event(e);
        got = SDL_PollEvent(&e) != 0;
    }
}

}  // namespace layer
