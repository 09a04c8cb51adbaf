#include "tests/support/song_script.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "engine/engine.h"

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw std::invalid_argument(std::string("not a hex digit: ") + c);
}

uint8_t hex_byte(const std::string& text) {
    if (text.size() != 2) throw std::invalid_argument("two hex digits expected: " + text);
    return uint8_t(hex_digit(text[0]) * 16 + hex_digit(text[1]));
}

bool is_none(const std::string& text) { return text.find_first_not_of(".-") == std::string::npos; }

uint8_t parse_note(const std::string& text) {
    if (is_none(text)) return 0;
    if (text == "===") return 97;
    static const char names[] = "C-C#D-D#E-F-F#G-G#A-A#B-";
    if (text.size() != 3 || text[2] < '0' || text[2] > '7') throw std::invalid_argument("bad note: " + text);
    for (int semitone = 0; semitone < 12; ++semitone)
        if (text.compare(0, 2, names + 2 * semitone, 2) == 0) return uint8_t((text[2] - '0') * 12 + semitone + 1);
    throw std::invalid_argument("bad note: " + text);
}

uint8_t parse_effect_number(char c) {
    if (c >= '0' && c <= '9') return uint8_t(c - '0');
    if (c >= 'A' && c <= 'Z') return uint8_t(c - 'A' + 10);
    throw std::invalid_argument(std::string("bad effect: ") + c);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.push_back("");
    if (parts.empty()) parts.push_back("");
    return parts;
}

}  // namespace

XmCell parse_cell(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> fields;
    for (std::string field; in >> field;) fields.push_back(field);
    if (fields.size() > 4) throw std::invalid_argument("too many fields: " + text);
    XmCell cell;
    if (fields.size() > 0) cell.note = parse_note(fields[0]);
    if (fields.size() > 1 && !is_none(fields[1])) cell.instrument = hex_byte(fields[1]);
    if (fields.size() > 2 && !is_none(fields[2])) cell.volume_column = hex_byte(fields[2]);
    if (fields.size() > 3 && !is_none(fields[3])) {
        if (fields[3].size() != 3) throw std::invalid_argument("bad effect: " + fields[3]);
        cell.effect = parse_effect_number(fields[3][0]);
        cell.param = hex_byte(fields[3].substr(1));
    }
    return cell;
}

XmPattern script_pattern(const std::vector<std::string>& rows) {
    XmPattern pattern;
    pattern.rows = uint16_t(rows.size());
    const size_t channels = split(rows.at(0), '|').size();
    for (const std::string& row : rows) {
        const std::vector<std::string> cells = split(row, '|');
        if (cells.size() != channels) throw std::invalid_argument("channel count differs: " + row);
        for (const std::string& cell : cells) pattern.cells.push_back(parse_cell(cell));
    }
    return pattern;
}

XmModule script_module(const std::vector<std::vector<std::string>>& patterns) {
    XmModule module;
    module.channels = uint16_t(split(patterns.at(0).at(0), '|').size());
    module.order.clear();
    for (const auto& rows : patterns) {
        module.order.push_back(uint8_t(module.patterns.size()));
        module.patterns.push_back(script_pattern(rows));
    }
    module.song_length = uint16_t(module.order.size());
    module.instruments = {plain_instrument()};
    return module;
}

XmInstrument plain_instrument(uint32_t length) {
    XmSample sample;
    for (uint32_t i = 0; i < length; ++i) sample.values.push_back(int16_t(i % 64));
    XmInstrument instrument;
    instrument.samples = {sample};
    return instrument;
}

void load_script(const XmModule& module) { ASSERT_NE(load_module(build_xm(module)), 0) << "module did not load"; }

std::string run_trace(int ticks, bool no_loop) {
    std::string trace;
    for (int i = 0; i < ticks; ++i) {
        const bool row_tick = song.tick == 0;
        const bool going = sequencer_tick(no_loop);
        if (!trace.empty()) trace += ' ';
        trace += row_tick ? std::to_string(song.order) + "." + std::to_string(song.row) : ".";
        if (!going) return trace + "!";
    }
    return trace;
}

bool run_ticks(int ticks, bool no_loop) {
    for (int i = 0; i < ticks; ++i)
        if (!sequencer_tick(no_loop)) return false;
    return true;
}

std::vector<std::string> probe_ticks(int ticks, const std::function<std::string(const Channel&)>& probe) {
    std::vector<std::string> values;
    for (int i = 0; i < ticks && sequencer_tick(false); ++i) values.push_back(probe(channel(0)));
    return values;
}

void run_probe_cases(const std::vector<ProbeCase>& cases, const std::vector<XmInstrument>& instruments, bool linear) {
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.name);
        XmModule module = script_module({c.rows});
        module.speed = c.speed;
        module.flags = linear ? 1 : 0;
        if (!instruments.empty()) module.instruments = instruments;
        load_script(module);
        const int ticks = int(c.rows.size()) * (c.speed == 0 ? 1 : c.speed);
        EXPECT_EQ(probe_ticks(ticks, c.probe), c.expected);
    }
}
