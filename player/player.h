// The player's control interface: a process-wide singleton that plays one
// module at a time. Every operation is called from the application's thread;
// the music is rendered on the player's own mixing thread.
#pragma once

#include <stdint.h>

// Start flags (only the low byte is looked at).
enum : uint32_t {
    PLAY_FROM_RESOURCE = 0,  // module: resource name or id; second: module handle (null = program)
    PLAY_FROM_MEMORY = 1,    // module: buffer address; second: size in bytes
    PLAY_FROM_FILE = 2,      // module: zero-terminated path; second: unused
    PLAY_NO_LOOP = 8,        // end at the end of the order list instead of looping
    PLAY_PAUSED = 16,        // load and run the device, but render silence until resume
};

// Stops whatever plays, then loads and starts the module. Returns a non-null
// token on success; null on failure and when module is null (a plain stop).
// second is pointer-sized so that a module handle fits on 64-bit hosts.
void* player_start(const void* module, uintptr_t second, uint32_t flags);
void player_stop();
void player_pause();
void player_resume();
// Level 0..25 (above 25, or negative, means 25); from the next rendered block.
void player_set_volume(uint32_t level);
// Continues at order position (low 16 bits; at or above song_length = 0), row 0, after the current row.
void player_jump_to_order(uint32_t position);
uint32_t player_get_levels();    // left << 16 | right mean magnitude of the latest block
uint32_t player_get_position();  // order << 16 | row of the block being heard
uint32_t player_get_time();      // milliseconds of music rendered since the start

// 26 levels: entry 0 is 1, entry k = 32768 x 10^((k - 25) / 10) rounded.
extern const uint16_t volume_table[26];
