// Bad modules get a clear result: the fuzzer's seed corpus and every saved
// fuzzer finding replayed through the fuzz harness, then every prefix of the
// embedded tune and of the real modules, and single-byte corruptions of
// their header fields. Each input must load or fail cleanly and render
// without fault (under make test-asan, without a memory error or UB).
//
// Cost: loading is cheap, rendering is not. A truncated module never loads
// (the loader wants all the sample data), so the prefix sweep mostly loads;
// a corrupted one usually loads, so it renders only RENDER_BLOCKS blocks.
// The tune gets every prefix and every header byte corrupted; the corpus
// modules get every prefix that ends inside the module header or the first
// pattern, instrument and sample header, cuts at the edges of every other
// header record, and prefixes at a stride of 1/512 of the file through the
// pattern and sample data; and corruptions of
// each header field (names aside) of the module header, the first pattern
// header, the first instrument with samples and its first sample header.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "assets/song_data.h"
#include "fuzz/module_harness.h"
#include "platform/win32.h"
#include "player/render.h"
#include "song/module_source.h"
#include "song/song.h"
#include "tests/support/fixtures.h"
#include "tests/support/xm_builder.h"

namespace {

constexpr int RENDER_BLOCKS = 2;
constexpr size_t PREFIX_SAMPLES = 512;  // strided prefixes per corpus module

std::vector<uint8_t> tune() { return std::vector<uint8_t>(song_data, song_data + SONG_DATA_SIZE); }

std::string base_name(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::vector<std::string> files_in(const std::string& dir) {
    std::vector<std::string> paths;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') paths.push_back(dir + "/" + e->d_name);
        closedir(d);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Loads bytes (held in a buffer of exactly their size, so a read past the
// end is a memory error) and renders a few blocks looping. Returns whether
// they loaded.
bool load_and_render(const uint8_t* bytes, size_t size) {
    const std::vector<uint8_t> exact(bytes, bytes + size);
    player_shared.no_loop = 0;
    player_shared.paused.store(0);
    player_shared.master_volume.store(32768);
    player_shared.fill_block = 0;
    const bool loaded = load_module(exact) != 0;
    if (loaded)
        for (int b = 0; b < RENDER_BLOCKS; ++b) render_block();
    unload_module();
    return loaded;
}

// The same through the file source, as player_start loads a path: the
// bytes go to a file first.
bool load_file_and_render(const std::string& path, const uint8_t* bytes, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = fwrite(bytes, 1, size, f) == size;
    fclose(f);
    EXPECT_TRUE(written) << path;
    HANDLE heap = HeapCreate(0, 0, 0);
    song_set_heap(heap);
    source_select(SOURCE_FILE, path.c_str(), 0, reinterpret_cast<uint8_t*>(mix_buffer));
    const bool loaded = song_load() != 0;
    source_close();
    player_shared.no_loop = 0;
    player_shared.paused.store(0);
    player_shared.fill_block = 0;
    if (loaded)
        for (int b = 0; b < RENDER_BLOCKS; ++b) render_block();
    HeapDestroy(heap);
    song_set_heap(nullptr);
    return loaded;
}

// --- The layout of a module, found independently of the loader -------------

uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return at + 2 <= b.size() ? b[at] | b[at + 1] << 8 : 0; }
uint32_t le32(const std::vector<uint8_t>& b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

struct Record {
    size_t start, size;
};

// Where the header records lie: the module header, each pattern header, each
// instrument header and each sample header, as far as the file holds them.
struct Layout {
    Record module;
    std::vector<Record> patterns;
    std::vector<Record> instruments;
    std::vector<Record> samples;
    int first_instrument_with_samples = -1;
    size_t first_sample_of_it = 0;  // index into samples
};

Layout layout_of(const std::vector<uint8_t>& b) {
    Layout layout;
    const size_t n = b.size();
    size_t at = 60 + le32(b, 60);
    layout.module = Record{0, std::min(at, n)};
    for (uint32_t p = 0, count = le16(b, 70); p < count && at < n; ++p) {
        const uint32_t size = le32(b, at);
        layout.patterns.push_back(Record{at, size});
        at += size + le16(b, at + 7);
    }
    for (uint32_t i = 0, count = le16(b, 72) & 0xFF; i < count && at < n; ++i) {
        const uint32_t size = le32(b, at), samples = le16(b, at + 27), sample_size = le32(b, at + 29);
        layout.instruments.push_back(Record{at, size});
        if (samples != 0 && layout.first_instrument_with_samples < 0) {
            layout.first_instrument_with_samples = int(i);
            layout.first_sample_of_it = layout.samples.size();
        }
        at += size;
        uint64_t data = 0;
        for (uint32_t s = 0; s < samples && samples <= 16 && at < n; ++s) {
            layout.samples.push_back(Record{at, sample_size});
            const uint32_t length = le32(b, at);
            data += b.size() > at + 17 && b[at + 17] == 0xAD ? 16 + (uint64_t(length) + 1) / 2 : length;
            at += sample_size;
        }
        at = size_t(std::min<uint64_t>(at + data, n));
    }
    return layout;
}

std::vector<Record> header_records(const Layout& layout) {
    std::vector<Record> all = {layout.module};
    all.insert(all.end(), layout.patterns.begin(), layout.patterns.end());
    all.insert(all.end(), layout.instruments.begin(), layout.instruments.end());
    all.insert(all.end(), layout.samples.begin(), layout.samples.end());
    return all;
}

// Byte offsets of the fields of each header kind, names left out.
const std::vector<size_t>& module_fields() {
    static const std::vector<size_t> offsets = [] {
        std::vector<size_t> o = {0, 37, 58, 59};
        for (size_t k = 60; k < 84; ++k) o.push_back(k);  // sizes, counts, flags, tempo, first orders
        return o;
    }();
    return offsets;
}
const std::vector<size_t> pattern_fields = {0, 1, 2, 3, 4, 5, 6, 7, 8};
const std::vector<size_t>& instrument_fields() {
    static const std::vector<size_t> offsets = [] {
        std::vector<size_t> o = {0, 1, 2, 3, 26, 27, 28, 29, 30, 31, 32, 33, 34, 128};  // sizes, counts, map
        for (size_t k = 129; k < 137; ++k) o.push_back(k);  // first volume envelope points
        for (size_t k = 177; k < 181; ++k) o.push_back(k);  // first panning envelope point
        for (size_t k = 225; k < 243; ++k) o.push_back(k);  // envelope counts and types, vibrato, fadeout
        return o;
    }();
    return offsets;
}
const std::vector<size_t> sample_fields = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};

// The values tried at each byte.
std::vector<uint8_t> corruptions(uint8_t original) {
    return {0x00, 0xFF, 0x80, 0x7F, uint8_t(original + 1), uint8_t(original - 1)};
}

// Loads and renders every single-byte corruption at the given offsets;
// returns how many of them loaded.
int corrupt_and_play(const std::vector<uint8_t>& bytes, const std::set<size_t>& offsets) {
    int loaded = 0;
    std::vector<uint8_t> copy = bytes;
    for (size_t at : offsets) {
        if (at >= bytes.size()) continue;
        for (uint8_t value : corruptions(bytes[at])) {
            if (value == bytes[at]) continue;
            copy[at] = value;
            SCOPED_TRACE("byte " + std::to_string(at) + " = " + std::to_string(value));
            loaded += load_and_render(copy.data(), copy.size());
        }
        copy[at] = bytes[at];
    }
    return loaded;
}

void add_fields(std::set<size_t>& offsets, const Record& record, const std::vector<size_t>& fields) {
    for (size_t f : fields)
        if (f < record.size) offsets.insert(record.start + f);
}

// Prefix lengths of a corpus module: every one that ends inside the module
// header or the first header of each other kind, the edges of every other
// header record (a cut just before, at and after its first and last byte),
// and about PREFIX_SAMPLES more spread over the whole file.
std::set<size_t> prefix_lengths(const std::vector<uint8_t>& bytes) {
    const Layout layout = layout_of(bytes);
    std::set<size_t> lengths;
    const auto every = [&](const Record& r) {
        for (size_t k = r.start; k <= r.start + r.size; ++k) lengths.insert(k);
    };
    const auto edges = [&](const std::vector<Record>& records) {
        for (const Record& r : records)
            for (size_t k : {r.start, r.start + 1, r.start + r.size - 1, r.start + r.size}) lengths.insert(k);
        if (!records.empty()) every(records[0]);
    };
    every(layout.module);
    edges(layout.patterns);
    edges(layout.instruments);
    edges(layout.samples);
    const size_t stride = std::max<size_t>(1, bytes.size() / PREFIX_SAMPLES);
    for (size_t k = 0; k < bytes.size(); k += stride) lengths.insert(k);
    lengths.erase(lengths.lower_bound(bytes.size()), lengths.end());
    return lengths;
}

// --- Replays ----------------------------------------------------------------

TEST(RobustnessReplay, SeedCorpusPlaysThroughTheFuzzHarness) {
    EXPECT_TRUE(play_module_bytes(song_data, SONG_DATA_SIZE));
    for (const std::string& path : corpus_modules()) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> bytes = read_file_bytes(path);
        EXPECT_TRUE(play_module_bytes(bytes.data(), bytes.size()));
    }
}

// Every input the fuzzer ever found a fault with. They need not load; they
// must not fault (the sanitizer build tells).
TEST(RobustnessReplay, SavedFuzzerFindings) {
    const std::vector<std::string> paths = files_in(std::string(ORNA_SOURCE_DIR) + "/fuzz/regressions");
    for (const std::string& path : paths) {
        if (base_name(path) == "README.md") continue;
        SCOPED_TRACE(path);
        const std::vector<uint8_t> bytes = read_file_bytes(path);
        play_module_bytes(bytes.data(), bytes.size());
    }
}

// --- Truncation -------------------------------------------------------------

TEST(RobustnessTruncation, EveryPrefixOfTheTuneFailsCleanly) {
    const std::vector<uint8_t> bytes = tune();
    for (size_t n = 0; n < bytes.size(); ++n) {
        SCOPED_TRACE("prefix " + std::to_string(n));
        // Every prefix cuts off sample data the loader must have.
        ASSERT_FALSE(load_and_render(bytes.data(), n));
    }
    EXPECT_TRUE(load_and_render(bytes.data(), bytes.size()));
}

// The file source reads through its own cache windows: prefixes of the tune
// that end in the module header, the edges of every header record, and
// every 7th length (the cache's window edges among them) through it.
TEST(RobustnessTruncation, PrefixesOfTheTuneThroughTheFileSource) {
    const std::vector<uint8_t> bytes = tune();
    const std::string path = std::string(ORNA_BINARY_DIR) + "/tests/robustness_prefix.xm";
    std::set<size_t> lengths = {8191, 8192, 8193};
    for (size_t n = 0; n < bytes.size(); n += n < 400 ? 1 : 7) lengths.insert(n);
    for (const Record& r : header_records(layout_of(bytes)))
        for (size_t k : {r.start, r.start + 1, r.start + r.size - 1, r.start + r.size}) lengths.insert(k);
    for (size_t n : lengths) {
        if (n >= bytes.size()) continue;
        SCOPED_TRACE("prefix " + std::to_string(n));
        ASSERT_FALSE(load_file_and_render(path, bytes.data(), n));
    }
    EXPECT_TRUE(load_file_and_render(path, bytes.data(), bytes.size()));
    unlink(path.c_str());
}

TEST(RobustnessTruncation, PrefixesOfTheCorpusModules) {
    for (const std::string& path : corpus_modules()) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> bytes = read_file_bytes(path);
        for (size_t n : prefix_lengths(bytes)) {
            SCOPED_TRACE("prefix " + std::to_string(n));
            load_and_render(bytes.data(), n);
        }
        EXPECT_TRUE(load_and_render(bytes.data(), bytes.size()));
    }
}

// --- Corruption -------------------------------------------------------------

TEST(RobustnessCorruption, EveryHeaderByteOfTheTune) {
    const std::vector<uint8_t> bytes = tune();
    std::set<size_t> offsets;
    for (const Record& r : header_records(layout_of(bytes)))
        for (size_t k = r.start; k < r.start + r.size; ++k) offsets.insert(k);
    ASSERT_GT(offsets.size(), 336u);
    // Most single-byte changes still describe a playable module.
    EXPECT_GT(corrupt_and_play(bytes, offsets), 0);
}

// The header fields the sweeps corrupt in a module: those of the module
// header, the first pattern header, the first instrument with samples and
// its first sample header.
std::set<size_t> field_offsets(const std::vector<uint8_t>& bytes) {
    const Layout layout = layout_of(bytes);
    std::set<size_t> offsets;
    add_fields(offsets, layout.module, module_fields());
    if (!layout.patterns.empty()) add_fields(offsets, layout.patterns[0], pattern_fields);
    if (layout.first_instrument_with_samples >= 0) {
        add_fields(offsets, layout.instruments[layout.first_instrument_with_samples], instrument_fields());
        add_fields(offsets, layout.samples[layout.first_sample_of_it], sample_fields);
    }
    return offsets;
}

TEST(RobustnessCorruption, HeaderFieldsOfTheCorpusModules) {
    for (const std::string& path : corpus_modules()) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> bytes = read_file_bytes(path);
        corrupt_and_play(bytes, field_offsets(bytes));
    }
}

// The file source seeks where the memory source refuses (past the end), so
// a corrupted size or count takes other paths through it.
TEST(RobustnessCorruption, HeaderFieldsOfTheTuneThroughTheFileSource) {
    const std::vector<uint8_t> bytes = tune();
    const std::string path = std::string(ORNA_BINARY_DIR) + "/tests/robustness_corrupt.xm";
    std::vector<uint8_t> copy = bytes;
    int loaded = 0;
    for (size_t at : field_offsets(bytes)) {
        for (uint8_t value : corruptions(bytes[at])) {
            copy[at] = value;
            SCOPED_TRACE("byte " + std::to_string(at) + " = " + std::to_string(value));
            loaded += load_file_and_render(path, copy.data(), copy.size());
        }
        copy[at] = bytes[at];
    }
    EXPECT_GT(loaded, 0);
    unlink(path.c_str());
}

}  // namespace
