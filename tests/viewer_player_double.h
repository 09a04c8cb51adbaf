// A recording stand-in for the player's control interface, linked into the
// viewer tests in place of the player: every call is kept with its time, so
// a test can check what the viewer asked the player to do and when.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct PlayerCall {
    std::string operation;  // "start", "stop", "pause", "resume", "set_volume", "jump"
    uint32_t value;         // the level for set_volume, the flags for start, the position for jump
    const void* module;     // start only
    uintptr_t second;       // start only
    double at_ms;           // steady clock
};

extern std::vector<PlayerCall> player_calls;

// The calls of one operation, in order.
std::vector<PlayerCall> calls_of(const std::string& operation);
