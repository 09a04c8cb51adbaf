// The song model: the one Song record, its Patterns and Cells, Instruments
// with their envelopes, Samples, and the per-channel Channel and Voice
// records that the whole playback path shares.
//
// Plain records, no platform types. The loader (xm_loader.cpp) builds the
// model on the per-song heap; the engine and the mixer read and write it on
// the rendering thread only, except for next_order / next_row, which the
// application's thread may store through player_jump_to_order.
#pragma once

#include <atomic>
#include <stdint.h>

// --- Cells and patterns -----------------------------------------------------

struct Cell {
    uint8_t note;           // 0 none, 1..96 notes, 97 key off; other values kept as read
    uint8_t instrument;     // 0 none, else 1-based; above instrument_count -> 0 at load
    uint8_t volume_column;  // XM volume-column byte, as read
    uint8_t effect;         // 0..35 for 0-9, A-Z; as read
    uint8_t param;          // effect parameter xy
};
static_assert(sizeof(Cell) == 5, "cells are five bytes back to back");

struct Pattern {
    uint16_t rows;          // rows of the pattern, as read (any value when cells is null)
    uint16_t packed_size;   // packed data size from the file; not used after loading
    Cell* cells;            // rows x channel_count cells, row by row; null = no cell data
};

// --- Samples ----------------------------------------------------------------

enum : uint8_t {
    LOOP_NONE = 0,
    LOOP_FORWARD = 1,
    LOOP_PINGPONG = 2,
    // 3 is kept as read: played unlooped, but the voice stops at the loop end
};

constexpr uint32_t MAX_SAMPLE_LENGTH = 4194304;  // 2^22: lengths at or above fail the load

struct Sample {
    uint32_t length;        // samples (16-bit byte length halved), below MAX_SAMPLE_LENGTH
    uint32_t loop_start;    // first sample of the loop; 0 when unlooped
    uint32_t loop_length;   // samples in the loop, >= 1 when looped; = length when unlooped
    uint8_t volume;         // default volume, as read (not clamped)
    int8_t finetune;        // 1/128 semitone; E5y overwrites it while playing
    uint8_t is_16bit;       // 1 if the file's data was 16-bit
    uint8_t panning;        // default panning, as read
    int8_t relative_note;   // transpose in semitones
    uint8_t packing;        // the header's reserved byte; 0xAD = 4-bit delta packed
    uint8_t loop_type;      // LOOP_NONE, LOOP_FORWARD, LOOP_PINGPONG, or 3
    int16_t* data;          // length + 3 signed 16-bit values, in the same heap block
};

// The all-zero sample that stands for a missing one: length 0, LOOP_NONE,
// three zero data values. Shared by every song; see song_load for finetune.
extern Sample empty_sample;

// --- Instruments ------------------------------------------------------------

enum : uint8_t {
    ENVELOPE_ON = 1,
    ENVELOPE_SUSTAIN = 2,
    ENVELOPE_LOOP = 4,
};

constexpr int ENVELOPE_POINTS = 12;  // points stored per envelope, whatever the count says

struct EnvelopePoint {
    uint16_t x;             // tick position
    uint16_t y;             // value, nominally 0..64 (not validated)
};

struct Instrument {
    Sample* samples[16];              // file order; null beyond the sample count
    uint8_t sample_map[96];           // sample number for notes 1..96 (entry note - 1), as read
    EnvelopePoint volume_points[ENVELOPE_POINTS];
    EnvelopePoint panning_points[ENVELOPE_POINTS];
    uint8_t volume_point_count;       // as read (may exceed ENVELOPE_POINTS)
    uint8_t panning_point_count;      // as read
    uint8_t volume_sustain;           // point indices, as read
    uint8_t volume_loop_start;
    uint8_t volume_loop_end;
    uint8_t panning_sustain;
    uint8_t panning_loop_start;
    uint8_t panning_loop_end;
    uint8_t volume_type;              // ENVELOPE_* bits; 0 when fewer than 2 points
    uint8_t panning_type;             // ENVELOPE_* bits; 0 when fewer than 2 points
    uint8_t vibrato_type;             // auto-vibrato waveform, as read
    uint8_t vibrato_sweep;
    uint8_t vibrato_depth;
    uint8_t vibrato_rate;
    uint16_t fadeout;                 // twice the file's value, kept to 16 bits
};

// --- Voices and channels ----------------------------------------------------

// What channel_update must recompute on this tick (Channel::update_flags).
enum : uint8_t {
    PITCH_CHANGED = 1,
    VOLUME_CHANGED = 2,
    PANNING_CHANGED = 4,
    NOTE_TRIGGER = 8,
};

// One sounding sample for the mixer. Two per channel: voices 2j and 2j+1
// belong to channel j. The channel update writes the targets and the step
// once per tick; the mixer owns position, direction and the ramps.
struct Voice {
    int32_t final_volume;    // 0..127, composed by the channel update (mixer does not read it)
    int32_t final_panning;   // 0 left .. 255 right
    int32_t start_offset;    // sample index where the next note start begins
    int32_t right_volume;    // target, 0..127
    int32_t left_volume;     // target, 0..127
    int32_t position;        // whole part of the play position (signed 32.32 with fraction)
    uint64_t step;           // 32.32: samples advanced per output frame
    uint32_t ramp_targets;   // (left_volume << 16) | right_volume when the ramp was planned
    int32_t right_delta;     // added to current_right after every ramp frame (1/128 units)
    int32_t left_delta;      // added to current_left after every ramp frame (1/128 units)
    const Sample* sample;    // null = idle voice
    uint32_t fraction;       // fractional play position, units of 2^-32 sample
    int32_t current_right;   // right volume now applied, 1/128 units (128 x target when settled)
    int32_t current_left;    // left volume now applied, 1/128 units
    uint16_t ramp_frames;    // frames left in the running ramp; 0 = none
    uint8_t direction;       // 0 forward, 1 backward (ping-pong only)
};

struct Channel {
    uint8_t note;                  // latched note 0..95
    uint8_t update_flags;          // PITCH_CHANGED | VOLUME_CHANGED | PANNING_CHANGED | NOTE_TRIGGER
    uint8_t instrument;            // latched instrument index, 0-based
    Voice* voice;                  // the voice of the pair that sounds the channel now
    int32_t period;                // linear or Amiga scale per LINEAR_FREQUENCIES
    int32_t volume;                // nominal 0..64, not clamped by effects
    int32_t volume_delta;          // volume offset of this tick (tremolo, tremor)
    int32_t period_delta;          // period offset of this tick (vibrato, arpeggio, auto-vibrato)
    int32_t panning;               // nominal 0 left .. 255 right, not clamped by effects
    // note-start group: cleared together at a note start with instrument
    int32_t vol_env_tick;          // volume envelope walk: position in ticks
    int32_t vol_env_point;         // index of the point the walk heads for
    int32_t vol_env_slope;         // 16.16 increment per tick
    int32_t pan_env_tick;
    int32_t pan_env_point;
    int32_t pan_env_slope;         // 16.16
    int32_t autovib_sweep;         // auto-vibrato sweep counter, 0..sweep
    int32_t autovib_position;      // auto-vibrato position 0..255
    uint8_t key_released;          // key-off counter (8-bit wrap); nonzero = released
    uint8_t vol_env_ended;         // nonzero once the volume walk reached its last point
    uint8_t pan_env_ended;         // nonzero once the panning walk reached its last point
    // end of the note-start group
    int32_t vol_env_value;         // 16.16
    int32_t vol_env_output;        // 0..64
    int32_t fadeout_volume;        // 0..65536, 65536 = no fade
    int32_t pan_env_value;         // 16.16
    int32_t pan_env_output;        // 0..64, 32 neutral
    int32_t note_period;           // period of the last note in the channel's cells
    uint32_t sample_offset_memory; // last nonzero 9xx parameter x 256
    int32_t porta_target;          // tone portamento target period
    uint8_t pattern_loop_count;    // E6y repetitions still to play; 0 = none running
    int32_t pattern_loop_row;      // row of the last E60
    uint8_t pitch_note;            // low 8 bits of (note - 1 + relative_note): arpeggio base
    uint8_t previous_effect;       // effect number of the previous row (tremolo end)
    uint8_t porta_memory;          // 1xx / 2xx
    uint8_t xfine_down_memory;     // X2y
    uint8_t xfine_up_memory;       // X1y
    uint8_t vol_slide_memory;      // Axy, 5xy, 6xy
    uint8_t pan_slide_memory;      // Pxy
    uint8_t retrig_volume_mode;    // x of Rxy
    uint8_t retrig_interval;       // y of Rxy
    uint8_t porta_speed;           // 3xx and the volume column's tone portamento
    uint8_t vib_position;          // 0..63
    uint8_t vib_speed;
    int8_t vib_depth;
    uint8_t trem_position;         // 0..63
    uint8_t trem_speed;
    int8_t trem_depth;
    uint8_t tremor_count;          // never reset by a note start
    uint8_t tremor_on;             // x of Txy
    uint8_t tremor_off;            // y of Txy
    uint8_t wave_control;          // low nibble vibrato control (E4y), high nibble tremolo (E7y)
    int8_t fine_volume_memory;     // EAy stores -y, EBy stores +y
    uint8_t fine_up_memory;        // E1y
    uint8_t fine_down_memory;      // E2y
};

// --- The song record --------------------------------------------------------

enum : uint16_t { LINEAR_FREQUENCIES = 1 };

// One static record, reused by every load. The header values keep their XM
// meaning; the sequencer fields are the clock's state (engine/sequencer.cpp).
struct Song {
    Pattern* pattern_table;          // pattern_count entries
    Instrument* instrument_table;    // instrument_count (low byte) records
    int32_t tick_samples_left;       // output frames before the next tick
    int32_t global_volume;           // nominal 0..64, not clamped by effects
    int32_t tick;                    // tick within the row, 0 = row tick
    int32_t speed;                   // ticks per row (0 behaves as 1)
    int32_t order;                   // current order position
    int32_t row;                     // current row
    int32_t pattern_delay;           // extra ticks of the current row (EEy)
    // Jump targets: -1 = none. Written by the row tick and, from the
    // application's thread, by player_jump_to_order (next_row first).
    std::atomic<int32_t> next_order;
    std::atomic<int32_t> next_row;
    int32_t channel_count;           // 1..64
    Voice* voice_table;              // 2 x channel_count voices
    Channel* channel_table;          // channel_count channels; also where the voices end
    int32_t samples_per_tick;        // output frames per tick, >= 1 (set_tempo)
    uint16_t song_length;            // order entries played, 1..256
    uint16_t restart_position;       // as read; not below song_length means 0
    uint8_t file_channel_count;      // low byte of the file's channel count
    uint8_t global_volume_slide;     // Hxy memory (the channel count's high byte at load)
    uint16_t pattern_count;          // Pattern entries (file count or highest ordered + 1)
    uint16_t instrument_count;       // the low byte of the file's count (the only part used)
    uint16_t song_flags;             // LINEAR_FREQUENCIES
    uint16_t default_speed;          // read only while loading
    uint16_t default_bpm;            // read only while loading
    uint8_t order_table[256];        // pattern number of each order position
};

extern Song song;

// --- Loading ----------------------------------------------------------------

// Builds the song model from the selected module source (module_source.h):
// opens the source, reads it front to back and allocates everything on the
// per-song heap through song_alloc. Returns nonzero on success, 0 on failure.
// It does not close the source; the caller does, whatever the result.
int song_load();

// The per-song heap that song_alloc draws from (HeapCreate'd by the caller).
void song_set_heap(void* heap);

// A zero-filled block of size bytes from the per-song heap, or null.
void* song_alloc(uint32_t size);
