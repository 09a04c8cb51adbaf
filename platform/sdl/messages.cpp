// The message loop of the layer: the posted-message queue, WM_PAINT for
// windows with an update region, WM_TIMER for due timers, and the SDL input
// turned into messages. Like the system it stands in for, GetMessageA hands
// out posted messages first, then paints, then timers; before it waits it
// puts every window drawn since on screen.
#include "platform/sdl/layer_internal.h"

#include <algorithm>
#include <chrono>
#include <deque>

namespace layer {

struct Timer {
    Window* window;  // null for a timer of the thread
    UINT_PTR id;
    UINT period_ms;
    uint64_t due_ms;
    TIMERPROC proc;
};

static std::deque<MSG> queue;
static std::vector<Timer> timers;
static UINT_PTR next_thread_timer_id = 1;

static uint64_t now_ms()
{
    using namespace std::chrono;
    return (uint64_t)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void post_message(Window* w, UINT message, WPARAM wparam, LPARAM lparam)
{
    queue.push_back(MSG{w ? handle_of(w) : nullptr, message, wparam, lparam, (DWORD)now_ms(), POINT{0, 0}});
}

void kill_timers_of(Window* w)
{
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == w; }),
                 timers.end());
}

static Window* needing_paint(Window* w)
{
    if (!w->visible) return nullptr;
    if (!w->update.empty()) return w;
    for (Window* child : w->children) {
        if (Window* found = needing_paint(child)) return found;
    }
    return nullptr;
}

static bool take_message(MSG* msg, bool remove)
{
    if (!queue.empty()) {
        *msg = queue.front();
        if (remove) queue.pop_front();
        return true;
    }
    uint64_t now = now_ms();
    for (Window* top : top_level_windows()) {
        if (Window* w = needing_paint(top)) {
            *msg = MSG{handle_of(w), WM_PAINT, 0, 0, (DWORD)now, POINT{0, 0}};
            return true;
        }
    }
    for (Timer& t : timers) {
        if (t.due_ms > now) continue;
        *msg = MSG{t.window ? handle_of(t.window) : nullptr, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc),
                   (DWORD)now, POINT{0, 0}};
        // The next tick keeps the cadence; ticks missed while the program was
        // busy are not made up.
        if (remove) {
            t.due_ms += t.period_ms;
            if (t.due_ms <= now) t.due_ms = now + t.period_ms;
        }
        return true;
    }
    return false;
}

static void present_drawn_windows()
{
    for (Window* top : top_level_windows()) {
        if (top->frame_dirty && top->visible) {
            host_present(top);
            top->frame_dirty = false;
        }
    }
}

static int ms_to_next_timer()
{
    if (timers.empty()) return -1;
    uint64_t now = now_ms(), next = UINT64_MAX;
    for (const Timer& t : timers) next = std::min(next, t.due_ms);
    return next <= now ? 0 : (int)std::min<uint64_t>(next - now, 1u << 30);
}

}  // namespace layer

using namespace layer;

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = nullptr;
    if (hWnd && !(w = window_from(hWnd))) return FALSE;
    post_message(w, Msg, wParam, lParam);
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) { post_message(nullptr, WM_QUIT, (WPARAM)(LONG_PTR)nExitCode, 0); }

// The filters are not supported: every message of the thread is taken.
BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND, UINT, UINT)
{
    for (;;) {
        host_pump(0);
        if (take_message(lpMsg, true)) return lpMsg->message != WM_QUIT;
        present_drawn_windows();
        host_pump(ms_to_next_timer());
    }
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND, UINT, UINT, UINT wRemoveMsg)
{
    host_pump(0);
    if (take_message(lpMsg, (wRemoveMsg & PM_REMOVE) != 0)) return TRUE;
    present_drawn_windows();
    return FALSE;
}

// Character messages are not made: the programs over this layer read key-downs only.
BOOL WINAPI TranslateMessage(const MSG* lpMsg)
{
    return lpMsg && (lpMsg->message == WM_KEYDOWN || lpMsg->message == WM_KEYUP);
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg)
{
    if (!lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        TIMERPROC proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, (DWORD)now_ms());
        return 0;
    }
    return SendMessageA(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc)
{
    Window* w = nullptr;
    if (hWnd && !(w = window_from(hWnd))) return 0;
    if (!w) nIDEvent = next_thread_timer_id++;
    uElapse = std::max<UINT>(uElapse, 10);
    uElapse = std::min<UINT>(uElapse, 0x7FFFFFFF);
    Timer timer = {w, nIDEvent, uElapse, now_ms() + uElapse, lpTimerFunc};
    for (Timer& t : timers) {
        if (t.window == w && t.id == nIDEvent) {
            t = timer;
            return w ? (nIDEvent ? nIDEvent : 1) : nIDEvent;
        }
    }
    timers.push_back(timer);
    return w ? (nIDEvent ? nIDEvent : 1) : nIDEvent;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent)
{
    Window* w = reinterpret_cast<Window*>(hWnd);
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const Timer& t) { return t.window == w && t.id == uIDEvent; });
    if (it == timers.end()) return FALSE;
    timers.erase(it);
    return TRUE;
}
