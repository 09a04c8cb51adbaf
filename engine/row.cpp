// The row tick: for every channel, latch the cell's note and instrument,
// compute the note's period, reset the channel for a new instrument, apply
// the volume column, key-off and the envelope steps, perform the row action
// of the cell's effect, and end with channel_update. Runs on the rendering
// thread inside sequencer_tick; plain computation on the song model.
#include "engine/engine.h"

namespace {

// The instrument that a song without that entry stands on: no samples (so
// every note selects empty_sample), both envelopes off, no fadeout.
const Instrument missing_instrument = {};

// The empty cell read for a row that the pattern does not have.
const Cell empty_cell = {};

// Set by Bxx, read by Dxy on a later channel of the same row tick.
bool position_jump_seen;

// What a row effect works on: the channel, the cell's parameter, the
// selected Sample and Instrument, and the channel's values as they were
// before this row touched them (EDy puts them back).
struct RowEffect {
    Channel* channel;
    uint8_t param;              // xy
    Sample* sample;
    const Instrument* instrument;
    int32_t row_start_period;
    int32_t row_start_volume;
    int32_t row_start_panning;
};

uint8_t high_nibble(uint8_t value) { return uint8_t(value >> 4); }
uint8_t low_nibble(uint8_t value) { return uint8_t(value & 15); }

// The period of note index n (0-based, relative note applied) on the
// song's frequency table.
int32_t note_period_of(int32_t n, const Sample* sample) {
    if (song.song_flags & LINEAR_FREQUENCIES) return 7680 - 64 * n - sample->finetune / 2;
    return amiga_period(n, sample);
}

void drop_flags(Channel* channel, uint8_t flags) {
    channel->update_flags = uint8_t(channel->update_flags & ~flags);
}

// 9xx: sample offset, with the selected Sample. An offset at or past the
// loop end starts no note and sends the playing voice back to the start of
// its sample.
void sample_offset(const RowEffect& e) {
    Channel* channel = e.channel;
    if (e.param != 0) channel->sample_offset_memory = uint32_t(e.param) * 256;
    const uint32_t end = e.sample->loop_start + e.sample->loop_length;
    Voice* voice = channel->voice;
    if (channel->sample_offset_memory < end) {
        voice->start_offset = int32_t(channel->sample_offset_memory);
        return;
    }
    drop_flags(channel, NOTE_TRIGGER);
    voice->position = 0;
    voice->fraction = 0;
    voice->start_offset = 0;
}

// Lxx: move the volume envelope walk to tick p. The point count is taken
// as at most the 12 stored points, whatever the file said.
void set_envelope_position(const RowEffect& e) {
    const Instrument* instrument = e.instrument;
    if (!(instrument->volume_type & ENVELOPE_ON)) return;
    Channel* channel = e.channel;
    const uint16_t p = e.param;
    const int32_t n = instrument->volume_point_count < ENVELOPE_POINTS
                          ? instrument->volume_point_count
                          : ENVELOPE_POINTS;
    const EnvelopePoint* points = instrument->volume_points;
    int32_t i = 0;
    while (i <= n - 2 && p > points[i + 1].x) ++i;
    if (i > n - 2) {
        // Past the last point: the walk has ended there.
        channel->vol_env_ended = 1;
        channel->vol_env_output = n > 0 ? points[n - 1].y : 0;
        return;
    }
    const int32_t x0 = points[i].x, y0 = points[i].y;
    const int32_t x1 = points[i + 1].x, y1 = points[i + 1].y;
    channel->vol_env_ended = 0;
    channel->vol_env_tick = p;
    // 16.16 slope per tick: the 32-bit product (y1 - y0) x 65536 divided by
    // the segment's width, truncated toward zero; 0 for equal x.
    const int32_t rise = wrap_i32(int64_t(y1 - y0) * 65536);
    channel->vol_env_slope = x1 == x0 ? 0 : wrap_i32(int64_t(rise) / (x1 - x0));
    // 16.16 value at tick p, in 32-bit arithmetic.
    channel->vol_env_value =
        wrap_i32(int64_t(y0) * 65536 + int64_t(p - x0) * channel->vol_env_slope);
    channel->vol_env_output = int32_t(uint32_t(channel->vol_env_value) >> 16);
    channel->vol_env_point = i + 1;
}

// --- Extended effects (Exy), row tick ---------------------------------------

using RowAction = void (*)(const RowEffect&);

void do_nothing(const RowEffect&) {}

// E1y: fine portamento up
void fine_porta_up(const RowEffect& e) {
    Channel* c = e.channel;
    if (low_nibble(e.param) != 0) c->fine_up_memory = low_nibble(e.param);
    c->period = wrap_i32(int64_t(c->period) - 4 * c->fine_up_memory);
}

// E2y: fine portamento down
void fine_porta_down(const RowEffect& e) {
    Channel* c = e.channel;
    if (low_nibble(e.param) != 0) c->fine_down_memory = low_nibble(e.param);
    c->period = wrap_i32(int64_t(c->period) + 4 * c->fine_down_memory);
}

// E4y: vibrato waveform control
void vibrato_control(const RowEffect& e) {
    Channel* c = e.channel;
    c->wave_control = uint8_t((c->wave_control & 0xF0) | low_nibble(e.param));
}

// E5y: set finetune. Changes the Sample record itself, for every channel
// and every later note that uses it.
void set_finetune(const RowEffect& e) { e.sample->finetune = int8_t(low_nibble(e.param)); }

// E6y: pattern loop
void pattern_loop(const RowEffect& e) {
    Channel* c = e.channel;
    const uint8_t y = low_nibble(e.param);
    if (y == 0) {
        c->pattern_loop_row = song.row;
        return;
    }
    if (c->pattern_loop_count == 0) {
        c->pattern_loop_count = y;
    } else {
        --c->pattern_loop_count;
        if (c->pattern_loop_count == 0) return;
    }
    song.next_row = c->pattern_loop_row;
}

// E7y: tremolo waveform control
void tremolo_control(const RowEffect& e) {
    Channel* c = e.channel;
    c->wave_control = uint8_t((c->wave_control & 0x0F) | (low_nibble(e.param) << 4));
}

// E8y: set panning
void set_coarse_panning(const RowEffect& e) {
    e.channel->panning = 16 * low_nibble(e.param);
    e.channel->update_flags |= PANNING_CHANGED;
}

// EAy, EBy: fine volume slide up and down; one signed memory for both, so
// EA0 and EB0 repeat the last fine slide in its own direction.
void fine_volume_slide(const RowEffect& e, int8_t direction_memory) {
    Channel* c = e.channel;
    if (low_nibble(e.param) != 0) c->fine_volume_memory = direction_memory;
    c->volume = wrap_i32(int64_t(c->volume) - c->fine_volume_memory);
}
void fine_volume_up(const RowEffect& e) { fine_volume_slide(e, int8_t(-low_nibble(e.param))); }
void fine_volume_down(const RowEffect& e) { fine_volume_slide(e, int8_t(low_nibble(e.param))); }

// EDy: note delay. The row's note, volume and panning changes do not reach
// the voice now; the later ticks start the note at tick y.
void note_delay(const RowEffect& e) {
    Channel* c = e.channel;
    c->period = e.row_start_period;
    c->volume = e.row_start_volume;
    c->panning = e.row_start_panning;
    c->update_flags = 0;
}

// EEy: pattern delay, in ticks of the speed in force now.
void pattern_delay(const RowEffect& e) { song.pattern_delay = low_nibble(e.param) * song.speed; }

// Entry x - 1 for E1y..EEy; E9y (retrigger) and ECy (note cut) act on the
// later ticks only, E3y (glissando) not at all.
const RowAction extended_effect_table[14] = {
    fine_porta_up,       // E1y
    fine_porta_down,     // E2y
    do_nothing,          // E3y glissando control
    vibrato_control,     // E4y
    set_finetune,        // E5y
    pattern_loop,        // E6y
    tremolo_control,     // E7y
    set_coarse_panning,  // E8y
    do_nothing,          // E9y retrigger: later ticks
    fine_volume_up,      // EAy
    fine_volume_down,    // EBy
    do_nothing,          // ECy note cut: later ticks
    note_delay,          // EDy
    pattern_delay,       // EEy
};

// --- Row effects (effects 1..33) ----------------------------------------------

// 1xx, 2xx: portamento up and down share one memory.
void porta_memory(const RowEffect& e) {
    if (e.param != 0) e.channel->porta_memory = e.param;
}

// The new note becomes the tone portamento's target instead of starting.
void aim_tone_portamento(Channel* c) {
    c->porta_target = c->note_period;
    drop_flags(c, PITCH_CHANGED | NOTE_TRIGGER);
}

// 3xx: tone portamento
void tone_portamento(const RowEffect& e) {
    if (e.param != 0) e.channel->porta_speed = e.param;
    aim_tone_portamento(e.channel);
}

// 4xy: vibrato, with its first step on the row tick
void vibrato(const RowEffect& e) {
    Channel* c = e.channel;
    if (high_nibble(e.param) != 0) c->vib_speed = high_nibble(e.param);
    if (low_nibble(e.param) != 0) c->vib_depth = int8_t(low_nibble(e.param));
    vibrato_step(c);
}

// Axy, 5xy, 6xy share the volume slide memory.
void volume_slide_memory(const RowEffect& e) {
    if (e.param != 0) e.channel->vol_slide_memory = e.param;
}

// 5xy: tone portamento + volume slide (porta_speed stays as it was)
void tone_portamento_volume_slide(const RowEffect& e) {
    volume_slide_memory(e);
    aim_tone_portamento(e.channel);
}

// 6xy: vibrato + volume slide, one vibrato step with the stored speed and depth
void vibrato_volume_slide(const RowEffect& e) {
    volume_slide_memory(e);
    vibrato_step(e.channel);
}

// 7xy: tremolo; no tremolo step on the row tick
void tremolo(const RowEffect& e) {
    Channel* c = e.channel;
    if (high_nibble(e.param) != 0) c->trem_speed = high_nibble(e.param);
    if (low_nibble(e.param) != 0) c->trem_depth = int8_t(low_nibble(e.param));
}

// 8xx: set panning
void set_panning(const RowEffect& e) {
    e.channel->panning = e.param;
    e.channel->update_flags |= PANNING_CHANGED;
}

// Bxx: position jump; past the end of the order list it wraps to 0.
void position_jump(const RowEffect& e) {
    song.next_row = 0;
    song.next_order = e.param < song.song_length ? int32_t(e.param) : 0;
    position_jump_seen = true;
}

// Cxx: set volume, not clamped
void set_volume(const RowEffect& e) { e.channel->volume = e.param; }

// Dxy: pattern break to row 10x + y, any nibbles (D0F is row 15). A jump on
// an earlier channel of this row keeps its order position.
void pattern_break(const RowEffect& e) {
    song.next_row = 10 * high_nibble(e.param) + low_nibble(e.param);
    if (position_jump_seen) return;
    const int32_t next = song.order + 1;
    song.next_order = next < song.song_length ? next : 0;
}

// Exy: extended effects, by x
void extended(const RowEffect& e) {
    const uint8_t x = high_nibble(e.param);
    if (x >= 1 && x <= 14) extended_effect_table[x - 1](e);
}

// Fxx: speed below 0x20 (0 included), BPM from 0x20 on
void set_speed_or_bpm(const RowEffect& e) {
    if (e.param < 0x20) song.speed = e.param;
    else set_tempo(e.param);
}

// Gxx: set global volume, not clamped
void set_global_volume(const RowEffect& e) { song.global_volume = e.param; }

// Hxy: global volume slide; one memory for the whole song
void global_volume_slide(const RowEffect& e) {
    if (e.param != 0) song.global_volume_slide = e.param;
}

// Lxx: set envelope position (step 11 has already stepped the envelope;
// this overrides its result)
void envelope_position(const RowEffect& e) { set_envelope_position(e); }

// Pxy: panning slide; a zero parameter adds no flag
void panning_slide(const RowEffect& e) {
    if (e.param == 0) return;
    e.channel->pan_slide_memory = e.param;
    e.channel->update_flags |= PANNING_CHANGED;
}

// Rxy: multi retrigger; both nibbles are stored, even a zero one
void multi_retrigger(const RowEffect& e) {
    if (e.param == 0) return;
    e.channel->retrig_volume_mode = high_nibble(e.param);
    e.channel->retrig_interval = low_nibble(e.param);
}

// Txy: tremor, with one step on the row tick also for a zero parameter
void tremor(const RowEffect& e) {
    Channel* c = e.channel;
    if (e.param != 0) {
        c->tremor_on = high_nibble(e.param);
        c->tremor_off = low_nibble(e.param);
    }
    tremor_step(c);
}

// Xxy: extra fine portamento, X1y up and X2y down
void extra_fine_porta(const RowEffect& e) {
    Channel* c = e.channel;
    const uint8_t y = low_nibble(e.param);
    switch (high_nibble(e.param)) {
    case 1:
        if (y != 0) c->xfine_up_memory = y;
        c->period = wrap_i32(int64_t(c->period) - c->xfine_up_memory);
        break;
    case 2:
        if (y != 0) c->xfine_down_memory = y;
        c->period = wrap_i32(int64_t(c->period) + c->xfine_down_memory);
        break;
    default:
        break;
    }
}

// Entry effect - 1 for effects 1..33 (arpeggio, effect 0, has no row action).
// Kxx's key release happens in the key-off step for any parameter.
const RowAction row_effect_table[33] = {
    porta_memory,                  // 1xx portamento up
    porta_memory,                  // 2xx portamento down
    tone_portamento,               // 3xx
    vibrato,                       // 4xy
    tone_portamento_volume_slide,  // 5xy
    vibrato_volume_slide,          // 6xy
    tremolo,                       // 7xy
    set_panning,                   // 8xx
    sample_offset,                 // 9xx
    volume_slide_memory,           // Axy
    position_jump,                 // Bxx
    set_volume,                    // Cxx
    pattern_break,                 // Dxy
    extended,                      // Exy
    set_speed_or_bpm,              // Fxx
    set_global_volume,             // Gxx
    global_volume_slide,           // Hxy
    do_nothing,                    // I
    do_nothing,                    // J
    do_nothing,                    // Kxx key off
    envelope_position,             // Lxx
    do_nothing,                    // M
    do_nothing,                    // N
    do_nothing,                    // O
    panning_slide,                 // Pxy
    do_nothing,                    // Q
    multi_retrigger,               // Rxy
    do_nothing,                    // S
    tremor,                        // Txy
    do_nothing,                    // U
    do_nothing,                    // V
    do_nothing,                    // W
    extra_fine_porta,              // Xxy
};

// A new instrument number resets the channel to the selected Sample,
// without restarting the sample.
void reset_to_sample(Channel* c, const Sample* sample) {
    c->volume = sample->volume;
    c->panning = sample->panning;
    c->vol_env_output = 64;
    c->pan_env_output = 32;
    c->fadeout_volume = 65536;
    clear_note_start_group(c);
    if ((c->wave_control & 0x0F) < 4) c->vib_position = 0;
    if ((c->wave_control >> 4) < 4) c->trem_position = 0;
    c->update_flags |= VOLUME_CHANGED | PANNING_CHANGED;
}

void process_channel(Channel* c, const Cell* cell) {
    const bool tone_porta = cell->effect == 3 || cell->effect == 5 || cell->volume_column >= 0xF0;
    const bool has_note = cell->note >= 1 && cell->note <= 96;

    // Latch note and instrument (a tone portamento keeps the old ones).
    if (!tone_porta) {
        if (cell->instrument >= 1 && cell->instrument <= 128) c->instrument = uint8_t(cell->instrument - 1);
        if (has_note) c->note = uint8_t(cell->note - 1);
    }
    const Instrument* instrument = select_instrument(c);
    Sample* sample = select_sample(c, instrument);
    const RowEffect e = {c, cell->param, sample, instrument, c->period, c->volume, c->panning};

    // Tremolo end: the last tremolo offset stays in the volume.
    if (cell->effect != 7 && c->previous_effect == 7) c->volume = wrap_i32(int64_t(c->volume) + c->volume_delta);
    c->previous_effect = cell->effect;

    c->volume_delta = 0;
    c->period_delta = 0;
    c->update_flags = PITCH_CHANGED | VOLUME_CHANGED;

    if (has_note) {
        const int32_t n = (cell->note - 1) + sample->relative_note;
        c->pitch_note = uint8_t(n);
        c->note_period = note_period_of(n, sample);
        if (!tone_porta) c->period = c->note_period;
        c->update_flags |= NOTE_TRIGGER;
    }
    if (cell->instrument != 0) reset_to_sample(c, sample);

    apply_volume_column(c, cell->volume_column);

    // Key-off: note 97 and above, or Kxx with any parameter.
    if (cell->note >= 97 || cell->effect == 20) ++c->key_released;

    if (instrument->volume_type & ENVELOPE_ON) envelope_step(c, instrument, VOLUME_ENVELOPE);
    else if (c->key_released != 0) c->vol_env_output = 0;
    if (instrument->panning_type & ENVELOPE_ON) envelope_step(c, instrument, PANNING_ENVELOPE);
    if (c->key_released != 0) fadeout_step(c, instrument);

    if (cell->effect >= 1 && cell->effect <= 33) row_effect_table[cell->effect - 1](e);

    channel_update(c, sample, instrument);
}

}  // namespace

const Pattern* current_pattern() { return &song.pattern_table[song.order_table[song.order]]; }

const Cell* current_cell(const Pattern* pattern, int32_t k) {
    if (song.row < 0 || song.row >= pattern->rows) return &empty_cell;
    return &pattern->cells[song.row * song.channel_count + k];
}

const Instrument* select_instrument(const Channel* channel) {
    // Only the low byte of the header's count is used.
    const int32_t count = song.instrument_count & 0xFF;
    if (channel->instrument >= count) return &missing_instrument;
    return &song.instrument_table[channel->instrument];
}

Sample* select_sample(const Channel* channel, const Instrument* instrument) {
    if (channel->note >= 96) return &empty_sample;
    const uint8_t s = instrument->sample_map[channel->note];
    if (s >= 16 || !instrument->samples[s]) return &empty_sample;
    return instrument->samples[s];
}

void clear_note_start_group(Channel* c) {
    c->vol_env_tick = 0;
    c->vol_env_point = 0;
    c->vol_env_slope = 0;
    c->pan_env_tick = 0;
    c->pan_env_point = 0;
    c->pan_env_slope = 0;
    c->autovib_sweep = 0;
    c->autovib_position = 0;
    c->key_released = 0;
    c->vol_env_ended = 0;
    c->pan_env_ended = 0;
}

void apply_volume_column(Channel* c, uint8_t v) {
    const uint8_t y = low_nibble(v);
    switch (high_nibble(v)) {
    case 0x1: case 0x2: case 0x3: case 0x4: case 0x5:
        // 0x10..0x50: set volume 0..64; 0x51..0x5F do nothing
        if (v <= 0x50) c->volume = v - 0x10;
        break;
    case 0x6:  // slide down, also on the row tick
        c->volume = wrap_i32(int64_t(c->volume) - y);
        break;
    case 0x7:  // slide up, also on the row tick
        c->volume = wrap_i32(int64_t(c->volume) + y);
        break;
    case 0x8:  // fine slide down
        c->volume = wrap_i32(int64_t(c->volume) - y);
        break;
    case 0x9:  // fine slide up
        c->volume = wrap_i32(int64_t(c->volume) + y);
        break;
    case 0xA:  // vibrato speed (0 included)
        c->vib_speed = y;
        break;
    case 0xB:  // vibrato depth (0 included); the vibrato runs on later ticks
        c->vib_depth = int8_t(y);
        break;
    case 0xC:  // set panning
        c->panning = 16 * y;
        c->update_flags |= PANNING_CHANGED;
        break;
    case 0xD:  // panning slide left, not clamped
        c->panning = wrap_i32(int64_t(c->panning) - y);
        c->update_flags |= PANNING_CHANGED;
        break;
    case 0xE:  // panning slide right, not clamped
        c->panning = wrap_i32(int64_t(c->panning) + y);
        c->update_flags |= PANNING_CHANGED;
        break;
    case 0xF:  // tone portamento; the speed memory is shared with 3xx
        if (y != 0) c->porta_speed = uint8_t(16 * y);
        c->porta_target = c->note_period;
        drop_flags(c, NOTE_TRIGGER);
        break;
    default:  // 0x00..0x0F
        break;
    }
}

void process_row() {
    position_jump_seen = false;
    const Pattern* pattern = current_pattern();
    // A pattern without cells does no channel work at all.
    if (!pattern->cells) return;
    for (int32_t k = 0; k < song.channel_count; ++k)
        process_channel(&song.channel_table[k], current_cell(pattern, k));
}
