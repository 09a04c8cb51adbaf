// The XM loader: modules built by the test's XM builder load into the song
// model with the values, layout and prepared sample data playback relies on.
#include <gtest/gtest.h>

#include <string.h>

#include "song/song.h"
#include "tests/support/xm_builder.h"

namespace {

XmSample sample_of_values(std::vector<int16_t> values) {
    XmSample s;
    s.values = std::move(values);
    return s;
}

XmInstrument instrument_with(std::vector<XmSample> samples) {
    XmInstrument ins;
    ins.samples = std::move(samples);
    return ins;
}

XmPattern empty_pattern(uint16_t rows = 64) {
    XmPattern p;
    p.rows = rows;
    return p;
}

// A module with one empty pattern and the given instruments.
XmModule module_with(std::vector<XmInstrument> instruments) {
    XmModule m;
    m.patterns.push_back(empty_pattern());
    m.instruments = std::move(instruments);
    return m;
}

const Sample& loaded_sample(int instrument, int sample) {
    const Sample* s = song.instrument_table[instrument].samples[sample];
    if (s == nullptr) throw std::runtime_error("no such sample");
    return *s;
}

class SongLoad : public ::testing::Test {
protected:
    void TearDown() override { unload_module(); }
};

}  // namespace

TEST_F(SongLoad, HeaderValuesAndSequencerStart) {
    XmModule m;
    m.song_length = 3;
    m.restart_position = 7;  // stored as read
    m.channels = 4;
    m.flags = 0;
    m.speed = 3;
    m.bpm = 115;
    m.order = {1, 0, 1, 9, 9};  // entries from song_length on play no part
    m.patterns = {empty_pattern(), empty_pattern(32)};
    ASSERT_EQ(load_module(build_xm(m)), 1);
    EXPECT_EQ(song.song_length, 3);
    EXPECT_EQ(song.restart_position, 7);
    EXPECT_EQ(song.pattern_count, 2);
    EXPECT_EQ(song.song_flags, 0);
    EXPECT_EQ(song.speed, 3);
    EXPECT_EQ(song.samples_per_tick, 1043);
    EXPECT_EQ(song.global_volume, 64);
    EXPECT_EQ(song.global_volume_slide, 0);
    EXPECT_EQ(song.tick, 0);
    EXPECT_EQ(song.tick_samples_left, 0);
    EXPECT_EQ(song.pattern_delay, 0);
    EXPECT_EQ(song.next_order.load(), 0);
    EXPECT_EQ(song.next_row.load(), 0);
    EXPECT_EQ(song.order_table[3], 9);
    EXPECT_EQ(song.pattern_table[1].rows, 32);
    EXPECT_EQ(song.pattern_table[1].cells, nullptr);
}

TEST_F(SongLoad, BpmZeroGivesTheLongestTick) {
    XmModule m = module_with({});
    m.bpm = 0;
    ASSERT_EQ(load_module(build_xm(m)), 1);
    EXPECT_EQ(song.samples_per_tick, 120000);
}

// Voices, then Channels, Patterns and Instruments in one block; each
// channel names the first voice of its pair, which alone has step 1.0.
TEST_F(SongLoad, MainBlockLayoutAndVoicePairs) {
    XmModule m = module_with({XmInstrument{}, XmInstrument{}});
    m.channels = 4;
    ASSERT_EQ(load_module(build_xm(m)), 1);
    ASSERT_EQ(song.channel_count, 4);
    EXPECT_EQ(static_cast<void*>(song.channel_table), static_cast<void*>(song.voice_table + 8));
    EXPECT_EQ(static_cast<void*>(song.pattern_table), static_cast<void*>(song.channel_table + 4));
    EXPECT_EQ(static_cast<void*>(song.instrument_table), static_cast<void*>(song.pattern_table + 1));
    for (int v = 0; v < 8; ++v) {
        const Voice& voice = song.voice_table[v];
        EXPECT_EQ(voice.step, v % 2 == 0 ? uint64_t(1) << 32 : 0u) << "voice " << v;
        EXPECT_EQ(voice.sample, nullptr);
        EXPECT_EQ(voice.final_volume, 0);
    }
    for (int c = 0; c < 4; ++c) {
        const Channel& channel = song.channel_table[c];
        EXPECT_EQ(channel.voice, &song.voice_table[2 * c]);
        EXPECT_EQ(channel.instrument, 0);
        EXPECT_EQ(channel.panning, 0);
        EXPECT_EQ(channel.vol_env_output, 0);
        EXPECT_EQ(channel.fadeout_volume, 0);
    }
}

TEST_F(SongLoad, OrderedPatternsTheFileLacksBecomeFillers) {
    XmModule m;
    m.channels = 3;
    m.order = {12};
    for (int i = 0; i < 10; ++i) m.patterns.push_back(empty_pattern(16));
    ASSERT_EQ(load_module(build_xm(m)), 1);
    ASSERT_EQ(song.pattern_count, 13);
    EXPECT_EQ(song.pattern_table[9].cells, nullptr);
    for (int p = 10; p <= 12; ++p) {
        const Pattern& filler = song.pattern_table[p];
        EXPECT_EQ(filler.rows, 64);
        EXPECT_EQ(filler.packed_size, 0);
        ASSERT_NE(filler.cells, nullptr);
        static const Cell zero = {};
        for (int i = 0; i < 64 * 3; ++i) ASSERT_EQ(memcmp(&filler.cells[i], &zero, sizeof zero), 0);
    }
}

// Packed cells: a set bit 7 lists the fields that follow (bits 5-6 ignored),
// a clear one is the note followed by the other four bytes. Instrument
// numbers above the instrument count become 0.
TEST_F(SongLoad, PackedCellsDecodeAndConsumeExactly) {
    XmModule m = module_with({XmInstrument{}, XmInstrument{}, XmInstrument{}});
    m.channels = 4;
    XmPattern p;
    p.rows = 1;
    p.packed = {0x80, 0x9F, 1, 5, 3, 4, 5, 0x31, 3, 7, 8, 9, 0xE1, 60};
    p.packed_size = 1000;  // not used to bound or skip the data
    XmPattern second;
    second.rows = 1;
    second.cells = {XmCell{}, XmCell{}, XmCell{}, XmCell{2, 4, 0, 0, 0}};
    m.patterns = {p, second};
    ASSERT_EQ(load_module(build_xm(m)), 1);
    const Cell* c = song.pattern_table[0].cells;
    ASSERT_NE(c, nullptr);
    const uint8_t expected[4][5] = {{0, 0, 0, 0, 0}, {1, 0, 3, 4, 5}, {49, 3, 7, 8, 9}, {60, 0, 0, 0, 0}};
    for (int i = 0; i < 4; ++i) {
        const uint8_t got[5] = {c[i].note, c[i].instrument, c[i].volume_column, c[i].effect, c[i].param};
        EXPECT_EQ(memcmp(got, expected[i], 5), 0) << "cell " << i;
    }
    EXPECT_EQ(song.pattern_table[0].packed_size, 1000);
    const Cell& last = song.pattern_table[1].cells[3];
    EXPECT_EQ(last.note, 2);
    EXPECT_EQ(last.instrument, 0);
}

// Only the low byte of the instrument count is used, for the records and
// for the cell check alike.
TEST_F(SongLoad, InstrumentCountUsesItsLowByte) {
    XmModule m = module_with({XmInstrument{}});
    m.instrument_count = 0x0101;
    XmPattern p;
    p.rows = 1;
    p.cells = {XmCell{1, 1, 0, 0, 0}, XmCell{1, 2, 0, 0, 0}, XmCell{}, XmCell{}};
    m.patterns = {p};
    ASSERT_EQ(load_module(build_xm(m)), 1);
    EXPECT_EQ(song.instrument_count, 1);
    EXPECT_EQ(song.pattern_table[0].cells[0].instrument, 1);
    EXPECT_EQ(song.pattern_table[0].cells[1].instrument, 0);
}

TEST_F(SongLoad, ZeroInstrumentsLoad) {
    ASSERT_EQ(load_module(build_xm(module_with({}))), 1);
    EXPECT_EQ(song.instrument_count, 0);
}

TEST_F(SongLoad, InstrumentFieldsAndSettledValues) {
    XmInstrument ins = instrument_with({sample_of_values({1, 2})});
    ins.sample_map.assign(96, 0);
    ins.sample_map[95] = 7;
    ins.volume.points = {{0, 64}, {1, 0}};
    ins.volume.type = ENVELOPE_ON | ENVELOPE_SUSTAIN;
    ins.volume.sustain = 1;
    ins.panning.points = {{0, 32}};
    ins.panning.type = ENVELOPE_ON;  // one point: switched off
    ins.vibrato_type = 1;
    ins.vibrato_sweep = 2;
    ins.vibrato_depth = 3;
    ins.vibrato_rate = 4;
    ins.fadeout = 40000;  // doubled, kept to 16 bits
    XmInstrument many = instrument_with({sample_of_values({0})});
    many.volume.points = {{0, 1}, {2, 3}};
    many.volume.count = 14;  // stored as read
    many.volume.loop_start = 13;
    many.volume.type = ENVELOPE_ON | ENVELOPE_LOOP;
    many.fadeout = 256;
    ASSERT_EQ(load_module(build_xm(module_with({ins, many}))), 1);
    const Instrument& a = song.instrument_table[0];
    EXPECT_EQ(a.sample_map[95], 7);
    EXPECT_EQ(a.volume_point_count, 2);
    EXPECT_EQ(a.volume_points[1].x, 1);
    EXPECT_EQ(a.volume_points[0].y, 64);
    EXPECT_EQ(a.volume_type, ENVELOPE_ON | ENVELOPE_SUSTAIN);
    EXPECT_EQ(a.volume_sustain, 1);
    EXPECT_EQ(a.panning_point_count, 1);
    EXPECT_EQ(a.panning_type, 0);
    EXPECT_EQ(a.panning_points[0].y, 32);
    EXPECT_EQ(a.vibrato_type, 1);
    EXPECT_EQ(a.vibrato_sweep, 2);
    EXPECT_EQ(a.vibrato_depth, 3);
    EXPECT_EQ(a.vibrato_rate, 4);
    EXPECT_EQ(a.fadeout, 14464);
    EXPECT_EQ(a.samples[1], nullptr);
    const Instrument& b = song.instrument_table[1];
    EXPECT_EQ(b.volume_point_count, 14);
    EXPECT_EQ(b.volume_loop_start, 13);
    EXPECT_EQ(b.volume_type, ENVELOPE_ON | ENVELOPE_LOOP);
    EXPECT_EQ(b.fadeout, 512);
}

// Header sizes other than the usual: longer ones are skipped, a 29-byte
// header of an instrument without samples makes the loader seek back over
// the 4 bytes it read too many.
TEST_F(SongLoad, InstrumentHeaderSizesMoveTheNextHeader) {
    XmInstrument longer = instrument_with({sample_of_values({5, 6})});
    longer.header_size = 300;
    XmInstrument shortest;
    shortest.header_size = 29;
    XmInstrument last = instrument_with({sample_of_values({-3})});
    last.header_size = 241;
    ASSERT_EQ(load_module(build_xm(module_with({longer, shortest, last}))), 1);
    EXPECT_EQ(loaded_sample(0, 0).data[1], 6 * 256);
    EXPECT_EQ(song.instrument_table[1].samples[0], nullptr);
    EXPECT_EQ(loaded_sample(2, 0).data[0], -3 * 256);
}

// Trackers end files with such an instrument: the 33-byte read runs 4
// bytes past the end, which the loader does not need.
TEST_F(SongLoad, SampleLessInstrumentOf29BytesMayEndTheFile) {
    XmInstrument shortest;
    shortest.header_size = 29;
    std::vector<uint8_t> bytes = build_xm(module_with({instrument_with({sample_of_values({1})}), shortest}));
    ASSERT_EQ(load_module(bytes), 1);
    bytes.pop_back();
    EXPECT_EQ(load_module(bytes), 0);
}

// A module header shorter than 276 bytes in a file of fewer than 336: only
// the order entries that can play must be there, and nothing of the song
// before fills the rest.
TEST_F(SongLoad, ShortModuleHeaderInASmallFile) {
    XmModule before = module_with({});
    before.order.assign(256, 0);
    before.order[255] = 0x77;
    ASSERT_EQ(load_module(build_xm(before)), 1);
    XmModule m;
    m.song_length = 2;
    m.order = {0, 1};
    m.header_size = 20 + 2;
    m.patterns = {empty_pattern(), empty_pattern(8)};
    std::vector<uint8_t> bytes = build_xm(m);
    ASSERT_LT(bytes.size(), 336u);
    ASSERT_EQ(load_module(bytes), 1);
    EXPECT_EQ(song.pattern_count, 2);
    EXPECT_EQ(song.order_table[1], 1);
    EXPECT_EQ(song.pattern_table[1].rows, 8);
    EXPECT_EQ(song.order_table[255], 0);
}

// A header size whose position the source refuses: reading goes on after
// the 336 bytes of the header read.
TEST_F(SongLoad, RefusedHeaderSeekReadsOn) {
    std::vector<uint8_t> bytes = build_xm(module_with({instrument_with({sample_of_values({4})})}));
    bytes[60] = 0x00, bytes[61] = 0xFF, bytes[62] = 0xFF, bytes[63] = 0x7F;
    ASSERT_EQ(load_module(bytes), 1);
    EXPECT_EQ(loaded_sample(0, 0).data[0], 4 * 256);
}

// The loop bounds are clamped to the sample and the continuation value is
// written just past the loop end.
TEST_F(SongLoad, SampleLoopsAreClampedAndContinued) {
    struct Case {
        uint32_t length, loop_start, loop_length;
        uint8_t type;
        uint32_t want_start, want_length;
        uint8_t want_type;
    };
    const Case cases[] = {
        {50, 100, 10, LOOP_FORWARD, 0, 50, LOOP_NONE},       // start beyond the end: no loop left
        {100, 90, 20, LOOP_FORWARD, 90, 10, LOOP_FORWARD},   // length clamped
        {20, 10, 5, LOOP_PINGPONG, 10, 5, LOOP_PINGPONG},
        {20, 4, 0, LOOP_FORWARD, 0, 20, LOOP_NONE},          // empty loop: unlooped
        {20, 4, 6, LOOP_NONE, 0, 20, LOOP_NONE},
        {20, 4, 6, 3, 4, 6, 3},                              // both bits kept
        {20, 0xFFFFFFF0u, 0xFFFFFFF0u, LOOP_FORWARD, 0, 20, LOOP_NONE},  // no overflow
        {20, 19, 0xFFFFFFFFu, LOOP_FORWARD, 19, 1, LOOP_FORWARD},
    };
    for (const Case& c : cases) {
        XmSample s;
        for (uint32_t i = 0; i < c.length; ++i) s.values.push_back(int16_t(i * 3 - 30));
        s.loop_start = c.loop_start;
        s.loop_length = c.loop_length;
        s.loop_type = c.type;
        ASSERT_EQ(load_module(build_xm(module_with({instrument_with({s})}))), 1);
        const Sample& got = loaded_sample(0, 0);
        SCOPED_TRACE(testing::Message() << c.length << " " << c.loop_start << "+" << c.loop_length);
        EXPECT_EQ(got.length, c.length);
        EXPECT_EQ(got.loop_start, c.want_start);
        EXPECT_EQ(got.loop_length, c.want_length);
        EXPECT_EQ(got.loop_type, c.want_type);
        const uint32_t end = got.loop_start + got.loop_length;
        if (c.want_type == LOOP_FORWARD) EXPECT_EQ(got.data[end], got.data[got.loop_start]);
        else if (c.want_type == LOOP_PINGPONG) EXPECT_EQ(got.data[end], got.data[end - 1]);
        else EXPECT_EQ(got.data[c.length], 0);
        EXPECT_EQ(got.data[c.length + 1], 0);
        EXPECT_EQ(got.data[c.length + 2], 0);
    }
}

TEST_F(SongLoad, EightBitDeltasWidenAndWrap) {
    XmSample s;
    s.raw_data = {10, 246, 5, 0x7F, 0x02};
    s.length_override = 5;
    s.volume = 50;
    s.finetune = -16;
    s.panning = 200;
    s.relative_note = -12;
    ASSERT_EQ(load_module(build_xm(module_with({instrument_with({s})}))), 1);
    const Sample& got = loaded_sample(0, 0);
    const int16_t expected[] = {2560, 0, 1280, int16_t(0x84 << 8), int16_t(0x86 << 8), 0, 0, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(got.data[i], expected[i]) << i;
    EXPECT_EQ(got.volume, 50);
    EXPECT_EQ(got.finetune, -16);
    EXPECT_EQ(got.panning, 200);
    EXPECT_EQ(got.relative_note, -12);
    EXPECT_EQ(got.is_16bit, 0);
    EXPECT_EQ(reinterpret_cast<const void*>(got.data), reinterpret_cast<const void*>(&got + 1));
}

// A 16-bit sample of odd byte length: the last byte belongs to the next
// sample's data.
TEST_F(SongLoad, SixteenBitDataAndOddByteLength) {
    XmSample wide;
    wide.is_16bit = true;
    wide.length_override = 1001;
    for (int i = 0; i < 500; ++i) {
        wide.raw_data.push_back(uint8_t(i == 0 ? 0x34 : 1));
        wide.raw_data.push_back(uint8_t(i == 0 ? 0x92 : 0));
    }
    wide.raw_data.push_back(7);  // byte 1001
    XmSample next;
    next.length_override = 2;
    next.raw_data = {3};  // with the byte above: deltas 7, 3
    ASSERT_EQ(load_module(build_xm(module_with({instrument_with({wide, next})}))), 1);
    const Sample& a = loaded_sample(0, 0);
    EXPECT_EQ(a.length, 500u);
    EXPECT_EQ(a.is_16bit, 1);
    EXPECT_EQ(a.data[0], int16_t(0x9234));
    EXPECT_EQ(a.data[499], int16_t(0x9234 + 499));
    const Sample& b = loaded_sample(0, 1);
    EXPECT_EQ(b.data[0], 7 * 256);
    EXPECT_EQ(b.data[1], 10 * 256);
}

// 4-bit packing: a 16-entry delta table, then one byte per two samples, low
// nibble first, into an 8-bit accumulator. An odd length fills data[length].
TEST_F(SongLoad, FourBitPackedDeltas) {
    XmSample s;
    s.packing = 0xAD;
    s.length_override = 3;
    s.raw_data.assign(16, 0);
    s.raw_data[1] = 1;
    s.raw_data[2] = 2;
    s.raw_data[15] = uint8_t(-128);
    s.raw_data.push_back(0x21);
    s.raw_data.push_back(0x21);
    XmSample wrap;
    wrap.packing = 0xAD;
    wrap.length_override = 4;
    wrap.loop_type = LOOP_FORWARD;
    wrap.loop_start = 1;
    wrap.loop_length = 3;
    wrap.raw_data.assign(16, 0);
    wrap.raw_data[15] = uint8_t(-128);
    wrap.raw_data[1] = 100;
    wrap.raw_data.push_back(0xF1);  // +100, -128: 100, 228 (wrapped)
    wrap.raw_data.push_back(0x1F);  // -128, +100: 100, 200
    ASSERT_EQ(load_module(build_xm(module_with({instrument_with({s, wrap})}))), 1);
    const Sample& a = loaded_sample(0, 0);
    EXPECT_EQ(a.length, 3u);
    EXPECT_EQ(a.data[0], 256);
    EXPECT_EQ(a.data[1], 768);
    EXPECT_EQ(a.data[2], 1024);
    EXPECT_EQ(a.data[3], 1536);
    EXPECT_EQ(a.data[4], 0);
    const Sample& b = loaded_sample(0, 1);
    const uint8_t acc[4] = {100, 228, 100, 200};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(b.data[i], int16_t(uint16_t(acc[i] << 8))) << i;
    EXPECT_EQ(b.data[4], b.data[1]);  // continuation of the forward loop 1..3
}

// A sample header shorter than 18 bytes: the fields it does not cover read 0.
TEST_F(SongLoad, ShortSampleHeaderReadsMissingFieldsAsZero) {
    XmSample s = sample_of_values({1, 2, 3});
    s.loop_type = LOOP_FORWARD;
    s.loop_length = 2;
    s.volume = 40;
    s.panning = 99;
    XmInstrument ins = instrument_with({s});
    ins.sample_header_size = 12;
    ASSERT_EQ(load_module(build_xm(module_with({ins}))), 1);
    const Sample& got = loaded_sample(0, 0);
    EXPECT_EQ(got.length, 3u);
    EXPECT_EQ(got.loop_type, LOOP_NONE);
    EXPECT_EQ(got.volume, 0);
    EXPECT_EQ(got.panning, 0);
    EXPECT_EQ(got.data[2], 3 * 256);
}

// The empty sample is shared by every song; a finetune that playback wrote
// into it does not carry over to the next song.
TEST_F(SongLoad, EmptySampleStartsEverySongAtZero) {
    ASSERT_EQ(load_module(build_xm(module_with({}))), 1);
    empty_sample.finetune = 77;
    ASSERT_EQ(load_module(build_xm(module_with({}))), 1);
    EXPECT_EQ(empty_sample.finetune, 0);
    EXPECT_EQ(empty_sample.length, 0u);
    EXPECT_EQ(empty_sample.loop_type, LOOP_NONE);
    ASSERT_NE(empty_sample.data, nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(empty_sample.data[i], 0);
}
