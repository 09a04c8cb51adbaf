// The playback engine: the sequencer clock, the row tick, the later ticks,
// the channel update and the effect helpers. Plain computation on the song
// model (song/song.h); runs on the rendering thread only.
#pragma once

#include <stdint.h>

#include "engine/tempo.h"
#include "song/song.h"

// A 32-bit field's two's-complement wrap of a wider result: the fields that
// effects move without limit wrap like the machine words they are, with no
// signed overflow in the arithmetic that leads there.
inline int32_t wrap_i32(int64_t value) { return int32_t(uint32_t(uint64_t(value))); }

// --- Sequencer (sequencer.cpp) ----------------------------------------------

// Runs one tick of the song and reloads song.tick_samples_left. Call only
// when tick_samples_left is 0. Returns false when the song has ended: the
// order list ran out by the normal advance while no_loop is set; the caller
// then runs the end-of-song stop and no further tick may run.
bool sequencer_tick(bool no_loop);

// --- Row tick (row.cpp) -----------------------------------------------------

void process_row();
void apply_volume_column(Channel* channel, uint8_t volume_column);

// Shared by the row tick and the later ticks.
// The Pattern that the order list names at the current order position.
const Pattern* current_pattern();
// The cell of channel k in the current row; a row the pattern does not have
// (a break or loop to a missing row) reads as an empty cell.
const Cell* current_cell(const Pattern* pattern, int32_t k);
// The channel's Instrument: its latched index, or an all-zero instrument
// (no samples, envelopes off, no fadeout) when the song has no such entry.
const Instrument* select_instrument(const Channel* channel);
// The Sample the instrument maps the channel's note to, or empty_sample.
Sample* select_sample(const Channel* channel, const Instrument* instrument);
// Clears the note-start group: both envelope walks, the auto-vibrato
// counters and key_released.
void clear_note_start_group(Channel* channel);

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
