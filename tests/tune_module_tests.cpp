// The embedded tune: assets/tune.xm must be exactly what xm-compose makes of
// assets/tune.score, the program must embed those bytes, and the module must
// have the layout the viewer and the loader rely on.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "assets/song_data.h"
#include "player/render.h"
#include "song/song.h"
#include "tests/support/fixtures.h"
#include "tests/support/xm_builder.h"

namespace {

const std::string kScore = std::string(ORNA_SOURCE_DIR) + "/assets/tune.score";
const std::string kModule = std::string(ORNA_SOURCE_DIR) + "/assets/tune.xm";

constexpr int kPatternRows = 64;
constexpr int kChannels = 4;
// Packed size of each stored pattern; 0 = no cells.
constexpr uint16_t kPackedSizes[11] = {0, 0, 602, 867, 863, 850, 0, 607, 653, 640, 667};
constexpr uint8_t kOrders[12] = {2, 7, 8, 9, 10, 4, 5, 3, 6, 6, 2, 1};

uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t le32(const std::vector<uint8_t>& b, size_t at) { return le16(b, at) | (le16(b, at + 2) << 16); }

std::vector<uint8_t> tune_bytes() { return read_file_bytes(kModule); }

// Runs the built xm-compose; true when it succeeds.
bool compose(const std::string& score, const std::string& out) {
    const std::string composer = std::string(ORNA_BINARY_DIR) + "/bin/xm-compose";
    const std::string command = "\"" + composer + "\" \"" + score + "\" \"" + out + "\" > /dev/null 2>&1";
    return system(command.c_str()) == 0;
}

TEST(Tune, RebuildsByteForByteFromTheScore) {
    const std::string rebuilt = std::string(ORNA_BINARY_DIR) + "/tests/tune_rebuilt.xm";
    remove(rebuilt.c_str());
    ASSERT_TRUE(compose(kScore, rebuilt)) << "xm-compose failed on " << kScore;

    const std::vector<uint8_t> committed = tune_bytes();
    const std::vector<uint8_t> fresh = read_file_bytes(rebuilt);
    ASSERT_EQ(committed.size(), 10518u);
    ASSERT_EQ(fresh.size(), committed.size());
    EXPECT_TRUE(fresh == committed) << "assets/tune.xm differs from what the score builds";
    remove(rebuilt.c_str());

    // The program embeds the committed bytes.
    ASSERT_EQ(song_data_size, size_t(SONG_DATA_SIZE));
    EXPECT_TRUE(std::vector<uint8_t>(song_data, song_data + SONG_DATA_SIZE) == committed);
}

// A two-row pattern whose cells take 4, 3, 2 and 5 bytes at their smallest
// (14 in all) and 6 each at most: every size from 14 to 24 is reached and
// decodes to the same cells; 13 and 25 are refused.
TEST(Tune, ComposerPadsPatternsToTheirExactSize) {
    const std::string score = std::string(ORNA_BINARY_DIR) + "/tests/tune_tiny.score";
    const std::string out = std::string(ORNA_BINARY_DIR) + "/tests/tune_tiny.xm";
    const uint8_t expected[4][5] = {{49, 1, 0x30, 0, 0}, {0, 0, 0, 10, 0x04}, {97, 0, 0, 0, 0}, {64, 1, 0x50, 4, 0xA3}};
    for (int size = 13; size <= 25; ++size) {
        SCOPED_TRACE("size " + std::to_string(size));
        FILE* f = fopen(score.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fprintf(f,
                "channels 2\norder 0\n"
                "instrument 1 \"wave\"\n  loop forward\n  wave 0 90 0 -90\nend\n"
                "pattern 0 rows 2 size %d\n"
                "00 | C-4 01 20 ... | --- .. .. A04\n"
                "01 | === .. .. ... | D#5 01 40 4A3\n"
                "end\n",
                size);
        fclose(f);
        remove(out.c_str());
        const bool made = compose(score, out);
        ASSERT_EQ(made, size >= 14 && size <= 24);
        if (!made) continue;
        const std::vector<uint8_t> bytes = read_file_bytes(out);
        EXPECT_EQ(le16(bytes, 336 + 7), uint32_t(size));
        ASSERT_NE(load_module(bytes), 0);
        const Cell* cells = song.pattern_table[0].cells;
        ASSERT_NE(cells, nullptr);
        for (int c = 0; c < 4; ++c) {
            const uint8_t got[5] = {cells[c].note, cells[c].instrument, cells[c].volume_column, cells[c].effect,
                                    cells[c].param};
            for (int field = 0; field < 5; ++field) EXPECT_EQ(got[field], expected[c][field]) << c << ":" << field;
        }
        // The decoding ends exactly where the instrument header starts.
        EXPECT_EQ(le32(bytes, 336 + 9 + size), 263u);
        unload_module();
    }
    remove(score.c_str());
    remove(out.c_str());
}

// Walks the file as written: header fields, every pattern's cell decoding
// ending exactly at its packed size, the instrument and sample headers, and
// the last sample ending at the last byte.
TEST(Tune, FileLayoutIsExact) {
    const std::vector<uint8_t> b = tune_bytes();
    ASSERT_EQ(b.size(), 10518u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 17), "Extended Module: ");
    EXPECT_EQ(b[37], 0x1A);
    EXPECT_EQ(le32(b, 60), 276u);
    EXPECT_EQ(le16(b, 64), 8u);     // song length
    EXPECT_EQ(le16(b, 66), 5u);     // restart position
    EXPECT_EQ(le16(b, 68), 4u);     // channels
    EXPECT_EQ(le16(b, 70), 11u);    // patterns
    EXPECT_EQ(le16(b, 72), 3u);     // instruments
    EXPECT_EQ(le16(b, 74), 1u);     // linear frequencies
    EXPECT_EQ(le16(b, 76), 3u);     // speed
    EXPECT_EQ(le16(b, 78), 115u);   // BPM
    for (int i = 0; i < 256; ++i) EXPECT_EQ(b[80 + i], i < 12 ? kOrders[i] : 0) << "order " << i;

    size_t at = 336;
    for (int p = 0; p < 11; ++p) {
        SCOPED_TRACE("pattern " + std::to_string(p));
        EXPECT_EQ(le32(b, at), 9u);
        EXPECT_EQ(le16(b, at + 5), uint32_t(kPatternRows));
        ASSERT_EQ(le16(b, at + 7), kPackedSizes[p]);
        at += 9;
        const size_t start = at;
        if (kPackedSizes[p] == 0) continue;
        for (int cell = 0; cell < kPatternRows * kChannels; ++cell) {
            const uint8_t first = b[at++];
            at += (first & 0x80) ? __builtin_popcount(first & 0x1F) : 4;
        }
        EXPECT_EQ(at - start, kPackedSizes[p]);
        at = start + kPackedSizes[p];
    }

    const uint32_t sample_lengths[3] = {32, 811, 2582};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("instrument " + std::to_string(i + 1));
        EXPECT_EQ(le32(b, at), 263u);
        EXPECT_EQ(le16(b, at + 27), 1u);                  // one sample
        EXPECT_EQ(le32(b, at + 29), 40u);                 // sample header size
        for (int note = 0; note < 96; ++note) EXPECT_EQ(b[at + 33 + note], 0) << note;
        at += 263;
        EXPECT_EQ(le32(b, at), sample_lengths[i]);
        EXPECT_EQ(b[at + 14] & 0x10, 0);                  // 8-bit data
        EXPECT_EQ(b[at + 17], 0);                         // plain deltas
        at += 40 + sample_lengths[i];
    }
    EXPECT_EQ(at, b.size());
}

// The model the loader builds from the embedded bytes, as the viewer gets it.
TEST(Tune, LoadsIntoTheExpectedSongModel) {
    const std::vector<uint8_t> bytes(song_data, song_data + SONG_DATA_SIZE);
    ASSERT_NE(load_module(bytes), 0);
    EXPECT_EQ(song.song_length, 8);
    EXPECT_EQ(song.restart_position, 5);
    EXPECT_EQ(song.channel_count, 4);
    EXPECT_EQ(song.pattern_count, 11);
    EXPECT_EQ(song.instrument_count, 3);
    EXPECT_EQ(song.song_flags, LINEAR_FREQUENCIES);
    EXPECT_EQ(song.speed, 3);
    EXPECT_EQ(song.samples_per_tick, 1043);
    EXPECT_EQ(song.global_volume, 64);
    for (int p = 0; p < 11; ++p) {
        SCOPED_TRACE("pattern " + std::to_string(p));
        const Pattern& pattern = song.pattern_table[p];
        EXPECT_EQ(pattern.rows, kPatternRows);
        EXPECT_EQ(pattern.packed_size, kPackedSizes[p]);
        EXPECT_EQ(pattern.cells == nullptr, kPackedSizes[p] == 0);
        if (!pattern.cells) continue;
        // Every cell names a note, key off or nothing, and an existing instrument.
        for (int c = 0; c < kPatternRows * kChannels; ++c) {
            EXPECT_LE(pattern.cells[c].note, 97);
            EXPECT_LE(pattern.cells[c].instrument, 3);
        }
    }

    const Instrument& wave = song.instrument_table[0];
    const Instrument& snare = song.instrument_table[1];
    const Instrument& kick = song.instrument_table[2];
    for (const Instrument* in : {&wave, &snare, &kick}) {
        ASSERT_NE(in->samples[0], nullptr);
        EXPECT_EQ(in->samples[1], nullptr);
        for (uint8_t s : in->sample_map) EXPECT_EQ(s, 0);
    }

    const Sample& w = *wave.samples[0];
    EXPECT_EQ(w.length, 32u);
    EXPECT_EQ(w.loop_type, LOOP_FORWARD);
    EXPECT_EQ(w.loop_start, 0u);
    EXPECT_EQ(w.loop_length, 32u);
    EXPECT_EQ(w.data[32], w.data[0]);
    EXPECT_EQ(w.volume, 64);
    EXPECT_EQ(w.panning, 128);
    EXPECT_EQ(wave.volume_point_count, 2);
    EXPECT_EQ(wave.volume_points[0].x, 0);
    EXPECT_EQ(wave.volume_points[0].y, 64);
    EXPECT_EQ(wave.volume_points[1].x, 1);
    EXPECT_EQ(wave.volume_points[1].y, 0);
    EXPECT_EQ(wave.volume_type, ENVELOPE_ON | ENVELOPE_SUSTAIN);
    EXPECT_EQ(wave.volume_sustain, 0);
    EXPECT_EQ(wave.panning_point_count, 1);
    EXPECT_EQ(wave.panning_type, 0);

    const Sample& s = *snare.samples[0];
    EXPECT_EQ(s.length, 811u);
    EXPECT_EQ(s.loop_type, LOOP_NONE);
    EXPECT_EQ(s.loop_start, 0u);
    EXPECT_EQ(s.loop_length, 811u);
    EXPECT_EQ(s.volume, 64);
    EXPECT_EQ(snare.volume_point_count, 6);
    EXPECT_EQ(snare.panning_point_count, 6);
    EXPECT_EQ(snare.volume_type, 0);
    EXPECT_EQ(snare.panning_type, 0);

    const Sample& k = *kick.samples[0];
    EXPECT_EQ(k.length, 2582u);
    EXPECT_EQ(k.loop_type, LOOP_NONE);
    EXPECT_EQ(k.loop_length, 2582u);
    EXPECT_EQ(k.volume, 56);
    EXPECT_EQ(kick.volume_point_count, 0);
    EXPECT_EQ(kick.panning_point_count, 0);
    EXPECT_EQ(kick.fadeout, 512);
    unload_module();
}

// Rendered as the player renders it: audible in every order position, well
// below full scale, and the loop seamless: the pattern at the restart
// position sounds the same, from its second row on, whether it follows the
// first statement (position 4) or the end of the loop (position 7). Its first
// row differs only by the previous notes' release.
TEST(Tune, PlaysBelowFullScaleAndLoopsSeamlessly) {
    const std::vector<uint8_t> bytes(song_data, song_data + SONG_DATA_SIZE);
    ASSERT_NE(load_module(bytes), 0);
    player_shared.paused.store(0);
    player_shared.no_loop = 0;
    player_shared.master_volume.store(32768);
    player_shared.fill_block = 0;
    clear_block_reports();

    const size_t row_frames = 3 * 1043, position_frames = kPatternRows * row_frames;
    std::vector<int16_t> pcm;  // interleaved left, right
    while (pcm.size() < 2 * 9 * position_frames) {
        const uint32_t block = player_shared.fill_block;
        ASSERT_TRUE(render_block());
        const int16_t* out = output_ring + block * BLOCK_FRAMES * 2;
        pcm.insert(pcm.end(), out, out + BLOCK_FRAMES * 2);
    }
    unload_module();

    int peak = 0;
    for (int position = 0; position < 9; ++position) {
        double energy = 0;
        for (size_t i = 2 * position * position_frames; i < 2 * (position + 1) * position_frames; ++i) {
            peak = std::max(peak, abs(int(pcm[i])));
            energy += double(pcm[i]) * pcm[i];
        }
        const double rms = sqrt(energy / (2 * position_frames));
        EXPECT_GT(rms, 1000) << "position " << position;
        EXPECT_LT(rms, 6000) << "position " << position;
    }
    EXPECT_GT(peak, 8000);
    EXPECT_LT(peak, 20000);

    const size_t first = 2 * (5 * position_frames + row_frames), again = 2 * (8 * position_frames + row_frames);
    const size_t count = 2 * (position_frames - row_frames);
    EXPECT_TRUE(std::equal(pcm.begin() + first, pcm.begin() + first + count, pcm.begin() + again));
}

}  // namespace
