// What the loader refuses: each failure condition with the smallest module
// that shows it (next to the nearest one that loads), truncated modules,
// and damaged ones, which must fail or load without reading or writing
// out of bounds.
#include <gtest/gtest.h>

#include <functional>

#include "platform/win32.h"
#include "song/module_source.h"
#include "song/song.h"
#include "tests/support/xm_builder.h"

namespace {

// One pattern with cells and one instrument with one sample.
XmModule base_module() {
    XmModule m;
    m.channels = 2;
    XmPattern p;
    p.rows = 2;
    p.cells = {XmCell{49, 1, 0x40, 1, 2}, XmCell{}, XmCell{}, XmCell{97, 0, 0, 0, 0}};
    m.patterns = {p};
    XmInstrument ins;
    XmSample s;
    s.values = {0, 5, -5};
    ins.samples = {s};
    m.instruments = {ins};
    return m;
}

// A module of three instruments that exercises every kind of data: a
// filler pattern, cells, an instrument without samples, 8-bit, 16-bit and
// 4-bit packed samples; its last byte is sample data.
XmModule rich_module() {
    XmModule m = base_module();
    m.song_length = 3;
    m.order = {0, 2, 1};
    m.patterns.push_back(XmPattern{});
    XmInstrument none;
    XmInstrument two;
    XmSample wide;
    wide.is_16bit = true;
    wide.values = {1000, -1000, 30000};
    wide.loop_type = LOOP_PINGPONG;
    wide.loop_length = 2;
    XmSample packed;
    packed.packing = 0xAD;
    packed.length_override = 5;
    packed.raw_data.assign(16, 1);
    packed.raw_data.insert(packed.raw_data.end(), {0x12, 0x34, 0x56});
    two.samples = {wide, packed};
    two.volume.points = {{0, 64}, {10, 0}};
    two.volume.type = ENVELOPE_ON;
    m.instruments = {m.instruments[0], none, two};
    return m;
}

struct FailureCase {
    const char* name;
    std::function<void(XmModule&)> change;
    int expected;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

XmSample one_sample() {
    XmSample s;
    s.values = {1};
    return s;
}

const FailureCase failure_cases[] = {
    {"no patterns in the file", [](XmModule& m) { m.patterns.clear(); m.order = {0}; }, 0},
    {"song length 0", [](XmModule& m) { m.song_length = 0; }, 0},
    {"song length 257", [](XmModule& m) { m.song_length = 257; }, 0},
    {"song length 256", [](XmModule& m) { m.song_length = 256; }, 1},
    {"0 channels", [](XmModule& m) { m.channels = 0; m.patterns[0].cells.clear(); }, 0},
    {"256 channels (low byte 0)", [](XmModule& m) { m.channels = 256; m.patterns[0].cells.clear(); }, 0},
    {"65 channels", [](XmModule& m) { m.channels = 65; m.patterns[0].cells.clear(); }, 0},
    {"64 channels",
     [](XmModule& m) {
         m.channels = 64;
         m.patterns[0].cells.assign(2 * 64, XmCell{});
     },
     1},
    {"pattern with data and 0 rows", [](XmModule& m) { m.patterns[0].rows = 0; }, 0},
    {"pattern with data and 257 rows",
     [](XmModule& m) {
         m.patterns[0].rows = 257;
         m.patterns[0].cells.assign(257 * 2, XmCell{});
     },
     0},
    {"pattern with data and 256 rows",
     [](XmModule& m) {
         m.patterns[0].rows = 256;
         m.patterns[0].cells.assign(256 * 2, XmCell{});
     },
     1},
    {"pattern without data and 0 rows",
     [](XmModule& m) {
         m.patterns[0].rows = 0;
         m.patterns[0].cells.clear();
     },
     1},
    {"17 samples", [](XmModule& m) { m.instruments[0].samples.assign(17, one_sample()); }, 0},
    {"16 samples", [](XmModule& m) { m.instruments[0].samples.assign(16, one_sample()); }, 1},
    {"sample header size 41", [](XmModule& m) { m.instruments[0].sample_header_size = 41; }, 0},
    {"no samples, any sample header size",
     [](XmModule& m) {
         m.instruments[0].samples.clear();
         m.instruments[0].sample_header_size = 0xFFFFFFFFu;
     },
     1},
    {"sample length 2^22",
     [](XmModule& m) {
         m.instruments[0].samples[0].length_override = 4194304;
         m.instruments[0].samples[0].raw_data.assign(4194304, 0);
     },
     0},
    {"16-bit sample length 2^22",
     [](XmModule& m) {
         XmSample& s = m.instruments[0].samples[0];
         s.is_16bit = true;
         s.length_override = 2 * 4194304;
     },
     0},
    {"sample length 2^22 - 1",
     [](XmModule& m) {
         m.instruments[0].samples[0].length_override = 4194303;
         m.instruments[0].samples[0].raw_data.assign(4194303, 0);
     },
     1},
};

class SongLoadFailure : public ::testing::TestWithParam<FailureCase> {
protected:
    void TearDown() override { unload_module(); }
};

}  // namespace

TEST_P(SongLoadFailure, ResultMatchesTheTable) {
    XmModule m = base_module();
    GetParam().change(m);
    EXPECT_EQ(load_module(build_xm(m)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, SongLoadFailure, ::testing::ValuesIn(failure_cases),
                         [](const testing::TestParamInfo<FailureCase>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 name += isalnum(uint8_t(*c)) ? *c : '_';
                             return name;
                         });

// An unsigned comparison: the largest sample header size fails too. (The
// field is patched in, since the builder would pad the header to that size.)
TEST(SongLoadFailureBytes, SampleHeaderSizeOfAllOnesFails) {
    XmModule m = base_module();
    const std::vector<XmInstrument> instruments = m.instruments;
    m.instruments.clear();
    const size_t instrument_start = build_xm(m).size();
    m.instruments = instruments;
    std::vector<uint8_t> bytes = build_xm(m);
    ASSERT_EQ(load_module(bytes), 1);
    for (int i = 0; i < 4; ++i) bytes[instrument_start + 29 + i] = 0xFF;
    EXPECT_EQ(load_module(bytes), 0);
    unload_module();
}

// A heap that cannot supply a block ends the load with 0, whichever
// allocation it is.
TEST(SongLoadAllocation, EveryRefusedBlockFailsTheLoad) {
    const std::vector<uint8_t> bytes = build_xm(rich_module());
    int loaded_at = -1;
    for (SIZE_T limit = 0; limit < 64 * 1024; limit += 16) {
        HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, 0, limit == 0 ? 1 : limit);
        ASSERT_NE(heap, nullptr);
        song_set_heap(heap);
        source_select(SOURCE_MEMORY, bytes.data(), bytes.size(), nullptr);
        const int result = song_load();
        source_close();
        song_set_heap(nullptr);
        HeapDestroy(heap);
        if (result) {
            loaded_at = int(limit);
            break;
        }
    }
    EXPECT_GT(loaded_at, 0);
}

TEST(SongLoadTruncation, EveryPrefixFailsAndTheWholeLoads) {
    const std::vector<uint8_t> bytes = build_xm(rich_module());
    for (size_t size = 0; size < bytes.size(); ++size) {
        const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + long(size));
        ASSERT_EQ(load_module(prefix), 0) << "prefix of " << size << " bytes of " << bytes.size();
    }
    EXPECT_EQ(load_module(bytes), 1);
    unload_module();
}

// A truncated module whose data would need far more memory than the file
// holds fails before the memory is asked for.
TEST(SongLoadTruncation, SmallFileNeverAllocatesFarMoreThanItsSize) {
    XmModule m = base_module();
    m.patterns[0].rows = 256;
    m.channels = 64;
    m.patterns[0].packed = {0x80};
    XmSample big;
    big.length_override = 4194303;
    big.raw_data = {1, 2, 3};
    m.instruments[0].samples = {big};
    const std::vector<uint8_t> pattern_short = build_xm(m);
    m.patterns[0].packed.assign(256 * 64, 0x80);
    const std::vector<uint8_t> sample_short = build_xm(m);
    for (const std::vector<uint8_t>* bytes : {&pattern_short, &sample_short}) {
        HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, 0, 256 * 1024);
        song_set_heap(heap);
        source_select(SOURCE_MEMORY, bytes->data(), bytes->size(), nullptr);
        EXPECT_EQ(song_load(), 0);
        source_close();
        HeapDestroy(heap);
    }
    song_set_heap(nullptr);
}

// Every byte of a valid module set to a few telling values: the load may
// succeed or fail, but stays in bounds (this matters under the sanitizers)
// and a loaded model keeps its invariants.
TEST(SongLoadDamage, DamagedBytesNeverBreakTheModel) {
    const std::vector<uint8_t> bytes = build_xm(rich_module());
    for (size_t at = 0; at < bytes.size(); ++at) {
        for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xAD, 0xFF}) {
            std::vector<uint8_t> damaged = bytes;
            damaged[at] = value;
            if (!load_module(damaged)) continue;
            ASSERT_GE(song.channel_count, 1);
            ASSERT_LE(song.channel_count, 64);
            for (uint32_t i = 0; i < song.instrument_count; ++i)
                for (const Sample* s : song.instrument_table[i].samples) {
                    if (s == nullptr) continue;
                    ASSERT_LE(uint64_t(s->loop_start) + s->loop_length, s->length) << "byte " << at;
                    if (s->loop_type != LOOP_NONE) {
                        ASSERT_LT(s->loop_start, s->length);
                        ASSERT_GE(s->loop_length, 1u);
                    }
                }
        }
    }
    unload_module();
}
