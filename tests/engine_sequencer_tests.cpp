// The song clock: tick lengths, row lengths, the order list, and the next
// position chosen by the row's effects, written as traces of tick calls.
#include <gtest/gtest.h>

#include <functional>

#include "engine/engine.h"
#include "tests/support/fixtures.h"
#include "tests/support/song_script.h"

namespace {

using Rows = std::vector<std::string>;

// A trace case: a module, how many ticks to run, and the expected trace
// ("o.r" row tick, "." later tick, "!" end of the song).
struct TraceCase {
    const char* name;
    std::function<XmModule()> module;
    int ticks;
    bool no_loop;
    const char* trace;
};

XmModule with_speed(XmModule module, uint16_t speed) {
    module.speed = speed;
    return module;
}

XmModule with_restart(XmModule module, uint16_t restart) {
    module.restart_position = restart;
    return module;
}

// Two cell-less patterns of the given row counts, then a one-row pattern.
XmModule cell_less(uint16_t rows) {
    XmModule module = script_module({{""}, {""}});
    module.patterns[0].rows = rows;
    module.patterns[0].cells.clear();
    module.speed = 1;
    return module;
}

void run_cases(const std::vector<TraceCase>& cases) {
    for (const TraceCase& c : cases) {
        SCOPED_TRACE(c.name);
        load_script(c.module());
        EXPECT_EQ(run_trace(c.ticks, c.no_loop), c.trace);
    }
}

TEST(Sequencer, RowsTicksAndTheOrderList) {
    run_cases({
        {"speed 3 over two orders, then round to order 0",
         [] {
             return with_speed(script_module({{"", ""}, {"", ""}}), 3);
         },
         14, false, "0.0 . . 0.1 . . 1.0 . . 1.1 . . 0.0 ."},
        {"restart position 1",
         [] {
             return with_restart(with_speed(script_module({{""}, {""}, {""}}), 1), 1);
         },
         6, false, "0.0 1.0 2.0 1.0 2.0 1.0"},
        {"restart position not below the song length plays order 0",
         [] {
             return with_restart(with_speed(script_module({{""}, {""}, {""}}), 1), 3);
         },
         4, false, "0.0 1.0 2.0 0.0"},
        {"one order with restart 0 repeats",
         [] {
             return with_speed(script_module({{"", ""}}), 1);
         },
         5, false, "0.0 0.1 0.0 0.1 0.0"},
        {"no loop ends on the row tick of the last row",
         [] {
             return with_speed(script_module({{"", ""}, {""}}), 2);
         },
         10, true, "0.0 . 0.1 . 1.0!"},
        {"file speed 0 makes every tick a row tick",
         [] {
             return with_speed(script_module({{"", ""}}), 0);
         },
         3, false, "0.0 0.1 0.0"},
        {"F00 and F02",
         [] {
             return with_speed(script_module({{"... .. .. F00", "... .. .. F02"}}), 3);
         },
         6, false, "0.0 0.1 . 0.0 0.1 ."},
        {"EE2 at speed 2 makes the row six ticks",
         [] {
             return with_speed(script_module({{"... .. .. EE2", ""}}), 2);
         },
         9, false, "0.0 . . . . . 0.1 . 0.0"},
        {"a second EEy on a higher channel overwrites the first",
         [] {
             return with_speed(script_module({{"... .. .. EE3 | ... .. .. EE1", "|"}}), 2);
         },
         5, false, "0.0 . . . 0.1"},
        {"EEy uses the speed set earlier on the same row",
         [] {
             return with_speed(script_module({{"... .. .. F03 | ... .. .. EE1", "|"}}), 1);
         },
         7, false, "0.0 . . . . . 0.1"},
        {"a cell-less pattern lasts its rows", [] { return cell_less(3); }, 5, false, "0.0 0.1 0.2 1.0 0.0"},
        {"a cell-less pattern of 0 rows plays one row", [] { return cell_less(0); }, 3, false, "0.0 1.0 0.0"},
        {"row + 1 is compared as signed 16-bit", [] { return cell_less(32768); }, 3, false, "0.0 1.0 0.0"},
    });
}

TEST(Sequencer, PositionControl) {
    const Rows plain(20, "|");
    run_cases({
        {"B02 jumps to order 2, row 0",
         [&] {
             return with_speed(script_module({{"... .. .. B02 |", "|"}, plain, plain}), 1);
         },
         3, false, "0.0 2.0 2.1"},
        {"B past the song length wraps to order 0",
         [&] {
             return with_speed(script_module({{"|", "... .. .. B07 |"}, plain}), 1);
         },
         3, false, "0.0 0.1 0.0"},
        {"D0F breaks to row 15 of the next order",
         [&] {
             return with_speed(script_module({{"... .. .. D0F |"}, plain}), 1);
         },
         3, false, "0.0 1.15 1.16"},
        {"DFF breaks to row 165, which the next pattern lacks: it plays as a row, then the order moves on",
         [&] {
             return with_speed(script_module({{"... .. .. DFF |"}, plain, plain}), 2);
         },
         5, false, "0.0 . 1.165 . 2.0"},
        {"B then D: the jump's order, the break's row",
         [&] {
             return with_speed(script_module({{"... .. .. B02 | ... .. .. D10"}, plain, plain}), 1);
         },
         2, false, "0.0 2.10"},
        {"D then B: the jump's order, row 0",
         [&] {
             return with_speed(script_module({{"... .. .. D10 | ... .. .. B02"}, plain, plain}), 1);
         },
         2, false, "0.0 2.0"},
        {"E60 on row 1 and E62 on row 3 play rows 1 to 3 three times",
         [] {
             return with_speed(script_module({{"|", "... .. .. E60 |", "|", "... .. .. E62 |", "|"}}), 1);
         },
         12, false, "0.0 0.1 0.2 0.3 0.1 0.2 0.3 0.1 0.2 0.3 0.4 0.0"},
        {"a pattern loop after a jump sets only the row: the jump's order, the loop row",
         [&] {
             return with_speed(script_module({{"|", "| ... .. .. E60", "... .. .. B01 | ... .. .. E61"}, plain}), 1);
         },
         4, false, "0.0 0.1 0.2 1.1"},
        {"D00 on the last order goes to order 0, also with no loop",
         [] {
             return with_speed(script_module({{"|", "... .. .. D00 |"}}), 1);
         },
         4, true, "0.0 0.1 0.0 0.1"},
        {"a jump on the last row of the last order keeps a no-loop song going",
         [] {
             return with_speed(script_module({{"|", "|"}, {"... .. .. B00 |"}}), 1);
         },
         4, true, "0.0 0.1 1.0 0.0"},
        {"pattern delay and a break on one row",
         [&] {
             return with_speed(script_module({{"... .. .. EE1 | ... .. .. D05"}, plain}), 2);
         },
         5, false, "0.0 . . . 1.5"},
    });
}

TEST(Sequencer, TickLengthInFrames) {
    struct Case {
        uint16_t bpm;
        const char* cell;
        int32_t frames;
    };
    for (const Case& c : std::vector<Case>{
             {125, "", 960},
             {115, "", 1043},
             {255, "", 470},
             {0, "", 120000},
             {125, "... .. .. F20", 3750},  // a tempo change sets this tick's length
             {125, "... .. .. F1F", 960},   // below 0x20 it is a speed
         }) {
        SCOPED_TRACE(std::string("bpm ") + std::to_string(c.bpm) + " cell '" + c.cell + "'");
        XmModule module = script_module({{c.cell}});
        module.bpm = c.bpm;
        load_script(module);
        ASSERT_TRUE(sequencer_tick(false));
        EXPECT_EQ(song.tick_samples_left, c.frames);
    }
}

TEST(Sequencer, JumpTargetsAreTakenAtTheRowTick) {
    load_script(with_speed(script_module({{"|", "|"}, {"|", "|"}, {"|", "|"}}), 2));
    EXPECT_EQ(run_trace(3), "0.0 . 0.1");
    // As player_jump_to_order stores them: the current row finishes first.
    song.next_row = 0;
    song.next_order = 2;
    EXPECT_EQ(run_trace(3), ". 2.0 .");
}

}  // namespace

// Real modules: every row tick lands on a position of the order list, and
// the clock keeps running (with the sanitizers this also watches every cell,
// instrument and sample the engine reads).
TEST(Sequencer, CorpusModulesPlay) {
    for (const std::string& path : corpus_modules()) {
        SCOPED_TRACE(path);
        ASSERT_NE(load_module(read_file_bytes(path)), 0);
        for (int tick = 0; tick < 3000; ++tick) {
            ASSERT_TRUE(sequencer_tick(false));
            ASSERT_LT(song.order, song.song_length);
            ASSERT_GT(song.tick_samples_left, 0);
        }
    }
}
