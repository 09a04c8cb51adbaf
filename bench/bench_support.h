// What both benchmarks share: the modules to render and our renderer set up
// the way the player starts a song.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct BenchModule {
    std::string name;            // file name, or "embedded tune"
    std::vector<uint8_t> bytes;
};

// The embedded tune (when the build has it) followed by the corpus modules.
std::vector<BenchModule> bench_modules();

// Loads bytes through the memory source on a fresh per-song heap and resets
// the renderer's state as a start does (looping, unity volume, not paused).
// Returns false when the module does not load.
bool bench_start(const std::vector<uint8_t>& bytes);
// Destroys the per-song heap.
void bench_stop();
