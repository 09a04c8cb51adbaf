#include "tests/viewer_player_double.h"

#include <chrono>

#include "player/player.h"

std::vector<PlayerCall> player_calls;

static void record(const char* operation, uint32_t value, const void* module = nullptr, uintptr_t second = 0)
{
    using namespace std::chrono;
    double now = duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
    player_calls.push_back(PlayerCall{operation, value, module, second, now});
}

std::vector<PlayerCall> calls_of(const std::string& operation)
{
    std::vector<PlayerCall> out;
    for (const PlayerCall& c : player_calls) {
        if (c.operation == operation) out.push_back(c);
    }
    return out;
}

void* player_start(const void* module, uintptr_t second, uint32_t flags)
{
    record("start", flags, module, second);
    return nullptr;
}
void player_stop() { record("stop", 0); }
void player_pause() { record("pause", 0); }
void player_resume() { record("resume", 0); }
void player_set_volume(uint32_t level) { record("set_volume", level); }
void player_jump_to_order(uint32_t position) { record("jump", position); }
uint32_t player_get_levels() { return 0; }
uint32_t player_get_position() { return 0; }
uint32_t player_get_time() { return 0; }
