// The block renderer: the 16-bit conversion with the master volume, the
// per-block statistics, elapsed time across split ticks, the prefill, pause,
// and the end of a no-loop song.
#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include <vector>

#include "player/player.h"
#include "player/render.h"
#include "song/song.h"
#include "tests/support/xm_builder.h"

namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

// Converts one value (at an even, left position) on every path; the others
// of the block are 0.
std::vector<int16_t> convert_on_every_path(int32_t value, uint32_t volume) {
    std::vector<int32_t> mix(2048, 0);
    mix[0] = value;
    std::vector<int16_t> results;
    const uint32_t best = mix_best_path();
    for (uint32_t path = MIX_PATH_SCALAR; path <= best; ++path) {
        mix_select_path(path);
        std::vector<int16_t> out(2048, 123);
        convert_block(mix.data(), out.data(), volume);
        results.push_back(out[0]);
    }
    mix_select_path(best);
    return results;
}

TEST(Conversion, RoundsClampsAndScales) {
    struct Case {
        int32_t value;
        uint32_t volume;
        int16_t expected;
    } cases[] = {
        {0, 32768, 0},
        {8159, 32768, 0},
        {8160, 32768, 1},
        {-8160, 32768, -1},
        {-8159, 32768, 0},
        {16320 * 100 + 8159, 32768, 100},
        {534749279, 32768, 32766},
        {534749280, 32768, 32767},       // 16320 x 32767 - 8160: the clamp starts here
        {-534749280, 32768, -32767},
        {INT32_MAX, 32768, 32767},
        {INT32_MIN, 32768, -32767},      // -32768 is never produced
        {534749280, 16423, 16422},       // level 22
        {INT32_MIN, 16423, -16422},
        {534749280, 1, 0},               // level 0 is silence
        {16320 * 1000, 0, 0},            // a volume never set
    };
    for (const Case& c : cases) {
        for (int16_t got : convert_on_every_path(c.value, c.volume))
            EXPECT_EQ(got, c.expected) << c.value << " at " << c.volume;
    }
}

TEST(Conversion, LevelSumsAreTheMagnitudesPerSide) {
    std::vector<int32_t> mix(2048, 0);
    for (int k = 0; k < 1024; ++k) mix[2 * k] = (k % 2 ? -1 : 1) * 16320 * 1000;
    std::vector<int16_t> out(2048);
    const LevelSums sums = convert_block(mix.data(), out.data(), 32768);
    EXPECT_EQ(sums.left, 1000u * 1024);
    EXPECT_EQ(sums.right, 0u);
}

// A module with one cell-less pattern: the clock runs, but no channel work
// touches the voices, so a test can play hand-made voices through it.
std::vector<uint8_t> clock_module(uint16_t rows, uint16_t speed, uint16_t bpm) {
    XmModule m;
    m.channels = 2;
    m.speed = speed;
    m.bpm = bpm;
    XmPattern p;
    p.rows = rows;
    m.patterns.push_back(p);
    return build_xm(m);
}

class Render : public ::testing::Test {
protected:
    void start(const std::vector<uint8_t>& bytes, bool no_loop = false) {
        ASSERT_NE(load_module(bytes), 0);
        player_shared.paused.store(0, relaxed);
        player_shared.no_loop = no_loop ? 1 : 0;
        player_shared.master_volume.store(32768, relaxed);
        player_shared.fill_block = 0;
        clear_block_reports();
    }
    void TearDown() override { unload_module(); }

    uint32_t levels(uint32_t slot) { return player_shared.block_reports[slot].levels.load(relaxed); }
    uint32_t position(uint32_t slot) { return player_shared.block_reports[slot].song_position.load(relaxed); }
};

TEST_F(Render, LevelsOfABlockGoToTheNextSlot) {
    start(clock_module(64, 6, 125));
    // A constant 2550 at left volume 100: 2550 x 64 x 100 = 1000 x 16320.
    std::vector<int16_t> values(64, 2550);
    Sample sample{};
    sample.length = 64;
    sample.loop_length = 64;
    sample.loop_type = LOOP_FORWARD;
    values.resize(67, 2550);
    sample.data = values.data();
    Voice& v = song.voice_table[0];
    v.sample = &sample;
    v.step = 1ull << 32;
    v.left_volume = 100;
    v.current_left = 100 * 128;
    v.ramp_targets = 100u << 16;
    ASSERT_TRUE(render_block());
    EXPECT_EQ(levels(1), 0x03E80000u);
    EXPECT_EQ(output_ring[0], 1000);
    EXPECT_EQ(output_ring[1], 0);
    v.sample = nullptr;
}

TEST_F(Render, ElapsedTimeIsTruncatedPerPiece) {
    start(clock_module(64, 3, 115));  // ticks of 1043 frames
    ASSERT_TRUE(render_block());      // 1024 frames of tick 0: 21 ms
    EXPECT_EQ(player_shared.elapsed_ms.load(relaxed), 21u);
    ASSERT_TRUE(render_block());      // 19 frames (0 ms) + 1005 frames (20 ms), not 42.67
    EXPECT_EQ(player_shared.elapsed_ms.load(relaxed), 41u);
    EXPECT_EQ(song.tick_samples_left, 1043 - 1005);
}

TEST_F(Render, PrefillFillsTheRingAndRecordsPositions) {
    start(clock_module(64, 1, 125));  // one tick per row, 960 frames
    uint32_t blocks = 0;
    do {
        ASSERT_TRUE(render_block());
        ++blocks;
    } while (player_shared.fill_block != 0);
    EXPECT_EQ(blocks, 16u);
    EXPECT_EQ(player_shared.report_slot.load(relaxed), 0u);
    for (uint32_t k = 0; k < 16; ++k) {
        // The row playing at the block's last frame.
        EXPECT_EQ(position(k), (1024 * k + 1023) / 960) << k;
    }
    EXPECT_EQ(player_shared.elapsed_ms.load(relaxed), 331u);  // 341.33 ms less what the splits drop
}

TEST_F(Render, PausedBlocksAreSilentAndStandStill) {
    start(clock_module(64, 6, 125));
    ASSERT_TRUE(render_block());
    const int32_t left = song.tick_samples_left;
    const uint32_t elapsed = player_shared.elapsed_ms.load(relaxed);
    player_shared.block_reports[2].levels.store(77, relaxed);
    memset(output_ring + BLOCK_BYTES / 2, 0x55, BLOCK_BYTES);
    player_shared.paused.store(1, relaxed);
    ASSERT_TRUE(render_block());
    EXPECT_EQ(song.tick_samples_left, left);
    EXPECT_EQ(player_shared.elapsed_ms.load(relaxed), elapsed);
    EXPECT_EQ(position(1), 0u);
    EXPECT_EQ(levels(2), 0u);
    for (uint32_t k = 0; k < BLOCK_BYTES / 2; ++k) ASSERT_EQ(output_ring[BLOCK_BYTES / 2 + k], 0) << k;
    EXPECT_EQ(player_shared.fill_block, 2u);
}

TEST_F(Render, EndOfANoLoopSongAbandonsTheBlock) {
    start(clock_module(4, 1, 125), true);  // rows 0..2 play: 2880 frames
    memset(output_ring, 0x55, sizeof output_ring);
    EXPECT_TRUE(render_block());
    EXPECT_TRUE(render_block());
    EXPECT_FALSE(render_block());  // the row tick of the last row ends the song
    EXPECT_EQ(player_shared.fill_block, 2u);
    EXPECT_EQ(static_cast<uint16_t>(output_ring[2 * BLOCK_BYTES / 2]), 0x5555);  // not converted
    EXPECT_EQ(position(2), 0u);
}

}  // namespace
