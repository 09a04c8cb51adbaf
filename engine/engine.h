// The playback engine: the sequencer clock, the row tick, the later ticks,
// the channel update and the effect helpers. Plain computation on the song
// model (song/song.h); runs on the rendering thread only.
#pragma once

#include <stdint.h>

#include "engine/tempo.h"
#include "song/song.h"

// --- Sequencer (sequencer.cpp) ----------------------------------------------

// Runs one tick of the song and reloads song.tick_samples_left. Call only
// when tick_samples_left is 0. Returns false when the song has ended: the
// order list ran out by the normal advance while no_loop is set; the caller
// then runs the end-of-song stop and no further tick may run.
bool sequencer_tick(bool no_loop);

// --- Row tick (row.cpp) -----------------------------------------------------

void process_row();
void apply_volume_column(Channel* channel, uint8_t volume_column);

// --- Later ticks (tick_effects.cpp) -----------------------------------------

void tick_effects();

// --- Channel update (channel_update.cpp) ------------------------------------

enum EnvelopeKind : uint8_t { VOLUME_ENVELOPE = 0, PANNING_ENVELOPE = 1 };

void channel_update(Channel* channel, Sample* sample, const Instrument* instrument);
int32_t amiga_period(int32_t note_index, const Sample* sample);
void envelope_step(Channel* channel, const Instrument* instrument, EnvelopeKind kind);
void fadeout_step(Channel* channel, const Instrument* instrument);

// --- Effect helpers (effect_helpers.cpp) ------------------------------------

int32_t waveform_value(uint8_t* position, uint8_t speed, int8_t depth, uint8_t selector);
void vibrato_step(Channel* channel);
void tremolo_step(Channel* channel);
void tone_portamento_step(Channel* channel);
void tremor_step(Channel* channel);
