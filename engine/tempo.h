// set_tempo lives with the sequencer; the loader calls it once with the
// file's default BPM, so it has this small header of its own.
#pragma once

#include <stdint.h>

// samples_per_tick = 120000 / bpm (integer division), 120000 for bpm 0.
void set_tempo(uint32_t bpm);
