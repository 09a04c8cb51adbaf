// Song scripts for the engine tests: patterns written as rows of compact
// tracker-like text, turned into module bytes by the XM builder, loaded the
// player's way, and run tick by tick.
//
// A row is one string, its channels separated by '|'. A cell is up to four
// fields separated by spaces, each with a "none" spelling:
//   note        C-4, C#4, ...  (octave 0..7; C-0 is note 1), "===" key-off (97),
//               "..." / "---" none
//   instrument  two hex digits (1-based, as in the file), ".." none
//   volume      two hex digits: the volume column byte as stored ("50" sets 64), ".." none
//   effect      effect letter or digit and two hex digits ("A0F", "E61"), "..." none
// Fields left off at the end are empty: "C-4 01" is a note with instrument 1.
#pragma once

#include <stdint.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "song/song.h"
#include "tests/support/xm_builder.h"

XmCell parse_cell(const std::string& text);

// A pattern from rows of text; every row must have the same channel count.
XmPattern script_pattern(const std::vector<std::string>& rows);

// A module around the given patterns: channel count from the first row,
// order list 0, 1, 2, ... over the patterns, one plain instrument.
XmModule script_module(const std::vector<std::vector<std::string>>& patterns);

// An instrument with one unlooped 8-bit sample of `length` values that
// every note maps to, default volume 64 and panning 128.
XmInstrument plain_instrument(uint32_t length = 1000);

// Builds and loads the module; fails the current test when it does not load.
void load_script(const XmModule& module);

// Runs sequencer_tick `ticks` times (stopping early at the song's end) and
// describes each call: "o.r" for a row tick of order o, row r, "." for a
// later tick, a trailing "!" when the call reported the end of the song;
// entries separated by spaces.
std::string run_trace(int ticks, bool no_loop = false);

// Runs sequencer_tick `ticks` times; false if the song ended on the way.
bool run_ticks(int ticks, bool no_loop = false);

// Runs `ticks` ticks and reads `probe` on channel 0 after each one.
std::vector<std::string> probe_ticks(int ticks, const std::function<std::string(const Channel&)>& probe);

// A table entry: one pattern of rows played at `speed` from order 0, row 0,
// with `probe` read after every tick of every row.
struct ProbeCase {
    const char* name;
    uint16_t speed;
    std::vector<std::string> rows;
    std::function<std::string(const Channel&)> probe;  // given channel 0
    std::vector<std::string> expected;
};

// Runs each case on script_module({rows}) with its speed and the given
// instruments (plain_instrument() when none are given).
void run_probe_cases(const std::vector<ProbeCase>& cases, const std::vector<XmInstrument>& instruments = {},
                     bool linear = true);

inline Channel& channel(int k) { return song.channel_table[k]; }

// The values separated by spaces, integers of any width as numbers:
// join(c.note, c.period) gives "48 4608".
template <typename... Values>
std::string join(Values... values) {
    std::ostringstream out;
    const char* separator = "";
    ((out << separator << +values, separator = " "), ...);
    return out.str();
}
