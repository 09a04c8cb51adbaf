// The XM loader: a module built by the test's XM builder loads into the
// song model with the values and layout playback relies on.
#include <gtest/gtest.h>

#include "song/song.h"
#include "tests/support/xm_builder.h"

namespace {

// One pattern of 2 rows x 2 channels and one instrument with one sample.
XmModule small_module() {
    XmModule m;
    m.channels = 2;
    m.speed = 3;
    m.bpm = 115;
    XmPattern p;
    p.rows = 2;
    p.cells.resize(4);
    p.cells[0] = XmCell{49, 1, 0x40, 0x0C, 0x20};
    p.cells[3] = XmCell{97, 0, 0, 0, 0};
    m.patterns.push_back(p);
    XmInstrument ins;
    XmSample s;
    s.values = {0, 10, -10, 127};
    ins.samples.push_back(s);
    ins.sample_map.assign(96, 0);
    m.instruments.push_back(ins);
    return m;
}

}  // namespace

TEST(SongLoad, SmallModuleBuildsTheModel) {
    ASSERT_EQ(load_module(build_xm(small_module())), 1);
    EXPECT_EQ(song.channel_count, 2);
    EXPECT_EQ(song.pattern_count, 1);
    EXPECT_EQ(song.instrument_count, 1);
    EXPECT_EQ(song.samples_per_tick, 120000 / 115);
    EXPECT_EQ(song.speed, 3);
    EXPECT_EQ(song.global_volume, 64);
    const Pattern& p = song.pattern_table[0];
    ASSERT_NE(p.cells, nullptr);
    EXPECT_EQ(p.rows, 2);
    EXPECT_EQ(p.cells[0].note, 49);
    EXPECT_EQ(p.cells[0].instrument, 1);
    EXPECT_EQ(p.cells[0].param, 0x20);
    EXPECT_EQ(p.cells[3].note, 97);
    const Sample* s = song.instrument_table[0].samples[0];
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->length, 4u);
    EXPECT_EQ(s->data[1], 10 * 256);
    EXPECT_EQ(s->data[2], -10 * 256);
    EXPECT_EQ(s->data[3], 127 * 256);
    unload_module();
}
