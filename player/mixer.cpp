// The voice mixer: resamples every voice of the song with linear
// interpolation and 128-frame volume ramps, adding it into the MixBuffer.
//
// Runs on the rendering thread only (the mixing thread, or the prefill).
// Plain computation: includes no platform header, allocates nothing.
//
// Each voice is mixed in segments. Before a segment the planner works out how
// many frames fit before the voice reaches its next boundary (loop end, loop
// start when playing backward, or sample end) or the end of its volume ramp;
// the segment loop then runs exactly that many frames with no test inside,
// and the boundary is handled between segments.
//
// Fixed-point formats used below:
//   play position  signed 32.32: position (whole, signed) + fraction x 2^-32
//   step           unsigned 32.32 samples per output frame
//   current volume 1/128 units (128 x target when settled)
//   interpolated i sample x 64
#include "player/mixer_kernels.h"
#include "player/render.h"
#include "song/song.h"

namespace {

constexpr int FRAC_BITS = 32;             // fraction bits of the play position and the step
constexpr int COARSE_SHIFT = 5;           // distance and step are divided by 32 before the frame count
constexpr uint64_t MIN_COARSE_STEP = 0x1B4E8;  // 0x369D00 >> 5: the 40 Hz step, coarse
constexpr uint32_t MIN_STEP_FRACTION = 0x369D00; // about 1/1200 sample per frame
constexpr uint16_t RAMP_FRAMES = 128;     // length of every volume ramp
constexpr int VOLUME_FRACTION_BITS = 7;   // current volumes are in 1/128 units

int64_t play_position(const Voice& voice) {
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(voice.position)) << FRAC_BITS) |
                                voice.fraction);
}

void set_play_position(Voice& voice, int64_t p) {
    voice.position = static_cast<int32_t>(static_cast<uint64_t>(p) >> FRAC_BITS);
    voice.fraction = static_cast<uint32_t>(p);
}

int64_t whole(uint32_t samples) { return static_cast<int64_t>(samples) << FRAC_BITS; }

// The boundary of a ping-pong loop: mirror at the boundary just crossed, then keep
// mirroring at the other end while the position lies outside the loop. Two
// successive mirrors move the position by twice the loop length, so long runs
// of them are taken in one go; the result is the same as mirroring one by one.
void mirror_pingpong(Voice& voice, const Sample& sample) {
    const int64_t start = whole(sample.loop_start);
    const int64_t end = whole(sample.loop_start + sample.loop_length);
    const uint64_t twice_loop = static_cast<uint64_t>(sample.loop_length) << (FRAC_BITS + 1);
    uint64_t p = static_cast<uint64_t>(play_position(voice));  // wraps like the 32.32 sum
    uint8_t direction;
    if (voice.direction == 0) {
        p = 2 * static_cast<uint64_t>(end) - p;
        direction = 1;
    } else {
        p = 2 * static_cast<uint64_t>(start) - p;
        direction = 0;
    }
    for (;;) {
        const int64_t x = static_cast<int64_t>(p);
        if (direction == 1 && x < start) {
            const uint64_t gap = static_cast<uint64_t>(start) - p;   // > 0
            if (gap > twice_loop) p += (gap - 1) / twice_loop * twice_loop;
            p = 2 * static_cast<uint64_t>(start) - p;
            direction = 0;
        } else if (direction == 0 && x >= end) {
            const uint64_t excess = p - static_cast<uint64_t>(end);  // >= 0
            if (excess >= twice_loop) p -= excess / twice_loop * twice_loop;
            p = 2 * static_cast<uint64_t>(end) - p;
            direction = 1;
        } else {
            break;
        }
    }
    set_play_position(voice, static_cast<int64_t>(p));
    voice.direction = direction;
}

// The boundary of a forward loop.
void wrap_forward(Voice& voice, const Sample& sample) {
    const uint32_t loop_end = sample.loop_start + sample.loop_length;
    if (static_cast<int64_t>(voice.position) >= loop_end) {
        uint64_t past = static_cast<uint64_t>(static_cast<int64_t>(voice.position) - loop_end);
        if (past >= sample.loop_length) past %= sample.loop_length;  // usually less than one loop
        voice.position = static_cast<int32_t>(sample.loop_start + past);
        return;
    }
    // The segment stopped just short of the loop end: go back one loop length,
    // landing on 0 rather than before the first sample. When the voice already
    // sits on sample 0 (a one-sample loop at the start of the sample) that
    // landing would not move it and the voice would wrap there for ever; it
    // then takes the exact wrap to just before sample 0, which reads as 0.
    const int64_t back = static_cast<int64_t>(voice.position) - sample.loop_length;
    if (back >= 0) voice.position = static_cast<int32_t>(back);
    else voice.position = voice.position > 0 ? 0 : -1;
}

// The frames from the play position to the voice's boundary, rounded up, or
// -1 when the position already lies past it. The step is measured in 64 bits,
// so steps of 32 samples per frame and more are counted correctly; for smaller
// steps this equals the 32-bit measure. The count only ever meets min() with
// the frames still to mix, so whenever it exceeds them, remaining + 1 stands
// for it: that spares the division when the boundary is out of reach, and a
// quotient too large for 32 bits never arises.
int64_t frames_to_boundary(Voice& voice, const Sample& sample, uint32_t remaining) {
    const uint32_t loop_end = sample.loop_start + sample.loop_length;
    const int64_t p = play_position(voice);
    int64_t distance;  // 32.32
    if (voice.direction == 0) {
        const uint32_t boundary = static_cast<int64_t>(voice.position) < loop_end ? loop_end : sample.length;
        distance = static_cast<int64_t>(static_cast<uint64_t>(whole(boundary)) - static_cast<uint64_t>(p));
    } else {
        distance = static_cast<int64_t>(static_cast<uint64_t>(p) - static_cast<uint64_t>(whole(sample.loop_start)));
    }
    if (distance < 0) return -1;
    const uint64_t d = static_cast<uint64_t>(distance) >> COARSE_SHIFT;
    uint64_t s = voice.step >> COARSE_SHIFT;
    if (s == 0) {  // too small to measure: play it as a 40 Hz note
        s = MIN_COARSE_STEP;
        voice.step = (voice.step & 0xFFFFFFFF00000000ull) | MIN_STEP_FRACTION;
    }
    // ceil(d / s) > remaining exactly when d > remaining x s.
    if ((s >> 32) == 0 && d > remaining * s) return static_cast<int64_t>(remaining) + 1;
    uint64_t frames;
    if ((d >> 32) == 0 && (s >> 32) == 0) {  // the usual case, and a faster division
        const uint32_t d32 = static_cast<uint32_t>(d), s32 = static_cast<uint32_t>(s);
        frames = d32 / s32 + (d32 % s32 != 0);
    } else {
        frames = d / s + (d % s != 0);
    }
    return frames > remaining ? static_cast<int64_t>(remaining) + 1 : static_cast<int64_t>(frames);
}

// Continue the running ramp, or plan a new one toward the targets.
void plan_ramp(Voice& voice) {
    const uint32_t key = (static_cast<uint32_t>(voice.left_volume) << 16) | static_cast<uint32_t>(voice.right_volume);
    if (voice.ramp_frames != 0 && key == voice.ramp_targets) return;
    voice.ramp_targets = key;
    // (target x 128 - current) / 128, rounded toward minus infinity; the
    // differences wrap as 32-bit values.
    const int32_t right = static_cast<int32_t>((static_cast<uint32_t>(voice.right_volume) << VOLUME_FRACTION_BITS) -
                                               static_cast<uint32_t>(voice.current_right));
    const int32_t left = static_cast<int32_t>((static_cast<uint32_t>(voice.left_volume) << VOLUME_FRACTION_BITS) -
                                              static_cast<uint32_t>(voice.current_left));
    voice.right_delta = right >> VOLUME_FRACTION_BITS;
    voice.left_delta = left >> VOLUME_FRACTION_BITS;
    voice.ramp_frames = (voice.right_delta != 0 || voice.left_delta != 0) ? RAMP_FRAMES : 0;
}

// The segment's frames in the shape the loops take them.
SegmentRun segment_run(const Voice& voice, int32_t* out, uint32_t count) {
    SegmentRun run;
    run.data = voice.sample->data;
    run.length = voice.sample->length;
    run.out = out;
    run.count = count;
    run.position = static_cast<uint64_t>(play_position(voice));
    run.advance = voice.direction == 0 ? voice.step : 0 - voice.step;
    run.current_left = voice.current_left;
    run.current_right = voice.current_right;
    run.left_delta = voice.left_delta;
    run.right_delta = voice.right_delta;
    return run;
}

void finish_segment(Voice& voice, const SegmentRun& run) {
    set_play_position(voice, static_cast<int64_t>(run.position));
    voice.current_left = run.current_left;
    voice.current_right = run.current_right;
}

// Does the segment read before the sample's first value? Positions move one
// way within a segment, so only its first frame (forward) or its last frame
// (backward) can lie lowest.
bool reads_before_start(const SegmentRun& run, uint8_t direction) {
    int64_t lowest = static_cast<int64_t>(run.position);
    if (direction != 0) lowest = static_cast<int64_t>(run.position + (run.count - 1) * run.advance);
    return lowest < 0;
}

// One voice for frame_count frames, segment by segment: plan the segment up
// to the boundary or the ramp's end, mix it, then handle the boundary. The
// reference mixes every segment with the plain loop; the fast form lets
// silent segments only advance and hands the rest to the selected loop.
template <bool REFERENCE>
void mix_one_voice(Voice& voice, int32_t* out, uint32_t frame_count) {
    uint32_t remaining = frame_count;
    // Once planning finds the voice silent with no ramp, it stays so for the
    // rest of the call (its targets do not change, and planning again would
    // give the same result), so the fast form then only moves its position.
    bool silent = false;
    while (remaining != 0) {
        const Sample& sample = *voice.sample;
        const int64_t to_boundary = frames_to_boundary(voice, sample, remaining);
        if (to_boundary < 0) return;  // past its boundary: left as it is for this call
        if (to_boundary != 0) {       // 0: the voice lies on the boundary already
            const bool reaches = static_cast<uint64_t>(to_boundary) <= remaining;
            uint32_t count = reaches ? static_cast<uint32_t>(to_boundary) : remaining;
            if (silent) {
                const uint64_t advance = voice.direction == 0 ? voice.step : 0 - voice.step;
                set_play_position(voice, static_cast<int64_t>(static_cast<uint64_t>(play_position(voice)) +
                                                              static_cast<uint64_t>(count) * advance));
                remaining -= count;
                if (!reaches) return;
            } else {
                const uint32_t planned = count;
                plan_ramp(voice);
                const bool ramping = voice.ramp_frames != 0;
                if (ramping && voice.ramp_frames < count) count = voice.ramp_frames;
                SegmentRun run = segment_run(voice, out, count);
                if (REFERENCE || reads_before_start(run, voice.direction)) {
                    mix_segment_reference(run);
                } else if (run.current_left == 0 && run.current_right == 0 && !ramping) {
                    run.position += static_cast<uint64_t>(count) * run.advance;  // adds exactly 0
                    silent = true;
                } else {
                    mix_segment(run);
                }
                finish_segment(voice, run);
                out += 2 * count;
                remaining -= count;
                if (ramping) {
                    voice.ramp_frames = static_cast<uint16_t>(voice.ramp_frames - count);
                    if (voice.ramp_frames == 0) {
                        voice.right_delta = 0;
                        voice.left_delta = 0;
                    }
                    if (count < planned) continue;  // cut by the ramp's end: plan again
                }
                if (!reaches) return;
            }
        }
        // The boundary: wrap, mirror, or stop.
        if (sample.loop_type == LOOP_FORWARD) {
            wrap_forward(voice, sample);
        } else if (sample.loop_type == LOOP_PINGPONG) {
            mirror_pingpong(voice, sample);
        } else {
            voice.sample = nullptr;
            voice.position = 0;
            voice.fraction = 0;
            return;
        }
    }
}

}  // namespace

void mix_voice(Voice* voice, int32_t* frames, uint32_t frame_count) {
    if (voice->sample) mix_one_voice<false>(*voice, frames, frame_count);
}

void mix_voice_reference(Voice* voice, int32_t* frames, uint32_t frame_count) {
    if (voice->sample) mix_one_voice<true>(*voice, frames, frame_count);
}

void mix_voices(uint32_t first_frame, uint32_t frame_count) {
    int32_t* out = mix_buffer + 2 * first_frame;
    Voice* voice = song.voice_table;
    Voice* const end = reinterpret_cast<Voice*>(song.channel_table);  // the Voice records end here
    for (; voice && voice < end; ++voice) {
        if (voice->sample) mix_one_voice<false>(*voice, out, frame_count);
    }
}
