// The later ticks of a row: for every channel, step the envelopes and the
// fade, run the volume column's continuous command and the later-tick part
// of the cell's effect, and end with channel_update. Runs on the rendering
// thread inside sequencer_tick; plain computation on the song model.
#include "engine/engine.h"

namespace {

// What a later-tick effect works on.
struct TickEffect {
    Channel* channel;
    const Cell* cell;
    Sample* sample;
};

using TickAction = void (*)(const TickEffect&);

uint8_t high_nibble(uint8_t value) { return uint8_t(value >> 4); }
uint8_t low_nibble(uint8_t value) { return uint8_t(value & 15); }

void do_nothing(const TickEffect&) {}

// Rxy's volume change by mode x, from volume v; not clamped. Products are
// formed in 64 bits and the result wraps to the 32-bit field.
int32_t retrigger_volume(uint8_t mode, int32_t v) {
    const int64_t w = v;
    switch (mode & 15) {
    case 1: return wrap_i32(w - 1);
    case 2: return wrap_i32(w - 2);
    case 3: return wrap_i32(w - 4);
    case 4: return wrap_i32(w - 8);
    case 5: return wrap_i32(w - 16);
    case 6: return wrap_i32(2 * w / 3);  // truncated toward zero
    case 7: return v >> 1;
    case 9: return wrap_i32(w + 1);
    case 10: return wrap_i32(w + 2);
    case 11: return wrap_i32(w + 4);
    case 12: return wrap_i32(w + 8);
    case 13: return wrap_i32(w + 16);
    case 14: return wrap_i32((3 * w) >> 1);
    case 15: return wrap_i32(2 * w);
    default: return v;  // 0 and 8: unchanged
    }
}

// 0xy: arpeggio. Tick 1, 2, 0 (mod 3) play x, y and 0 semitones up; the
// offset replaces any earlier one of this tick, except on the note itself.
void arpeggio(const TickEffect& e) {
    const uint8_t param = e.cell->param;
    if (param == 0) return;
    Channel* c = e.channel;
    const int32_t phase = song.tick % 3;
    if (phase != 0) {
        const int32_t k = phase == 1 ? high_nibble(param) : low_nibble(param);
        if (song.song_flags & LINEAR_FREQUENCIES) {
            c->period_delta = 64 * k;
        } else {
            const int32_t base = c->pitch_note;
            c->period_delta = amiga_period(base + k, e.sample) - amiga_period(base, e.sample);
        }
    }
    c->update_flags |= PITCH_CHANGED;
}

// 1xx, 2xx: portamento up and down; the period never goes below 1.
void portamento(Channel* c, int64_t change) {
    c->period = wrap_i32(c->period + change);
    if (c->period < 1) c->period = 1;
    c->period_delta = 0;
    c->update_flags |= PITCH_CHANGED;
}
void portamento_up(const TickEffect& e) { portamento(e.channel, -4 * int64_t(e.channel->porta_memory)); }
void portamento_down(const TickEffect& e) { portamento(e.channel, 4 * int64_t(e.channel->porta_memory)); }

// 3xx: tone portamento
void tone_portamento(const TickEffect& e) { tone_portamento_step(e.channel); }

// 4xy: vibrato
void vibrato(const TickEffect& e) { vibrato_step(e.channel); }

// Axy (and the slide of 5xy, 6xy): up by x, else down by y; not clamped.
void volume_slide(const TickEffect& e) {
    Channel* c = e.channel;
    const uint8_t memory = c->vol_slide_memory;
    if (high_nibble(memory) != 0) c->volume = wrap_i32(int64_t(c->volume) + high_nibble(memory));
    else c->volume = wrap_i32(int64_t(c->volume) - low_nibble(memory));
    c->update_flags |= VOLUME_CHANGED;
}

// 5xy: tone portamento + volume slide
void tone_portamento_volume_slide(const TickEffect& e) {
    tone_portamento_step(e.channel);
    volume_slide(e);
}

// 6xy: vibrato + volume slide
void vibrato_volume_slide(const TickEffect& e) {
    vibrato_step(e.channel);
    volume_slide(e);
}

// 7xy: tremolo
void tremolo(const TickEffect& e) { tremolo_step(e.channel); }

// The delayed note of EDy starts: as a note start with instrument, except
// that the panning stays and the envelope output survives only if audible.
void start_delayed_note(const TickEffect& e) {
    Channel* c = e.channel;
    c->fadeout_volume = 65536;
    c->volume = e.sample->volume;
    c->vol_env_output = c->vol_env_output > 9 ? 64 : 0;
    clear_note_start_group(c);
    if ((c->wave_control >> 4) < 4) c->trem_position = 0;
    if ((c->wave_control & 0x0F) < 4) c->vib_position = 0;
    c->period = c->note_period;
    c->update_flags |= PITCH_CHANGED | VOLUME_CHANGED | NOTE_TRIGGER;
    apply_volume_column(c, e.cell->volume_column);
}

// Exy on later ticks: E9y retrigger, ECy note cut, EDy note delay.
void extended(const TickEffect& e) {
    Channel* c = e.channel;
    const uint8_t y = low_nibble(e.cell->param);
    switch (high_nibble(e.cell->param)) {
    case 9:  // E9y: retrigger every y ticks; the volume is not changed
        if (y != 0 && song.tick % y == 0) c->update_flags |= PITCH_CHANGED | VOLUME_CHANGED | NOTE_TRIGGER;
        break;
    case 12:  // ECy: note cut at tick y
        if (song.tick == y) {
            c->volume = 0;
            c->update_flags |= VOLUME_CHANGED;
        }
        break;
    case 13:  // EDy: note delay; until and after tick y only the pitch is updated
        if (song.tick == y) start_delayed_note(e);
        else c->update_flags = 0;
        break;
    default:
        break;
    }
}

// Hxy: global volume slide, up by x, else down by y; not clamped, and no
// channel flag changes.
void global_volume_slide(const TickEffect&) {
    const uint8_t memory = song.global_volume_slide;
    if (high_nibble(memory) != 0) song.global_volume = wrap_i32(int64_t(song.global_volume) + high_nibble(memory));
    else song.global_volume = wrap_i32(int64_t(song.global_volume) - low_nibble(memory));
}

// Pxy: panning slide, right by x up to 255, else left by y down to 0.
void panning_slide(const TickEffect& e) {
    Channel* c = e.channel;
    const uint8_t memory = c->pan_slide_memory;
    if (high_nibble(memory) != 0) {
        const int64_t panning = int64_t(c->panning) + high_nibble(memory);
        c->panning = panning > 255 ? 255 : int32_t(panning);
    } else {
        const int64_t panning = int64_t(c->panning) - low_nibble(memory);
        c->panning = panning < 0 ? 0 : int32_t(panning);
    }
    c->update_flags |= PANNING_CHANGED;
}

// Rxy: multi retrigger every y' ticks, with the volume change of mode x'.
void multi_retrigger(const TickEffect& e) {
    Channel* c = e.channel;
    const uint8_t interval = c->retrig_interval;
    if (interval == 0 || song.tick % interval != 0) return;
    c->update_flags |= NOTE_TRIGGER;
    if (c->retrig_volume_mode == 0) return;
    c->update_flags |= VOLUME_CHANGED;
    c->volume = retrigger_volume(c->retrig_volume_mode, c->volume);
}

// Txy: tremor
void tremor(const TickEffect& e) { tremor_step(e.channel); }

// Later-tick actions of effects 0..29; from 30 on nothing happens on later
// ticks (Xxy included).
const TickAction tick_effect_table[30] = {
    arpeggio,                      // 0xy
    portamento_up,                 // 1xx
    portamento_down,               // 2xx
    tone_portamento,               // 3xx
    vibrato,                       // 4xy
    tone_portamento_volume_slide,  // 5xy
    vibrato_volume_slide,          // 6xy
    tremolo,                       // 7xy
    do_nothing,                    // 8xx set panning
    do_nothing,                    // 9xx sample offset
    volume_slide,                  // Axy
    do_nothing,                    // Bxx position jump
    do_nothing,                    // Cxx set volume
    do_nothing,                    // Dxy pattern break
    extended,                      // Exy
    do_nothing,                    // Fxx set speed / BPM
    do_nothing,                    // Gxx set global volume
    global_volume_slide,           // Hxy
    do_nothing,                    // I
    do_nothing,                    // J
    do_nothing,                    // Kxx key off: row tick only
    do_nothing,                    // Lxx envelope position: row tick only
    do_nothing,                    // M
    do_nothing,                    // N
    do_nothing,                    // O
    panning_slide,                 // Pxy
    do_nothing,                    // Q
    multi_retrigger,               // Rxy
    do_nothing,                    // S
    tremor,                        // Txy
};

// The volume column's continuous commands; the slides 6, 7, D and E also
// acted on the row tick. Nothing here is clamped.
void volume_column_tick(Channel* c, uint8_t v) {
    const uint8_t x = low_nibble(v);
    switch (high_nibble(v)) {
    case 0x6:  // slide down
        c->volume = wrap_i32(int64_t(c->volume) - x);
        c->update_flags |= VOLUME_CHANGED;
        break;
    case 0x7:  // slide up
        c->volume = wrap_i32(int64_t(c->volume) + x);
        c->update_flags |= VOLUME_CHANGED;
        break;
    case 0xB:  // vibrato with depth x (also 0)
        c->vib_depth = int8_t(x);
        vibrato_step(c);
        break;
    case 0xD:  // panning slide left
        c->panning = wrap_i32(int64_t(c->panning) - x);
        c->update_flags |= PANNING_CHANGED;
        break;
    case 0xE:  // panning slide right
        c->panning = wrap_i32(int64_t(c->panning) + x);
        c->update_flags |= PANNING_CHANGED;
        break;
    case 0xF:  // tone portamento
        tone_portamento_step(c);
        break;
    default:  // set volume, fine slides, vibrato speed, set panning: row tick only
        break;
    }
}

}  // namespace

void tick_effects() {
    const Pattern* pattern = current_pattern();
    // A pattern without cells suspends all per-tick work.
    if (!pattern->cells) return;
    for (int32_t k = 0; k < song.channel_count; ++k) {
        Channel* c = &song.channel_table[k];
        const Cell* cell = current_cell(pattern, k);
        const Instrument* instrument = select_instrument(c);
        Sample* sample = select_sample(c, instrument);

        c->volume_delta = 0;
        c->period_delta = 0;
        c->update_flags = 0;
        if (instrument->volume_type & ENVELOPE_ON) envelope_step(c, instrument, VOLUME_ENVELOPE);
        if (instrument->panning_type & ENVELOPE_ON) envelope_step(c, instrument, PANNING_ENVELOPE);
        fadeout_step(c, instrument);

        volume_column_tick(c, cell->volume_column);
        if (cell->effect <= 29) tick_effect_table[cell->effect]({c, cell, sample});

        channel_update(c, sample, instrument);
    }
}
