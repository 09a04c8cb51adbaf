// The fast mixer and the fast conversion against their plain references, bit
// for bit, on random voices: steps from the 40 Hz floor to hundreds of
// samples per frame, every loop type, ramps, extreme volumes, backward play.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "player/player.h"
#include "player/render.h"
#include "song/song.h"

namespace {

struct RandomSample {
    std::vector<int16_t> storage;
    Sample sample{};
};

void make_sample(std::mt19937& rng, RandomSample& s) {
    const uint32_t length = 1 + rng() % 300;
    s.storage.assign(length + 4, 0);  // one value in front, three spare at the end
    for (uint32_t k = 1; k <= length + 3; ++k) s.storage[k] = static_cast<int16_t>(rng());
    s.storage[0] = static_cast<int16_t>(rng());  // read only by a fault
    Sample& x = s.sample;
    x.length = length;
    x.loop_type = static_cast<uint8_t>(rng() % 4);
    if (x.loop_type == LOOP_NONE) {
        x.loop_start = 0;
        x.loop_length = length;
    } else {
        x.loop_start = rng() % length;
        x.loop_length = 1 + rng() % (length - x.loop_start);
        if (rng() % 4 == 0) x.loop_start = 0;
        if (x.loop_start + x.loop_length > length) x.loop_length = length - x.loop_start;
    }
    x.data = s.storage.data() + 1;
}

uint64_t random_step(std::mt19937& rng) {
    switch (rng() % 6) {
    case 0: return rng() % 64;                                         // at the floor
    case 1: return rng();                                              // below one sample
    case 2: return (static_cast<uint64_t>(rng() % 4) << 32) | rng();   // around one sample
    case 3: return (static_cast<uint64_t>(rng() % 400) << 32) | rng(); // very high notes
    case 4: return 1ull << 32;
    default: return (static_cast<uint64_t>(rng() % 32) << 32) | rng();
    }
}

int32_t random_volume(std::mt19937& rng) {
    switch (rng() % 4) {
    case 0: return 0;
    case 1: return static_cast<int32_t>(rng() % 128);
    case 2: return static_cast<int32_t>(rng() % 128) * 128;
    default: return static_cast<int32_t>(rng());  // beyond any real volume: the 32-bit rule shows
    }
}

TEST(MixerPaths, FastMixerMatchesTheReference) {
    std::mt19937 rng(12345);
    const uint32_t best = mix_best_path();
    for (int trial = 0; trial < 3000; ++trial) {
        RandomSample s;
        make_sample(rng, s);
        Voice v{};
        v.sample = &s.sample;
        v.step = random_step(rng);
        v.position = static_cast<int32_t>(rng() % (s.sample.length + 1));
        v.fraction = rng();
        if (s.sample.loop_type == LOOP_PINGPONG && rng() % 2) {
            v.direction = 1;
            v.position = static_cast<int32_t>(s.sample.loop_start + rng() % s.sample.loop_length);
        }
        v.current_left = random_volume(rng);
        v.current_right = random_volume(rng);
        v.left_volume = static_cast<int32_t>(rng() % 128);
        v.right_volume = rng() % 3 ? static_cast<int32_t>(rng() % 128) : v.left_volume;
        if (rng() % 3 == 0) {  // settled on the targets, as channel volumes usually are, or just below
            static const int32_t below[] = {0, 0, 64, 1, 127};
            v.current_left = v.left_volume * 128 - below[rng() % 5];
            v.current_right = v.right_volume * 128 - below[rng() % 5];
        }
        v.ramp_targets = rng() % 2 ? (static_cast<uint32_t>(v.left_volume) << 16 | v.right_volume) : rng();
        v.ramp_frames = static_cast<uint16_t>(rng() % 3 ? 0 : rng() % 129);
        v.left_delta = v.ramp_frames ? static_cast<int32_t>(rng() % 255) - 127 : 0;
        v.right_delta = v.ramp_frames ? static_cast<int32_t>(rng() % 255) - 127 : 0;
        Voice reference = v;
        std::vector<int32_t> expected(2 * 1024);
        for (int32_t& x : expected) x = static_cast<int32_t>(rng());
        const std::vector<int32_t> start = expected;
        const uint32_t calls = 1 + rng() % 4;
        std::vector<uint32_t> counts;
        for (uint32_t c = 0; c < calls; ++c) counts.push_back(1 + rng() % 256);
        uint32_t at = 0;
        for (uint32_t n : counts) {
            mix_voice_reference(&reference, expected.data() + 2 * at, n);
            at += n;
        }
        for (uint32_t path = MIX_PATH_SCALAR; path <= best; ++path) {
            mix_select_path(path);
            Voice fast = v;
            std::vector<int32_t> got = start;
            at = 0;
            for (uint32_t n : counts) {
                mix_voice(&fast, got.data() + 2 * at, n);
                at += n;
            }
            ASSERT_EQ(got, expected) << "trial " << trial << " path " << path;
            ASSERT_EQ(fast.position, reference.position) << "trial " << trial;
            ASSERT_EQ(fast.fraction, reference.fraction) << "trial " << trial;
            ASSERT_EQ(fast.direction, reference.direction) << "trial " << trial;
            ASSERT_EQ(fast.current_left, reference.current_left) << "trial " << trial;
            ASSERT_EQ(fast.current_right, reference.current_right) << "trial " << trial;
            ASSERT_EQ(fast.ramp_frames, reference.ramp_frames) << "trial " << trial;
            ASSERT_EQ(fast.sample, reference.sample) << "trial " << trial;
            ASSERT_EQ(fast.step, reference.step) << "trial " << trial;
        }
        mix_select_path(best);
    }
}

TEST(MixerPaths, FastConversionMatchesTheReference) {
    std::mt19937 rng(777);
    std::vector<int32_t> mix(2048);
    const uint32_t best = mix_best_path();
    for (int trial = 0; trial < 200; ++trial) {
        for (size_t k = 0; k < mix.size(); ++k) {
            switch (rng() % 4) {
            case 0: mix[k] = static_cast<int32_t>(rng()); break;
            case 1: mix[k] = static_cast<int32_t>(rng() % 1100000000) - 550000000; break;
            case 2: mix[k] = static_cast<int32_t>(16320 * (rng() % 40000)) + static_cast<int32_t>(rng() % 3) - 1 + 8160 * static_cast<int32_t>(rng() % 2); break;
            default: mix[k] = static_cast<int32_t>(rng() % 20000) - 10000; break;
            }
        }
        mix[0] = INT32_MIN;
        mix[1] = INT32_MAX;
        const uint32_t volume = trial < 26 ? volume_table[trial] : 1 + rng() % 32768;
        std::vector<int16_t> expected(2048), got(2048);
        const LevelSums want = convert_block_reference(mix.data(), expected.data(), volume);
        for (uint32_t path = MIX_PATH_SCALAR; path <= best; ++path) {
            mix_select_path(path);
            const LevelSums have = convert_block(mix.data(), got.data(), volume);
            ASSERT_EQ(got, expected) << "trial " << trial << " path " << path;
            ASSERT_EQ(have.left, want.left);
            ASSERT_EQ(have.right, want.right);
        }
        mix_select_path(best);
    }
}

TEST(MixerPaths, FastConversionRoundsEveryQuotientLikeTheReference) {
    // Both sides of every rounding edge, for every quotient up to the clamp.
    std::vector<int32_t> mix;
    for (int32_t q = 0; q <= 32768; ++q) {
        for (int32_t r : {0, 8159, 8160, 16319}) {
            const int32_t m = 16320 * q + r;
            mix.push_back(m);
            mix.push_back(-m);
        }
    }
    mix.resize((mix.size() + 2047) / 2048 * 2048, 0);
    const uint32_t best = mix_best_path();
    for (uint32_t path = MIX_PATH_SCALAR; path <= best; ++path) {
        mix_select_path(path);
        for (size_t at = 0; at < mix.size(); at += 2048) {
            std::vector<int16_t> expected(2048), got(2048);
            convert_block_reference(mix.data() + at, expected.data(), 32768);
            convert_block(mix.data() + at, got.data(), 32768);
            ASSERT_EQ(got, expected) << "values from " << at << " path " << path;
        }
    }
    mix_select_path(best);
}

}  // namespace
