// xm-compose: builds an XM module from a text score.
//
//   xm-compose SCORE OUT.xm
//
// The score (assets/tune.score is the example) holds the song header, the
// instruments with the recipes of their synthesised samples, and the patterns
// as tracker rows. Everything is integer arithmetic, so the same score gives
// the same bytes on every machine.
//
// A pattern may name the exact packed size its data must take. The packer
// first packs every cell in its smallest form, then names zero fields
// explicitly (both forms decode to the same cells) in evenly spread passes
// until the size is met; music that needs more bytes, or a size that no
// packing reaches, is an error.
//
// Score syntax, one statement per line; "//" starts a comment:
//
//   name "text"                module name (20 characters at most)
//   channels N | speed N | bpm N | restart N
//   order P P P ...            the order list (played length = its length,
//   length N                   unless length names a shorter one)
//   instrument N "name" ... end
//       volume V | panning P | finetune F | relative-note R | fadeout F
//       vibrato TYPE SWEEP DEPTH RATE
//       volume-envelope on|off [sustain I] [loop A B] points X:Y X:Y ...
//       panning-envelope (as volume-envelope)
//       loop none|forward|pingpong      (over the whole sample)
//       wave V V V ...                  sample values -128..127; further
//                                       wave lines append
//       drum length L seed S pitch F0 F1 T tone A D noise A D filter K
//           a synthesised drum (synthesise_drum): a sine falling from F0
//           towards F1 Hz (as played at C-4) with time constant T samples,
//           at level A (0..127) decaying with time constant D, plus white
//           noise at level A decaying with D, low-passed by K/256
//   pattern N rows R [size S] ... end
//       RR | cell | cell ...            rows in increasing order, decimal;
//                                       rows not listed are empty
//   A cell is "NOTE INS VOL EFFECT":
//       NOTE    C-4, C#4 ... B-7, "===" key off, "---" none
//       INS     two hex digits, ".." none
//       VOL     ".." none; two hex digits 00..40 set volume; or a letter and a
//               hex digit: -x slide down, +x slide up, dx/ux fine slide
//               down/up, sx vibrato speed, vx vibrato depth, px panning,
//               lx/rx panning slide left/right, mx tone portamento
//       EFFECT  "..." none, else the effect letter and two hex digits
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// --- Score records ----------------------------------------------------------

struct ScoreCell {
    uint8_t note = 0, instrument = 0, volume_column = 0, effect = 0, param = 0;
};

struct ScorePattern {
    int rows = 64;
    int size = -1;                   // exact packed size, -1 = smallest packing
    std::vector<ScoreCell> cells;    // rows x channels
    bool any_cell = false;           // false: stored with packed size 0
};

struct ScoreEnvelope {
    std::vector<std::pair<int, int>> points;   // (tick, value)
    uint8_t type = 0;                           // 1 on, 2 sustain, 4 loop
    uint8_t sustain = 0, loop_start = 0, loop_end = 0;
};

struct ScoreInstrument {
    std::string name;
    int volume = 64, panning = 128, finetune = 0, relative_note = 0, fadeout = 0;
    int vibrato[4] = {0, 0, 0, 0};              // type, sweep, depth, rate
    ScoreEnvelope volume_envelope, panning_envelope;
    uint8_t loop_type = 0;                      // 0 none, 1 forward, 2 ping-pong
    std::vector<int8_t> data;                   // absolute 8-bit sample values
};

struct Score {
    std::string name;
    int channels = 4, speed = 6, bpm = 125, restart = 0, length = -1;
    std::vector<int> order;
    std::vector<ScorePattern> patterns;
    std::vector<ScoreInstrument> instruments;
};

[[noreturn]] void fail(const std::string& message) {
    fprintf(stderr, "xm-compose: %s\n", message.c_str());
    exit(1);
}

// --- Sample synthesis -------------------------------------------------------

// sin(phase) x 32767 for a 32-bit phase (2^32 = one turn), by the rational
// approximation 16q / (5 - 4q) with q = t(1 - t) over each half turn (error
// below 0.2 %), in integers only.
int32_t sine_q15(uint32_t phase) {
    const int64_t t = (phase >> 16) & 0x7FFF;             // 0..32767 within the half turn
    const int64_t q = t * (32768 - t);                    // t(1 - t), scale 2^30
    const int64_t s = (32767 * 16 * q) / ((int64_t(5) << 30) - 4 * q);
    return (phase & 0x80000000u) ? int32_t(-s) : int32_t(s);
}

struct DrumRecipe {
    int length = 0;
    uint32_t seed = 1;
    int pitch_start = 0, pitch_end = 0, pitch_fall = 1;   // Hz at the 8363 Hz base rate; fall in samples
    int tone_level = 0, tone_decay = 1;                   // level 0..127, decay time constant in samples
    int noise_level = 0, noise_decay = 1;
    int noise_filter = 256;                               // one-pole low-pass amount, 256 = none
};

// A pitched sine that falls from pitch_start towards pitch_end, plus filtered
// white noise, each with its own exponential decay (x -= x / decay per sample).
// The last 32 samples fade to 0 so the sample ends in silence.
std::vector<int8_t> synthesise_drum(const DrumRecipe& r) {
    const int64_t base_rate = 8363;
    std::vector<int8_t> out(r.length);
    int64_t pitch_above = int64_t(r.pitch_start - r.pitch_end) << 16;  // Hz, 16.16
    int64_t tone = int64_t(r.tone_level) << 16;                         // 16.16
    int64_t noise = int64_t(r.noise_level) << 16;                       // 16.16
    uint32_t phase = 0, random = r.seed ? r.seed : 1;
    int32_t filtered = 0;                                               // noise, -128..127
    for (int i = 0; i < r.length; ++i) {
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        const int32_t white = int32_t(random >> 24) - 128;
        filtered += ((white - filtered) * r.noise_filter) / 256;

        const int64_t tone_part = (tone * sine_q15(phase)) / 32767;     // 16.16
        const int64_t noise_part = (noise * filtered) / 128;            // 16.16
        int64_t value = (tone_part + noise_part) / 65536;
        const int left = r.length - i;
        if (left < 32) value = value * left / 32;
        out[i] = int8_t(value < -128 ? -128 : value > 127 ? 127 : value);

        const int64_t pitch = (int64_t(r.pitch_end) << 16) + pitch_above;  // Hz, 16.16
        phase += uint32_t((pitch << 16) / base_rate);                     // turns, 0.32
        pitch_above -= pitch_above / r.pitch_fall;
        tone -= tone / r.tone_decay;
        noise -= noise / r.noise_decay;
    }
    return out;
}

// --- Score parsing ----------------------------------------------------------

struct Reader {
    std::vector<std::string> lines;
    size_t at = 0;
    std::string where() const { return "line " + std::to_string(at); }
};

std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            word += c;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

int to_int(const std::string& word, const Reader& in, int low, int high) {
    char* end = nullptr;
    const long value = strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != 0 || value < low || value > high)
        fail(in.where() + ": expected a number " + std::to_string(low) + ".." + std::to_string(high) +
             ", got \"" + word + "\"");
    return int(value);
}

std::string unquote(const std::string& word, const Reader& in) {
    if (word.size() < 2 || word.front() != '"' || word.back() != '"')
        fail(in.where() + ": expected a quoted name, got " + word);
    return word.substr(1, word.size() - 2);
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int hex_byte(const std::string& text, size_t at) {
    const int high = hex_digit(text[at]), low = hex_digit(text[at + 1]);
    return (high < 0 || low < 0) ? -1 : high * 16 + low;
}

uint8_t parse_note(const std::string& text, const Reader& in) {
    if (text == "---") return 0;
    if (text == "===") return 97;
    static const char names[] = "C-C#D-D#E-F-F#G-G#A-A#B-";
    for (int semitone = 0; semitone < 12; ++semitone) {
        if (text.size() == 3 && text[0] == names[2 * semitone] && text[1] == names[2 * semitone + 1] &&
            text[2] >= '0' && text[2] <= '7')
            return uint8_t((text[2] - '0') * 12 + semitone + 1);
    }
    fail(in.where() + ": bad note \"" + text + "\"");
}

uint8_t parse_volume_column(const std::string& text, const Reader& in) {
    if (text == "..") return 0;
    if (text.size() == 2) {
        const int byte = hex_byte(text, 0);
        if (byte >= 0 && byte <= 0x40) return uint8_t(0x10 + byte);
        static const char kinds[] = "-+dusvplrm";
        const int y = hex_digit(text[1]);
        for (int k = 0; kinds[k] && y >= 0; ++k)
            if (text[0] == kinds[k]) return uint8_t(0x60 + 16 * k + y);
    }
    fail(in.where() + ": bad volume column \"" + text + "\"");
}

void parse_effect(const std::string& text, ScoreCell& cell, const Reader& in) {
    if (text == "...") return;
    const int param = text.size() == 3 ? hex_byte(text, 1) : -1;
    const char letter = text.empty() ? 0 : text[0];
    int effect = -1;
    if (letter >= '0' && letter <= '9') effect = letter - '0';
    if (letter >= 'A' && letter <= 'Z') effect = letter - 'A' + 10;
    if (effect < 0 || param < 0) fail(in.where() + ": bad effect \"" + text + "\"");
    cell.effect = uint8_t(effect);
    cell.param = uint8_t(param);
}

ScoreCell parse_cell(const std::string& text, const Reader& in) {
    const std::vector<std::string> parts = split_words(text);
    if (parts.size() != 4) fail(in.where() + ": a cell needs NOTE INS VOL EFFECT, got \"" + text + "\"");
    ScoreCell cell;
    cell.note = parse_note(parts[0], in);
    if (parts[1] != "..") {
        const int instrument = parts[1].size() == 2 ? hex_byte(parts[1], 0) : -1;
        if (instrument <= 0) fail(in.where() + ": bad instrument \"" + parts[1] + "\"");
        cell.instrument = uint8_t(instrument);
    }
    cell.volume_column = parse_volume_column(parts[2], in);
    parse_effect(parts[3], cell, in);
    return cell;
}

void parse_envelope(const std::vector<std::string>& w, ScoreEnvelope& envelope, const Reader& in) {
    if (w.size() < 2 || (w[1] != "on" && w[1] != "off")) fail(in.where() + ": envelope needs on or off");
    envelope.type = w[1] == "on" ? 1 : 0;
    size_t i = 2;
    while (i < w.size()) {
        if (w[i] == "sustain" && i + 1 < w.size()) {
            envelope.sustain = uint8_t(to_int(w[i + 1], in, 0, 11));
            envelope.type |= envelope.type ? 2 : 0;
            i += 2;
        } else if (w[i] == "loop" && i + 2 < w.size()) {
            envelope.loop_start = uint8_t(to_int(w[i + 1], in, 0, 11));
            envelope.loop_end = uint8_t(to_int(w[i + 2], in, 0, 11));
            envelope.type |= envelope.type ? 4 : 0;
            i += 3;
        } else if (w[i] == "points") {
            for (++i; i < w.size(); ++i) {
                const size_t colon = w[i].find(':');
                if (colon == std::string::npos) fail(in.where() + ": envelope point needs X:Y");
                envelope.points.push_back({to_int(w[i].substr(0, colon), in, 0, 65535),
                                           to_int(w[i].substr(colon + 1), in, 0, 64)});
            }
        } else {
            fail(in.where() + ": unknown envelope word \"" + w[i] + "\"");
        }
    }
    if (envelope.points.size() > 12) fail(in.where() + ": at most 12 envelope points");
}

void parse_drum(const std::vector<std::string>& w, ScoreInstrument& instrument, const Reader& in) {
    DrumRecipe r;
    for (size_t i = 1; i < w.size();) {
        auto need = [&](size_t n) {
            if (i + n >= w.size()) fail(in.where() + ": \"" + w[i] + "\" needs " + std::to_string(n) + " values");
        };
        if (w[i] == "length") {
            need(1);
            r.length = to_int(w[i + 1], in, 1, 1 << 20);
            i += 2;
        } else if (w[i] == "seed") {
            need(1);
            r.seed = uint32_t(to_int(w[i + 1], in, 1, 0x7FFFFFFF));
            i += 2;
        } else if (w[i] == "pitch") {
            need(3);
            r.pitch_start = to_int(w[i + 1], in, 1, 4000);
            r.pitch_end = to_int(w[i + 2], in, 1, 4000);
            r.pitch_fall = to_int(w[i + 3], in, 1, 1 << 20);
            i += 4;
        } else if (w[i] == "tone" || w[i] == "noise") {
            need(2);
            const int level = to_int(w[i + 1], in, 0, 255), decay = to_int(w[i + 2], in, 1, 1 << 20);
            if (w[i] == "tone") {
                r.tone_level = level;
                r.tone_decay = decay;
            } else {
                r.noise_level = level;
                r.noise_decay = decay;
            }
            i += 3;
        } else if (w[i] == "filter") {
            need(1);
            r.noise_filter = to_int(w[i + 1], in, 1, 256);
            i += 2;
        } else {
            fail(in.where() + ": unknown drum word \"" + w[i] + "\"");
        }
    }
    if (r.length == 0) fail(in.where() + ": drum needs a length");
    instrument.data = synthesise_drum(r);
}

void parse_instrument(Reader& in, Score& score, const std::vector<std::string>& head) {
    if (head.size() != 3) fail(in.where() + ": instrument needs a number and a name");
    const int number = to_int(head[1], in, 1, 128);
    if (number != int(score.instruments.size()) + 1) fail(in.where() + ": instruments must be numbered 1, 2, 3 ...");
    ScoreInstrument instrument;
    instrument.name = unquote(head[2], in);
    while (in.at < in.lines.size()) {
        const std::vector<std::string> w = split_words(in.lines[in.at++]);
        if (w.empty()) continue;
        const std::string& key = w[0];
        if (key == "end") {
            if (instrument.data.empty()) fail(in.where() + ": instrument " + head[1] + " has no sample data");
            score.instruments.push_back(instrument);
            return;
        }
        if (key == "wave") {
            for (size_t i = 1; i < w.size(); ++i) instrument.data.push_back(int8_t(to_int(w[i], in, -128, 127)));
        } else if (key == "drum") {
            parse_drum(w, instrument, in);
        } else if (key == "volume-envelope") {
            parse_envelope(w, instrument.volume_envelope, in);
        } else if (key == "panning-envelope") {
            parse_envelope(w, instrument.panning_envelope, in);
        } else if (key == "loop" && w.size() == 2) {
            if (w[1] == "none") instrument.loop_type = 0;
            else if (w[1] == "forward") instrument.loop_type = 1;
            else if (w[1] == "pingpong") instrument.loop_type = 2;
            else fail(in.where() + ": loop is none, forward or pingpong");
        } else if (key == "vibrato" && w.size() == 5) {
            for (int i = 0; i < 4; ++i) instrument.vibrato[i] = to_int(w[i + 1], in, 0, 255);
        } else if (w.size() == 2 && key == "volume") {
            instrument.volume = to_int(w[1], in, 0, 64);
        } else if (w.size() == 2 && key == "panning") {
            instrument.panning = to_int(w[1], in, 0, 255);
        } else if (w.size() == 2 && key == "finetune") {
            instrument.finetune = to_int(w[1], in, -128, 127);
        } else if (w.size() == 2 && key == "relative-note") {
            instrument.relative_note = to_int(w[1], in, -96, 95);
        } else if (w.size() == 2 && key == "fadeout") {
            instrument.fadeout = to_int(w[1], in, 0, 65535);
        } else {
            fail(in.where() + ": unknown instrument statement \"" + key + "\"");
        }
    }
    fail("instrument " + head[1] + " has no end");
}

void parse_pattern(Reader& in, Score& score, const std::vector<std::string>& head) {
    if (head.size() != 4 && head.size() != 6) fail(in.where() + ": pattern N rows R [size S]");
    const int number = to_int(head[1], in, 0, 255);
    if (number != int(score.patterns.size())) fail(in.where() + ": patterns must be numbered 0, 1, 2 ...");
    if (head[2] != "rows") fail(in.where() + ": pattern N rows R [size S]");
    ScorePattern pattern;
    pattern.rows = to_int(head[3], in, 1, 256);
    if (head.size() == 6) {
        if (head[4] != "size") fail(in.where() + ": pattern N rows R [size S]");
        pattern.size = to_int(head[5], in, 0, 65535);
    }
    pattern.cells.resize(size_t(pattern.rows) * score.channels);
    int last_row = -1;
    while (in.at < in.lines.size()) {
        const std::string& line = in.lines[in.at++];
        const std::vector<std::string> w = split_words(line);
        if (w.empty()) continue;
        if (w[0] == "end") {
            if (pattern.size == 0 && pattern.any_cell) fail(in.where() + ": a pattern of size 0 holds no cells");
            if (pattern.size > 0 && !pattern.any_cell) fail(in.where() + ": a pattern with a size needs rows");
            score.patterns.push_back(pattern);
            return;
        }
        std::vector<std::string> fields;
        size_t start = 0, bar;
        while ((bar = line.find('|', start)) != std::string::npos) {
            fields.push_back(line.substr(start, bar - start));
            start = bar + 1;
        }
        fields.push_back(line.substr(start));
        if (int(fields.size()) != score.channels + 1)
            fail(in.where() + ": a row needs its number and " + std::to_string(score.channels) + " cells");
        const std::vector<std::string> row_words = split_words(fields[0]);
        const int row = row_words.size() == 1 ? to_int(row_words[0], in, 0, pattern.rows - 1) : -1;
        if (row <= last_row) fail(in.where() + ": rows must be numbered in increasing order");
        last_row = row;
        for (int c = 0; c < score.channels; ++c)
            pattern.cells[size_t(row) * score.channels + c] = parse_cell(fields[c + 1], in);
        pattern.any_cell = true;
    }
    fail("pattern " + head[1] + " has no end");
}

Score parse_score(const std::string& text) {
    Reader in;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        const size_t comment = line.find("//");
        if (comment != std::string::npos) line.erase(comment);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        in.lines.push_back(line);
    }
    Score score;
    while (in.at < in.lines.size()) {
        const std::vector<std::string> w = split_words(in.lines[in.at++]);
        if (w.empty()) continue;
        const std::string& key = w[0];
        if (key == "instrument") {
            parse_instrument(in, score, w);
        } else if (key == "pattern") {
            if (score.channels < 1) fail(in.where() + ": channels must come before the patterns");
            parse_pattern(in, score, w);
        } else if (key == "order") {
            for (size_t i = 1; i < w.size(); ++i) score.order.push_back(to_int(w[i], in, 0, 255));
        } else if (key == "name" && w.size() == 2) {
            score.name = unquote(w[1], in);
        } else if (key == "channels" && w.size() == 2) {
            score.channels = to_int(w[1], in, 1, 32);
        } else if (key == "speed" && w.size() == 2) {
            score.speed = to_int(w[1], in, 1, 31);
        } else if (key == "bpm" && w.size() == 2) {
            score.bpm = to_int(w[1], in, 32, 255);
        } else if (key == "restart" && w.size() == 2) {
            score.restart = to_int(w[1], in, 0, 255);
        } else if (key == "length" && w.size() == 2) {
            score.length = to_int(w[1], in, 1, 256);
        } else {
            fail(in.where() + ": unknown statement \"" + key + "\"");
        }
    }
    if (score.order.empty() || score.order.size() > 256) fail("the order list needs 1..256 entries");
    if (score.length < 0) score.length = int(score.order.size());
    if (score.length > int(score.order.size())) fail("length is longer than the order list");
    if (score.patterns.empty()) fail("the score has no patterns");
    for (int i = 0; i < score.length; ++i)
        if (score.order[i] >= int(score.patterns.size()))
            fail("order position " + std::to_string(i) + " names a missing pattern");
    if (score.instruments.empty()) fail("the score has no instruments");
    return score;
}

// --- Packing ----------------------------------------------------------------

int nonzero_fields(const ScoreCell& c) {
    return (c.note != 0) + (c.instrument != 0) + (c.volume_column != 0) + (c.effect != 0) + (c.param != 0);
}

// Smallest packed form: a mask byte and the nonzero fields, or the plain five
// bytes when all five fields are set.
int smallest_size(const ScoreCell& c) {
    const int n = nonzero_fields(c);
    return n == 5 ? 5 : 1 + n;
}

// Writes the cell in exactly `size` bytes (smallest_size .. 6): the plain
// five bytes for a full cell of size 5, otherwise a mask byte naming the
// nonzero fields plus the lowest-numbered zero fields needed to fill the size.
void write_cell(const ScoreCell& c, int size, std::vector<uint8_t>& out) {
    const uint8_t fields[5] = {c.note, c.instrument, c.volume_column, c.effect, c.param};
    if (size == 5 && nonzero_fields(c) == 5) {
        out.insert(out.end(), fields, fields + 5);
        return;
    }
    uint8_t mask = 0;
    int named = 0;
    for (int i = 0; i < 5; ++i)
        if (fields[i]) {
            mask |= uint8_t(1 << i);
            ++named;
        }
    for (int i = 0; i < 5 && named < size - 1; ++i)
        if (!(mask & (1 << i))) {
            mask |= uint8_t(1 << i);
            ++named;
        }
    out.push_back(uint8_t(0x80 | mask));
    for (int i = 0; i < 5; ++i)
        if (mask & (1 << i)) out.push_back(fields[i]);
}

struct PackedPattern {
    std::vector<uint8_t> data;
    int music_size = 0;   // bytes of the smallest packing
};

// Packs a pattern to its named size. The extra bytes go out in passes: pass
// k grows every cell that is still below 6 bytes by one, or, when fewer bytes
// are left than such cells, an evenly spaced selection of them.
PackedPattern pack_pattern(const ScorePattern& pattern, int number) {
    PackedPattern packed;
    if (!pattern.any_cell) return packed;
    std::vector<int> sizes;
    for (const ScoreCell& c : pattern.cells) sizes.push_back(smallest_size(c));
    for (int s : sizes) packed.music_size += s;
    const std::string label = "pattern " + std::to_string(number);
    if (pattern.size >= 0) {
        if (packed.music_size > pattern.size)
            fail(label + ": the music needs " + std::to_string(packed.music_size) + " bytes, more than its size " +
                 std::to_string(pattern.size));
        if (int(sizes.size()) * 6 < pattern.size)
            fail(label + ": size " + std::to_string(pattern.size) + " is more than any packing of " +
                 std::to_string(sizes.size()) + " cells reaches");
        int extra = pattern.size - packed.music_size;
        while (extra > 0) {
            std::vector<size_t> growable;
            for (size_t i = 0; i < sizes.size(); ++i)
                if (sizes[i] < 6) growable.push_back(i);
            const int count = int(growable.size());
            const int give = extra < count ? extra : count;
            for (int j = 0; j < count; ++j)
                if (int64_t(j + 1) * give / count > int64_t(j) * give / count) ++sizes[growable[j]];
            extra -= give;
        }
    }
    for (size_t i = 0; i < sizes.size(); ++i) write_cell(pattern.cells[i], sizes[i], packed.data);
    return packed;
}

// --- Module writing ---------------------------------------------------------

void put8(std::vector<uint8_t>& out, uint32_t v) { out.push_back(uint8_t(v)); }
void put16(std::vector<uint8_t>& out, uint32_t v) {
    put8(out, v);
    put8(out, v >> 8);
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v);
    put16(out, v >> 16);
}
void put_text(std::vector<uint8_t>& out, const std::string& text, size_t width) {
    if (text.size() > width) fail("name \"" + text + "\" is longer than " + std::to_string(width) + " characters");
    for (size_t i = 0; i < width; ++i) put8(out, i < text.size() ? uint8_t(text[i]) : 0);
}

void put_envelope_points(std::vector<uint8_t>& out, const ScoreEnvelope& envelope) {
    for (size_t i = 0; i < 12; ++i) {
        const bool used = i < envelope.points.size();
        put16(out, used ? uint32_t(envelope.points[i].first) : 0);
        put16(out, used ? uint32_t(envelope.points[i].second) : 0);
    }
}

constexpr uint32_t HEADER_SIZE = 276;             // from offset 60: 20 bytes of fields + 256 orders
constexpr uint32_t INSTRUMENT_HEADER_SIZE = 263;  // 241 bytes of fields, 22 reserved
constexpr uint32_t SAMPLE_HEADER_SIZE = 40;

std::vector<uint8_t> build_module(const Score& score) {
    std::vector<uint8_t> out;
    put_text(out, "Extended Module: ", 17);
    put_text(out, score.name, 20);
    put8(out, 0x1A);
    put_text(out, "xm-compose", 20);
    put16(out, 0x0104);
    put32(out, HEADER_SIZE);
    put16(out, uint32_t(score.length));
    put16(out, uint32_t(score.restart));
    put16(out, uint32_t(score.channels));
    put16(out, uint32_t(score.patterns.size()));
    put16(out, uint32_t(score.instruments.size()));
    put16(out, 1);  // linear frequency table
    put16(out, uint32_t(score.speed));
    put16(out, uint32_t(score.bpm));
    for (size_t i = 0; i < 256; ++i) put8(out, i < score.order.size() ? uint32_t(score.order[i]) : 0);

    for (size_t p = 0; p < score.patterns.size(); ++p) {
        const PackedPattern packed = pack_pattern(score.patterns[p], int(p));
        put32(out, 9);
        put8(out, 0);
        put16(out, uint32_t(score.patterns[p].rows));
        put16(out, uint32_t(packed.data.size()));
        out.insert(out.end(), packed.data.begin(), packed.data.end());
        if (packed.data.empty())
            printf("pattern %2zu: %d rows, no cells\n", p, score.patterns[p].rows);
        else
            printf("pattern %2zu: %d rows, music %d bytes, packed %zu (%zu zero fields named)\n", p,
                   score.patterns[p].rows, packed.music_size, packed.data.size(),
                   packed.data.size() - size_t(packed.music_size));
    }

    for (const ScoreInstrument& in : score.instruments) {
        const size_t start = out.size();
        put32(out, INSTRUMENT_HEADER_SIZE);
        put_text(out, in.name, 22);
        put8(out, 0);
        put16(out, 1);                       // one sample
        put32(out, SAMPLE_HEADER_SIZE);
        for (int note = 0; note < 96; ++note) put8(out, 0);   // every note plays sample 0
        put_envelope_points(out, in.volume_envelope);
        put_envelope_points(out, in.panning_envelope);
        put8(out, uint32_t(in.volume_envelope.points.size()));
        put8(out, uint32_t(in.panning_envelope.points.size()));
        put8(out, in.volume_envelope.sustain);
        put8(out, in.volume_envelope.loop_start);
        put8(out, in.volume_envelope.loop_end);
        put8(out, in.panning_envelope.sustain);
        put8(out, in.panning_envelope.loop_start);
        put8(out, in.panning_envelope.loop_end);
        put8(out, in.volume_envelope.type);
        put8(out, in.panning_envelope.type);
        for (int v : in.vibrato) put8(out, uint32_t(v));
        put16(out, uint32_t(in.fadeout));
        while (out.size() < start + INSTRUMENT_HEADER_SIZE) put8(out, 0);

        const uint32_t length = uint32_t(in.data.size());
        put32(out, length);
        put32(out, 0);                                     // loop start
        put32(out, in.loop_type ? length : 0);             // loop length: the whole sample
        put8(out, uint32_t(in.volume));
        put8(out, uint32_t(in.finetune));
        put8(out, in.loop_type);                           // 8-bit data
        put8(out, uint32_t(in.panning));
        put8(out, uint32_t(in.relative_note));
        put8(out, 0);                                      // plain deltas
        put_text(out, in.name, 22);

        int8_t previous = 0;                               // stored as 8-bit deltas
        for (int8_t v : in.data) {
            put8(out, uint8_t(uint8_t(v) - uint8_t(previous)));
            previous = v;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: xm-compose SCORE OUT.xm\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) fail(std::string("cannot read ") + argv[1]);
    std::stringstream text;
    text << file.rdbuf();
    const std::vector<uint8_t> module = build_module(parse_score(text.str()));
    FILE* out = fopen(argv[2], "wb");
    if (!out || fwrite(module.data(), 1, module.size(), out) != module.size() || fclose(out) != 0)
        fail(std::string("cannot write ") + argv[2]);
    printf("%s: %zu bytes\n", argv[2], module.size());
    return 0;
}
