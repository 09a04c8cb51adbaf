// Effect helpers shared by the row tick and the later ticks: the vibrato
// and tremolo waveform generator and one tick of vibrato, tremolo, tone
// portamento and tremor. Each leaves its result in the channel's period or
// per-tick offsets with the matching update flag for channel_update.
//
// Runs on the rendering thread only; plain integer computation.
#include <stdint.h>

#include "engine/engine.h"
#include "song/song.h"

namespace {

// Half sine: round(127 x sin(pi x i / 32)), i = 0..31.
const uint8_t half_sine[32] = {
    0,   12,  25,  37,  49,  60,  71,  81,  90,  98,  106, 112, 117, 122, 125, 126,
    127, 126, 125, 122, 117, 112, 106, 98,  90,  81,  71,  60,  49,  37,  25,  12};

enum : uint8_t { WAVE_SINE = 0, WAVE_RAMP = 1 };  // 2 and 3: square

}  // namespace

// The waveform at position p (0..63) on the -127..127 scale, times depth,
// shifted right by 5; the position moves on by speed (mod 64).
//
// The ramp falls across the 64 positions: w = 127 x (63 - 2p) / 63,
// truncated toward zero. It runs from +127 at position 0 to -127 at 63,
// about 4 units per position, and is exactly antisymmetric:
// w(63 - p) = -w(p) (so it averages to 0 over a cycle, like the others).
int32_t waveform_value(uint8_t* position, uint8_t speed, int8_t depth, uint8_t selector) {
    int32_t p = *position & 63;
    *position = uint8_t((*position + speed) & 63);
    int32_t w;
    switch (selector) {
    case WAVE_SINE:
        w = p >= 32 ? -int32_t(half_sine[p & 31]) : int32_t(half_sine[p & 31]);
        break;
    case WAVE_RAMP:
        w = 127 * (63 - 2 * p) / 63;
        break;
    default:  // square
        w = p < 32 ? 127 : -127;
        break;
    }
    return (w * depth) >> 5;
}

void vibrato_step(Channel* channel) {
    int32_t offset = waveform_value(&channel->vib_position, channel->vib_speed,
                                    channel->vib_depth, channel->wave_control & 3);
    channel->period_delta = offset >> 1;  // replaces any earlier offset of this tick
    channel->update_flags |= PITCH_CHANGED;
}

void tremolo_step(Channel* channel) {
    channel->volume_delta = waveform_value(&channel->trem_position, channel->trem_speed,
                                           channel->trem_depth, (channel->wave_control >> 4) & 3);
    channel->update_flags |= VOLUME_CHANGED;
}

// Moves the period toward porta_target by 4 x porta_speed, never past it.
// Computed in 64 bits: the period is not clamped anywhere and may be near
// the ends of its 32-bit range.
void tone_portamento_step(Channel* channel) {
    channel->update_flags |= PITCH_CHANGED;
    int64_t period = channel->period;
    int64_t target = channel->porta_target;
    int64_t s = 4 * int64_t(channel->porta_speed);
    if (period > target) {
        period = period - s > target ? period - s : target;
    } else if (period < target) {
        period = period + s < target ? period + s : target;
    }
    channel->period = int32_t(period);
}

// On for tremor_on + 1 ticks, muted for tremor_off + 1 ticks; the counter
// runs on across rows and notes. The compares are unsigned on bytes; the
// limit tremor_on + tremor_off is taken as a full integer, not wrapped to 8
// bits (both are nibbles of the Txy parameter, so the sum is at most 30).
void tremor_step(Channel* channel) {
    channel->update_flags |= VOLUME_CHANGED;
    uint32_t count = channel->tremor_count;
    if (count > channel->tremor_on) {
        // Negated as a 32-bit two's complement value (no overflow at INT32_MIN).
        channel->volume_delta = int32_t(0u - uint32_t(channel->volume));
    }
    uint32_t limit = uint32_t(channel->tremor_on) + channel->tremor_off;
    channel->tremor_count = count > limit ? 0 : uint8_t(count + 1);
}
