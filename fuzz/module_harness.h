// Plays arbitrary bytes as a memory module, the way player_start loads one,
// and renders a bounded number of blocks from it. Shared by the libFuzzer
// target and the regression tests that replay the corpus and saved inputs.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Loads the bytes on a fresh per-song heap and, when they load, renders at
// most HARNESS_MAX_BLOCKS blocks in two passes: looping (with a jump to
// another order, a volume change and a pause) and without looping (with a
// jump, on to the song's end).
// Returns whether the bytes loaded. Leaves no heap behind.
bool play_module_bytes(const uint8_t* data, size_t size);

constexpr int HARNESS_MAX_BLOCKS = 64;
