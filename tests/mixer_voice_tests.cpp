// The voice mixer on hand-made voices and samples: exact copies,
// interpolation, the contribution rounding, ramps, loop boundaries, and the
// guarded cases (huge steps, a one-sample loop at the start, reads before the
// first value, wrapping sums). Every case runs through the fast mixer and the
// plain reference.
#include <gtest/gtest.h>

#include <limits.h>

#include <vector>

#include "player/render.h"
#include "song/song.h"

namespace {

constexpr uint64_t ONE = 1ull << 32;  // 1.0 in 32.32

// A sample whose data has the three spare values the loader adds and nothing
// in front of the first value (AddressSanitizer reports any read there).
struct TestSample {
    std::vector<int16_t> storage;
    Sample sample{};

    TestSample(std::vector<int16_t> values, uint8_t loop_type = LOOP_NONE, uint32_t loop_start = 0,
               uint32_t loop_length = 0) {
        const uint32_t length = static_cast<uint32_t>(values.size());
        storage = values;
        if (loop_type == LOOP_NONE) loop_length = length;
        const uint32_t loop_end = loop_start + loop_length;
        // The value at the loop end repeats the one that follows it in playback.
        int16_t spare = length ? values[length - 1] : 0;
        if (loop_type == LOOP_FORWARD) spare = values[loop_start];
        if (loop_type == LOOP_PINGPONG) spare = values[loop_end - 1];
        storage.resize(length + 3, 0);
        if (loop_type == LOOP_FORWARD || loop_type == LOOP_PINGPONG) storage[loop_end] = spare;
        sample.length = length;
        sample.loop_start = loop_start;
        sample.loop_length = loop_length;
        sample.loop_type = loop_type;
        sample.data = storage.data();
    }
};

// A voice playing sample at its settled volumes (no ramp pending).
Voice settled_voice(const Sample& sample, uint64_t step, int32_t left, int32_t right) {
    Voice v{};
    v.sample = &sample;
    v.step = step;
    v.left_volume = left;
    v.right_volume = right;
    v.current_left = left * 128;
    v.current_right = right * 128;
    v.ramp_targets = (static_cast<uint32_t>(left) << 16) | static_cast<uint32_t>(right);
    return v;
}

bool same_voice(const Voice& a, const Voice& b) {
    return a.sample == b.sample && a.position == b.position && a.fraction == b.fraction && a.step == b.step &&
           a.direction == b.direction && a.current_left == b.current_left && a.current_right == b.current_right &&
           a.ramp_frames == b.ramp_frames && a.ramp_targets == b.ramp_targets && a.left_delta == b.left_delta &&
           a.right_delta == b.right_delta;
}

// Mixes the voice with the fast mixer on every available path and with the
// reference, checks that all agree, and returns the reference's frames.
struct MixResult {
    std::vector<int32_t> frames;
    Voice voice;
};

MixResult mix_checked(const Voice& voice, uint32_t frame_count, std::vector<int32_t> start = {}) {
    if (start.empty()) start.assign(2 * frame_count, 0);
    MixResult reference{start, voice};
    mix_voice_reference(&reference.voice, reference.frames.data(), frame_count);
    const uint32_t best = mix_best_path();
    for (uint32_t path = MIX_PATH_SCALAR; path <= best; ++path) {
        mix_select_path(path);
        MixResult fast{start, voice};
        mix_voice(&fast.voice, fast.frames.data(), frame_count);
        EXPECT_EQ(fast.frames, reference.frames) << "path " << path;
        EXPECT_TRUE(same_voice(fast.voice, reference.voice)) << "path " << path;
    }
    mix_select_path(best);
    return reference;
}

TEST(Mixer, StepOneCopiesSamplesExactly) {
    TestSample s({1000, -1000, 32767, -32768, 5, -5, 0, 77, 300, -1});
    const MixResult r = mix_checked(settled_voice(s.sample, ONE, 127, 40), 8);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(r.frames[2 * k], s.sample.data[k] * 64 * 127) << k;
        EXPECT_EQ(r.frames[2 * k + 1], s.sample.data[k] * 64 * 40) << k;
    }
    EXPECT_EQ(r.voice.position, 8);
    EXPECT_EQ(r.voice.ramp_frames, 0);  // targets unchanged: no ramp planned
}

TEST(Mixer, InterpolatesWithThirtyOneFractionBits) {
    TestSample s({100, 200, 0, 0});
    Voice v = settled_voice(s.sample, 1, 1, 1);  // step too small to matter for one frame
    v.fraction = 1u << 31;
    const MixResult r = mix_checked(v, 1);
    EXPECT_EQ(r.frames[0], 9600 / 2 * 2);  // i = 9600 at volume 128/128: P = 9600 x 128
    EXPECT_EQ(r.frames[0], ((9600 * 128) >> 6) >> 1);
}

TEST(Mixer, ContributionRounding) {
    // P = i x current volume for one frame; i from s0, s1 and the fraction.
    struct Case {
        int16_t s0, s1;
        uint32_t fraction;
        int32_t volume;  // current volume, with target 1 so no ramp starts
        int32_t expected;
    } cases[] = {
        {-1, -1, 0, 1, 0},          // P = -64
        {-1, -2, 1u << 26, 1, -1},  // i = -65: P = -65
        {-1, -1, 0, 2, -1},         // P = -128
        {2, 1, 1u << 26, 1, 0},     // i = 127: P = 127
        {2, 2, 0, 1, 1},            // P = 128
    };
    for (const Case& c : cases) {
        TestSample s({c.s0, c.s1, 0});
        Voice v = settled_voice(s.sample, 1, 1, 1);
        v.fraction = c.fraction;
        v.current_left = v.current_right = c.volume;
        const MixResult r = mix_checked(v, 1);
        EXPECT_EQ(r.frames[0], c.expected) << c.s0 << " " << c.s1 << " vol " << c.volume;
        EXPECT_EQ(r.voice.ramp_frames, 0);
    }
}

TEST(Mixer, RampsInAndOutOverExactly128Frames) {
    std::vector<int16_t> ones(400, 1);
    TestSample s(ones, LOOP_FORWARD, 0, 400);
    Voice v{};  // a fresh note: current volumes 0, targets full
    v.sample = &s.sample;
    v.step = ONE;
    v.left_volume = 127;
    v.right_volume = 127;
    MixResult r = mix_checked(v, 130);
    for (int k = 0; k < 130; ++k) {
        const int32_t volume = k < 128 ? 127 * k : 127 * 128;  // delta (127 x 128) >> 7 = 127
        EXPECT_EQ(r.frames[2 * k], (64 * volume >> 6) >> 1) << k;
    }
    EXPECT_EQ(r.voice.current_left, 127 * 128);
    EXPECT_EQ(r.voice.ramp_frames, 0);
    EXPECT_EQ(r.voice.left_delta, 0);

    // Fade out: a ramp cut by the end of the call continues in the next one.
    r.voice.left_volume = 0;
    r.voice.right_volume = 0;
    r = mix_checked(r.voice, 100);
    EXPECT_EQ(r.voice.ramp_frames, 28);
    EXPECT_EQ(r.voice.current_left, 127 * 28);
    r = mix_checked(r.voice, 50);
    EXPECT_EQ(r.voice.current_left, 0);
    EXPECT_EQ(r.voice.ramp_frames, 0);
    for (int k = 28; k < 50; ++k) EXPECT_EQ(r.frames[2 * k], 0) << k;
}

TEST(Mixer, UnloopedSampleStopsAtItsEnd) {
    TestSample s({10, 20, 30, 40});
    const MixResult r = mix_checked(settled_voice(s.sample, ONE, 64, 64), 10);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(r.frames[2 * k], s.sample.data[k] * 64 * 64);
    for (int k = 4; k < 10; ++k) EXPECT_EQ(r.frames[2 * k], 0);
    EXPECT_EQ(r.voice.sample, nullptr);
    EXPECT_EQ(r.voice.position, 0);
    EXPECT_EQ(r.voice.fraction, 0u);
}

TEST(Mixer, LoopTypeThreeStopsAtTheLoopEnd) {
    TestSample s({10, 20, 30, 40, 50, 60}, 3, 1, 2);
    const MixResult r = mix_checked(settled_voice(s.sample, ONE, 64, 64), 6);
    EXPECT_EQ(r.frames[4], 30 * 64 * 64);
    EXPECT_EQ(r.frames[6], 0);
    EXPECT_EQ(r.voice.sample, nullptr);
}

TEST(Mixer, ForwardLoopWrapKeepsTheFraction) {
    std::vector<int16_t> values(40);
    for (int k = 0; k < 40; ++k) values[k] = static_cast<int16_t>(k * 100);
    TestSample s(values, LOOP_FORWARD, 20, 10);
    Voice v = settled_voice(s.sample, 16 * ONE, 64, 64);
    v.position = 29;
    v.fraction = 12345;
    const MixResult r = mix_checked(v, 1);  // 29.x + 16 = 45.x -> 20 + 15 mod 10
    EXPECT_EQ(r.voice.position, 25);
    EXPECT_EQ(r.voice.fraction, 12345u);
}

TEST(Mixer, PingPongFromSampleZeroBouncesInsideTheLoop) {
    TestSample s({0, 1000, 2000, 3000, 4000, 5000}, LOOP_PINGPONG, 0, 6);
    Voice v = settled_voice(s.sample, ONE + ONE / 3, 64, 64);
    for (int call = 0; call < 50; ++call) {
        const MixResult r = mix_checked(v, 37);
        v = r.voice;
        ASSERT_EQ(v.sample, &s.sample);
        EXPECT_GE(v.position, -1);
        EXPECT_LE(v.position, 6);
    }
}

TEST(Mixer, ReadsBeforeTheFirstValueAsZero) {
    // Under AddressSanitizer a read of "sample -1" is reported. Such a frame
    // lies a few 2^-32 below sample 0,
    // so the value read weighs almost nothing: the sums show 64 x sample 0
    // less the rounding either way.
    TestSample s({1000, 2000, 3000, 4000}, LOOP_PINGPONG, 0, 4);
    const Sample& sample = s.sample;
    // A backward voice a few 2^-32 above sample 0 mirrors to just below it and
    // then mixes a frame between "sample -1" and sample 0.
    Voice v = settled_voice(sample, ONE, 1, 1);
    v.direction = 1;
    v.fraction = 10;
    MixResult r = mix_checked(v, 1);
    EXPECT_EQ(r.frames[0], (1000 * static_cast<int64_t>((0x100000000ull - 10) >> 1)) >> 25);
    EXPECT_EQ(r.voice.direction, 0);
    // A backward segment whose last frames fall just below sample 0 (the
    // frame count's coarse step drops low bits).
    v.step = 63;
    v.fraction = 320;
    v.direction = 1;
    r = mix_checked(v, 10);
    EXPECT_EQ(r.frames[18], 63999);
    EXPECT_EQ(r.voice.position, 0);
    EXPECT_EQ(r.voice.direction, 0);
}

TEST(Mixer, ZeroStepPlaysAsFortyHertz) {
    std::vector<int16_t> values(100, 7);
    TestSample s(values);
    const MixResult r = mix_checked(settled_voice(s.sample, 0, 64, 64), 1000);
    EXPECT_EQ(r.voice.step, 0x369D00u);
    EXPECT_EQ(static_cast<uint64_t>(r.voice.position) << 32 | r.voice.fraction, 1000ull * 0x369D00);
}

TEST(Mixer, BothVoicesOfAPairSoundDuringASwitch) {
    std::vector<int16_t> values(1000, 100);
    TestSample s(values, LOOP_FORWARD, 0, 1000);
    Voice old_voice = settled_voice(s.sample, ONE, 64, 64);
    old_voice.position = 300;
    // The channel update's switch: the new voice copies the old one's fields
    // and starts from silence; the old one's targets become 0.
    Voice new_voice = old_voice;
    new_voice.position = 0;
    new_voice.current_left = new_voice.current_right = 0;
    new_voice.ramp_frames = 0;
    old_voice.left_volume = old_voice.right_volume = 0;
    std::vector<int32_t> frames(2 * 200, 0);
    mix_voice(&old_voice, frames.data(), 200);
    const std::vector<int32_t> old_only = frames;
    mix_voice(&new_voice, frames.data(), 200);
    for (int k = 1; k < 128; ++k) {
        EXPECT_GT(old_only[2 * k], 0) << k;               // still fading out
        EXPECT_GT(frames[2 * k], old_only[2 * k]) << k;   // and the new one fading in
    }
    for (int k = 128; k < 200; ++k) EXPECT_EQ(old_only[2 * k], 0) << k;
    EXPECT_EQ(old_voice.sample, &s.sample);  // the silent voice keeps running
    EXPECT_EQ(old_voice.current_left, 0);
    EXPECT_EQ(new_voice.current_left, 64 * 128);
}

TEST(Mixer, StepsOfThirtyTwoSamplesAndMoreCountFramesCorrectly) {
    std::vector<int16_t> values(1000);
    for (int k = 0; k < 1000; ++k) values[k] = static_cast<int16_t>(k);
    TestSample s(values);
    for (uint64_t step : {32 * ONE, 40 * ONE, 298 * ONE + 0x80000000u, 5000 * ONE}) {
        const MixResult r = mix_checked(settled_voice(s.sample, step, 1, 1), 100);
        const uint64_t frames = (1000 * ONE + step - 1) / step;  // frames before the sample end
        for (uint64_t k = 0; k < 100; ++k) {
            const uint64_t p = k * step;
            const int32_t expected = k < frames ? static_cast<int32_t>(p >> 32) * 64 : 0;
            ASSERT_NEAR(r.frames[2 * k], expected, k < frames ? 64 : 0) << step << " frame " << k;
        }
        EXPECT_EQ(r.voice.sample, nullptr);
    }
}

TEST(Mixer, FrameCountBeyondThirtyTwoBitsDoesNotFault) {
    // Step 32 x 2^-32: the coarse step is 1, so the frames to the end of this
    // sample number about 2^45, far beyond 32 bits.
    std::vector<int16_t> values(300000, 3);
    TestSample s(values);
    const MixResult r = mix_checked(settled_voice(s.sample, 32, 1, 1), 1024);
    EXPECT_EQ(r.voice.position, 0);
    EXPECT_EQ(r.voice.fraction, 32u * 1024);
    EXPECT_EQ(r.frames[2046], 3 * 64);
}

TEST(Mixer, OneSampleForwardLoopAtTheStartTerminates) {
    TestSample s({500}, LOOP_FORWARD, 0, 1);
    Voice v = settled_voice(s.sample, ONE, 1, 1);
    v.fraction = 0xFFFFFFFBu;  // 5 x 2^-32 below the loop end
    const MixResult r = mix_checked(v, 16);
    EXPECT_EQ(r.voice.sample, &s.sample);
    EXPECT_GE(r.voice.position, -1);
    EXPECT_LE(r.voice.position, 0);
    EXPECT_NEAR(r.frames[2], 500 * 64, 64);  // the loop goes on sounding
}

TEST(Mixer, SumsWrapAsThirtyTwoBitValues) {
    TestSample s({32767, 32767});
    std::vector<int32_t> start(4, INT32_MAX);
    const MixResult r = mix_checked(settled_voice(s.sample, ONE, 127, 127), 2, start);
    EXPECT_EQ(r.frames[0], static_cast<int32_t>(static_cast<uint32_t>(INT32_MAX) + 32767u * 64 * 127));
}

TEST(Mixer, PastItsBoundaryIsLeftUnchanged) {
    TestSample s({1, 2, 3});
    Voice v = settled_voice(s.sample, ONE, 64, 64);
    v.position = 10;
    const MixResult r = mix_checked(v, 8);
    EXPECT_TRUE(same_voice(r.voice, v));
    EXPECT_EQ(r.frames, std::vector<int32_t>(16, 0));
}

}  // namespace
