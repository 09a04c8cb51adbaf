// set_tempo: the tick length in output frames for a BPM.
#include "engine/tempo.h"

#include "song/song.h"

void set_tempo(uint32_t bpm) {
    // A tick lasts 2.5 / bpm seconds: 120000 frames at 48000 per second.
    song.samples_per_tick = bpm == 0 ? 120000 : int32_t(120000u / bpm);
}
