// The channel update: once per tick and channel it turns the Channel's state
// into the parameters of the Voice that sounds it (auto-vibrato, note
// trigger with the voice-pair switch, volume, panning, pitch). Also the
// three per-tick helpers the row and later-tick passes call: amiga_period,
// envelope_step and fadeout_step.
//
// Runs on the rendering thread only. Plain computation: standard library
// and the song model, nothing else. Integer arithmetic throughout except
// the two powers of two of the pitch computation.
#include <math.h>
#include <stddef.h>
#include <stdint.h>

#include "engine/engine.h"
#include "song/song.h"

namespace {

constexpr int32_t OUTPUT_RATE = 48000;              // frames per second
constexpr int64_t AMIGA_CLOCK = 14317456;           // 8363 x 1712
constexpr double LINEAR_BASE_FREQUENCY = 8363.0;    // Hz at linear period 4608
constexpr int64_t LINEAR_BASE_PERIOD = 4608;
constexpr double AMIGA_PERIOD_BASE = 13.375;        // period of note index 132
constexpr int64_t LOWEST_FREQUENCY = 40;            // for a period plus delta <= 0
constexpr int64_t FULL_VOLUME_PRODUCT = 1044480;    // 255 x 64 x 64
constexpr int64_t PAN_SCALE = 255;

// The two exponent factors are single-precision values, widened to double:
// the pitch of every note depends on their exact bits. For every note index
// from -200 to 400 and every linear exponent up to 12000 the exact power
// lies thousands of double ulps away from a rounding tie, so any accurate
// exp2 (x87 or SSE) rounds it to the same integer.
constexpr float SEMITONE_FACTOR = 1.0f / 12.0f;     // 0.0833333358168602
constexpr float LINEAR_FACTOR = 1.0f / 768.0f;      // 0.0013020833721384406

// The highest frequency the 32.32 step can hold (whole part below 2^32).
// Only absurd periods (portamento run for hours, huge deltas) get near it.
constexpr int64_t HIGHEST_FREQUENCY = int64_t(OUTPUT_RATE) * (int64_t(1) << 32) - 1;

// Auto-vibrato quarter sine: round(64 x sin(pi x i / 128)), i = 0..64.
const uint8_t autovib_sine[65] = {
    0,  2,  3,  5,  6,  8,  9,  11, 12, 14, 16, 17, 19, 20, 22, 23, 24,
    26, 27, 29, 30, 32, 33, 34, 36, 37, 38, 39, 41, 42, 43, 44, 45, 46,
    47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 56, 57, 58, 59, 59, 60, 60,
    61, 61, 62, 62, 62, 63, 63, 63, 64, 64, 64, 64, 64, 64};

// Stands in for a missing instrument: no envelopes, no vibrato, no fadeout.
const Instrument no_instrument = {};

const Instrument& instrument_or_none(const Instrument* instrument) {
    return instrument ? *instrument : no_instrument;
}

// A double rounded to the nearest integer, halves to even, held inside
// [low, high] so the conversion is always defined (NaN gives low).
int64_t round_even_clamped(double x, int64_t low, int64_t high) {
    if (!(x > double(low))) return low;
    if (x >= double(high)) return high;
    return int64_t(nearbyint(x));  // default rounding mode: to nearest, ties to even
}

// P(k) = 13.375 x 2^((132 - k) x 1/12) rounded, halves to even. Note
// indices far below the scale (k < -140 or so) would exceed 32 bits; they
// are held at INT32_MAX.
int64_t note_period(int64_t k) {
    double power = exp2(double(132 - k) * double(SEMITONE_FACTOR));
    return round_even_clamped(AMIGA_PERIOD_BASE * power, 0, INT32_MAX);
}

// --- Stage 1: auto-vibrato --------------------------------------------------

// Waveform value -64..64 at position p (0..255) for the instrument's type.
int32_t autovib_waveform(uint8_t type, int32_t p) {
    switch (type) {
    case 0: {  // sine
        int32_t i = p % 128;
        if (i > 64) i = 128 - i;
        return p >= 128 ? -int32_t(autovib_sine[i]) : int32_t(autovib_sine[i]);
    }
    case 1:  // square
        return p < 128 ? 64 : -64;
    case 2:  // falling ramp: 0 at 0, -64 at 127, +64 at 128, 0 at 255
        return (128 - ((p - 128) & 255)) >> 1;
    default:  // 3 and above, rising ramp: 0 at 0, 63 at 127, 64 at 128, -64 at 129
        return (128 - ((128 - p) & 255)) >> 1;
    }
}

void auto_vibrato(Channel* channel, const Instrument& instrument) {
    int32_t p = channel->autovib_position & 255;
    int32_t sweep = instrument.vibrato_sweep;
    int64_t v = int64_t(instrument.vibrato_depth) * autovib_waveform(instrument.vibrato_type, p);
    // The sweep scales the depth with the counter as it stood before this tick.
    if (sweep != 0) v = v * channel->autovib_sweep / sweep;
    channel->period_delta = wrap_i32(int64_t(channel->period_delta) + (v >> 6));
    int64_t counter = int64_t(channel->autovib_sweep) + 1;
    channel->autovib_sweep = int32_t(counter < sweep ? counter : sweep);
    channel->autovib_position = (p + instrument.vibrato_rate) & 255;
    channel->update_flags |= PITCH_CHANGED;
}

// --- Stage 2: note trigger --------------------------------------------------

// A note starting on a sounding voice moves the channel to the other voice
// of its pair; the old voice keeps playing and is ramped down by the mixer.
void switch_voice(Channel* channel) {
    Voice* old_voice = channel->voice;
    ptrdiff_t index = old_voice - song.voice_table;
    Voice* new_voice = &song.voice_table[index ^ 1];
    new_voice->final_volume = old_voice->final_volume;
    new_voice->final_panning = old_voice->final_panning;
    new_voice->start_offset = old_voice->start_offset;
    new_voice->right_volume = old_voice->right_volume;
    new_voice->left_volume = old_voice->left_volume;
    new_voice->position = old_voice->position;
    new_voice->step = old_voice->step;
    new_voice->ramp_targets = old_voice->ramp_targets;
    new_voice->right_delta = old_voice->right_delta;
    new_voice->left_delta = old_voice->left_delta;
    old_voice->final_volume = 0;
    old_voice->right_volume = 0;
    old_voice->left_volume = 0;
    channel->voice = new_voice;
}

void trigger_note(Channel* channel, const Sample* sample) {
    if (channel->voice->sample) switch_voice(channel);
    Voice* voice = channel->voice;
    voice->sample = sample;
    voice->fraction = 0;
    voice->current_right = 0;  // the mixer ramps the new note up from silence
    voice->current_left = 0;
    voice->ramp_frames = 0;
    voice->direction = 0;
    voice->position = voice->start_offset;
    voice->start_offset = 0;
}

// --- Stages 3 and 4: volume and panning --------------------------------------

// Right and left level targets of a voice at final volume f and panning q
// (0..255); the pan law is linear in both levels.
void set_levels(Voice* voice, int64_t f, int64_t q) {
    voice->right_volume = int32_t(f * q / PAN_SCALE);
    voice->left_volume = int32_t(f * (PAN_SCALE - q) / PAN_SCALE);
}

// (volume + volume_delta) x 255 x global_volume clamped to 0..1044480. Each
// factor is first held to +-1044480: a factor that large already puts the
// product beyond the clamp with its sign unchanged, so the clamped result
// is exact for every 32-bit input and the product fits in 64 bits.
int64_t clamped_volume_product(int32_t volume, int32_t volume_delta, int32_t global_volume) {
    auto hold = [](int64_t x) {
        return x > FULL_VOLUME_PRODUCT ? FULL_VOLUME_PRODUCT
             : x < -FULL_VOLUME_PRODUCT ? -FULL_VOLUME_PRODUCT : x;
    };
    int64_t a = hold(int64_t(volume) + volume_delta) * 255 * hold(global_volume);
    if (a < 0) return 0;
    return a > FULL_VOLUME_PRODUCT ? FULL_VOLUME_PRODUCT : a;
}

void compose_volume(Channel* channel, Voice* voice) {
    uint32_t a = uint32_t(clamped_volume_product(channel->volume, channel->volume_delta,
                                                 song.global_volume));
    // Low 32 bits of the envelope product: exact for envelope outputs 0..64.
    uint32_t b = a * uint32_t(channel->vol_env_output);
    // fadeout_volume is 0..65536; the product of two 32-bit values fits 64 bits.
    uint64_t final_volume = (uint64_t(b) * uint32_t(channel->fadeout_volume)) >> 35;
    voice->final_volume = int32_t(final_volume);
    set_levels(voice, int64_t(final_volume), voice->final_panning);
}

void compose_panning(Channel* channel, Voice* voice) {
    int64_t panning = channel->panning;
    int64_t distance = panning - 128;
    if (distance < 0) distance = -distance;
    int64_t s = (128 - distance) >> 5;  // 4 at the centre, 0 near the edges
    int64_t q = panning + (int64_t(channel->pan_env_output) - 32) * s;
    if (q < 0) q = 0;
    if (q >= PAN_SCALE) {
        voice->final_panning = int32_t(PAN_SCALE);
        voice->right_volume = voice->final_volume;
        voice->left_volume = 0;
        return;
    }
    voice->final_panning = int32_t(q);
    set_levels(voice, voice->final_volume, q);
}

// --- Stage 5: pitch -----------------------------------------------------------

int64_t channel_frequency(const Channel* channel) {
    int64_t t = int64_t(channel->period) + channel->period_delta;
    if (t <= 0) return LOWEST_FREQUENCY;
    if (!(song.song_flags & LINEAR_FREQUENCIES)) return AMIGA_CLOCK / t;
    // In the linear table the delta enters with a plus sign: a positive
    // delta raises the pitch.
    int64_t exponent = LINEAR_BASE_PERIOD - channel->period + channel->period_delta;
    double power = exp2(double(exponent) * double(LINEAR_FACTOR));
    return round_even_clamped(LINEAR_BASE_FREQUENCY * power, 0, HIGHEST_FREQUENCY);
}

// 32.32 step for a frequency 0..HIGHEST_FREQUENCY: frequency / 48000.
uint64_t frequency_step(int64_t frequency) {
    uint64_t f = uint64_t(frequency);
    uint64_t whole = f / OUTPUT_RATE;
    uint64_t fraction = ((f % OUTPUT_RATE) << 32) / OUTPUT_RATE;
    return (whole << 32) | fraction;
}

}  // namespace

int32_t amiga_period(int32_t note_index, const Sample* sample) {
    int64_t k = note_index;
    int64_t f = sample ? sample->finetune : 0;
    int64_t p = note_period(k);
    // The finetune moves the period toward the neighbouring semitone by
    // f/128 of the gap (d <= 0 either way), the quotient truncated.
    int64_t d = f >= 0 ? note_period(k + 1) - p : p - note_period(k - 1);
    int64_t result = p + (f * d) / 128;
    return int32_t(result < INT32_MAX ? result : INT32_MAX);
}

// One tick of a volume or panning envelope. Beyond the plain walk it holds
// three guards for malformed envelopes, none of which changes a walk over
// well-formed points:
// - a point count above 12 counts as 12, so no point past the stored ones
//   is ever the walk's target;
// - a loop whose start index is 12 or more is ignored (no jump happens);
//   a walk that reaches point 11 past the point count ends there, since no
//   point follows it (its output would hold at that y either way);
// - the slope is only added while the walk's tick has not passed the point
//   it heads for. Well-formed points never leave the tick past that point
//   except after two equal x, where the slope is 0 anyway; points whose x
//   decrease would otherwise add their slope forever and drive the value
//   out of range, and now hold the y of the point last reached.
// Values are 32-bit two's complement and wrap as such (a y above 32767
// makes a negative value); the output is the value shifted arithmetically.
void envelope_step(Channel* channel, const Instrument* instrument_or_null, EnvelopeKind kind) {
    const Instrument& instrument = instrument_or_none(instrument_or_null);
    bool is_volume = kind == VOLUME_ENVELOPE;
    int32_t& tick = is_volume ? channel->vol_env_tick : channel->pan_env_tick;
    int32_t& point = is_volume ? channel->vol_env_point : channel->pan_env_point;
    int32_t& slope = is_volume ? channel->vol_env_slope : channel->pan_env_slope;
    int32_t& value = is_volume ? channel->vol_env_value : channel->pan_env_value;
    int32_t& output = is_volume ? channel->vol_env_output : channel->pan_env_output;
    uint8_t& ended = is_volume ? channel->vol_env_ended : channel->pan_env_ended;
    const EnvelopePoint* points = is_volume ? instrument.volume_points : instrument.panning_points;
    uint32_t count = is_volume ? instrument.volume_point_count : instrument.panning_point_count;
    uint32_t sustain = is_volume ? instrument.volume_sustain : instrument.panning_sustain;
    uint32_t loop_start = is_volume ? instrument.volume_loop_start : instrument.panning_loop_start;
    uint32_t loop_end = is_volume ? instrument.volume_loop_end : instrument.panning_loop_end;
    uint8_t type = is_volume ? instrument.volume_type : instrument.panning_type;

    channel->update_flags |= is_volume ? VOLUME_CHANGED : PANNING_CHANGED;
    if (ended) return;

    uint32_t n = count < ENVELOPE_POINTS ? count : ENVELOPE_POINTS;
    auto advance_tick = [&] { tick = int32_t(uint32_t(tick) + 1); };
    if (uint32_t(point) >= n) {  // past the points (reached through a loop start)
        output = value >> 16;
        advance_tick();
        return;
    }
    if (uint32_t(tick) != points[point].x) {  // between two points
        if (uint32_t(tick) < points[point].x) value = wrap_i32(int64_t(value) + slope);
        output = value >> 16;
        advance_tick();
        return;
    }

    // Arrived at points[point]. The loop test comes first, so a loop that
    // ends on the last point loops and the y of the loop end is never output.
    bool loops = (type & ENVELOPE_LOOP) && loop_start < uint32_t(ENVELOPE_POINTS);
    if (loops && uint32_t(point) == loop_end) {
        point = int32_t(loop_start);
        tick = points[point].x;
    }
    output = points[point].y;
    if (uint32_t(point) == n - 1 || point + 1 >= ENVELOPE_POINTS) {
        ended = 1;  // the output stays at the last point's y; tick stays
        return;
    }
    bool key_held = channel->key_released == 0;
    if ((type & ENVELOPE_SUSTAIN) && uint32_t(point) == sustain && key_held) return;

    const EnvelopePoint& reached = points[point];
    point += 1;
    const EnvelopePoint& next = points[point];
    value = int32_t(uint32_t(reached.y) << 16);
    int32_t rise = int32_t(uint32_t(int32_t(next.y) - int32_t(reached.y)) << 16);  // 16.16, wraps
    int32_t run = int32_t(next.x) - int32_t(reached.x);
    slope = run == 0 ? 0 : int32_t(uint32_t(int64_t(rise) / run));
    output = value >> 16;
    advance_tick();
}

void fadeout_step(Channel* channel, const Instrument* instrument) {
    if (!channel->key_released) return;
    int64_t fade = int64_t(channel->fadeout_volume) - instrument_or_none(instrument).fadeout;
    channel->fadeout_volume = int32_t(fade < 0 ? 0 : fade);
    channel->update_flags |= VOLUME_CHANGED;
}

void channel_update(Channel* channel, Sample* sample, const Instrument* instrument_or_null) {
    const Instrument& instrument = instrument_or_none(instrument_or_null);
    auto_vibrato(channel, instrument);

    if (channel->update_flags & NOTE_TRIGGER) trigger_note(channel, sample ? sample : &empty_sample);

    Voice* voice = channel->voice;
    if (channel->update_flags & VOLUME_CHANGED) compose_volume(channel, voice);
    if (channel->update_flags & PANNING_CHANGED) compose_panning(channel, voice);
    if (channel->update_flags & PITCH_CHANGED) voice->step = frequency_step(channel_frequency(channel));
}
