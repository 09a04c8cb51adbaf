// Module sources: the memory read and seek rules, the file kind's
// 8192-byte cache windows, the resource kind over the program's linked
// resources, and loading a module through each kind.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/win32.h"
#include "song/module_source.h"
#include "song/song.h"
#include "tests/support/xm_builder.h"

namespace {

std::vector<uint8_t> counting_bytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 7 + i / 251);
    return bytes;
}

// A file with the given bytes, removed with the fixture.
struct TempFile {
    std::string path;
    explicit TempFile(const std::vector<uint8_t>& bytes) {
        char name[] = "/tmp/orna_source_XXXXXX";
        const int fd = mkstemp(name);
        path = name;
        if (fd >= 0) {
            if (!bytes.empty() && write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) path.clear();
            close(fd);
        }
    }
    ~TempFile() { unlink(path.c_str()); }
};

uint8_t cache[MODULE_CACHE_SIZE];

void open_file_source(const TempFile& file) {
    memset(cache, 0xEE, sizeof cache);
    source_select(SOURCE_FILE, file.path.c_str(), 0, cache);
    source_open();
}

bool same_bytes(const uint8_t* got, const std::vector<uint8_t>& file, size_t offset, size_t count) {
    return memcmp(got, file.data() + offset, count) == 0;
}

}  // namespace

TEST(SourceSelection, FlagsPickTheKind) {
    EXPECT_EQ(source_kind_for_flags(1), SOURCE_MEMORY);
    EXPECT_EQ(source_kind_for_flags(3), SOURCE_MEMORY);  // both bits: memory
    EXPECT_EQ(source_kind_for_flags(2), SOURCE_FILE);
    EXPECT_EQ(source_kind_for_flags(0), SOURCE_RESOURCE);
    EXPECT_EQ(source_kind_for_flags(8 | 16), SOURCE_RESOURCE);
}

// A read past the end copies what is left but advances by the full count;
// from there every read copies nothing and a relative seek must come back
// at least to the end.
TEST(MemorySource, ReadsAndSeeksAroundTheEnd) {
    const std::vector<uint8_t> image = counting_bytes(10518);
    source_select(SOURCE_MEMORY, image.data(), image.size(), nullptr);
    source_open();
    std::vector<uint8_t> out(336, 0xAA);
    EXPECT_EQ(source_read(out.data(), 336), 336u);
    EXPECT_EQ(module_source.read_position, 336u);
    EXPECT_TRUE(source_seek(336, true));
    EXPECT_EQ(module_source.read_position, 336u);

    EXPECT_TRUE(source_seek(10500, true));
    std::fill(out.begin(), out.end(), 0xAA);
    EXPECT_EQ(source_read(out.data(), 100), 18u);
    EXPECT_TRUE(same_bytes(out.data(), image, 10500, 18));
    EXPECT_EQ(out[18], 0xAA);  // the rest keeps what it held
    EXPECT_EQ(module_source.read_position, 10600u);
    EXPECT_EQ(source_read(out.data(), 1), 0u);
    EXPECT_EQ(module_source.read_position, 10600u);
    EXPECT_EQ(source_bytes_left(), 0u);
    EXPECT_FALSE(source_seek(-50, false));
    EXPECT_EQ(module_source.read_position, 10600u);
    EXPECT_TRUE(source_seek(-82, false));
    EXPECT_EQ(module_source.read_position, 10518u);

    EXPECT_TRUE(source_seek(10518, true));
    EXPECT_FALSE(source_seek(10519, true));
    EXPECT_FALSE(source_seek(-1, true));
    EXPECT_FALSE(source_seek(INT32_MIN, true));
    EXPECT_EQ(module_source.read_position, 10518u);
    source_close();
}

TEST(Sources, ZeroAndNegativeCountsChangeNothing) {
    const std::vector<uint8_t> image = counting_bytes(20000);
    TempFile file(image);
    uint8_t out[4] = {1, 2, 3, 4};
    source_select(SOURCE_MEMORY, image.data(), image.size(), nullptr);
    source_open();
    EXPECT_EQ(source_read(out, 0), 0u);
    EXPECT_EQ(source_read(out, -5), 0u);
    EXPECT_EQ(module_source.read_position, 0u);
    open_file_source(file);
    EXPECT_EQ(source_read(out, 0), 0u);
    EXPECT_EQ(source_read(out, -5), 0u);
    EXPECT_EQ(module_source.read_position, 0u);
    EXPECT_EQ(module_source.source_base, 1u);  // still no window
    source_close();
    EXPECT_EQ(out[0], 1);
}

// The cache holds one aligned 8192-byte window; long reads take their head
// from it, their aligned middle from the file, their tail from a new window.
TEST(FileSource, CacheWindows) {
    const std::vector<uint8_t> image = counting_bytes(40000);
    TempFile file(image);
    std::vector<uint8_t> out(20000);
    open_file_source(file);
    EXPECT_EQ(module_source.source_size, 0xFFFFFFFFu);
    EXPECT_EQ(module_source.source_end, 40000u);

    // first read at 0: a window at 0, then the bytes from it
    EXPECT_EQ(source_read(out.data(), 336), 336u);
    EXPECT_TRUE(same_bytes(out.data(), image, 0, 336));
    EXPECT_EQ(module_source.source_base, 0u);
    EXPECT_TRUE(same_bytes(cache, image, 0, 8192));

    // window at 0, position 100, 20000 bytes: 8092 from the window, the 8192
    // at 8192 directly, a window at 16384 for the last 3716
    EXPECT_TRUE(source_seek(100, true));
    EXPECT_EQ(source_read(out.data(), 20000), 20000u);
    EXPECT_TRUE(same_bytes(out.data(), image, 100, 20000));
    EXPECT_EQ(module_source.read_position, 20100u);
    EXPECT_EQ(module_source.source_base, 16384u);
    EXPECT_TRUE(same_bytes(cache, image, 16384, 8192));
    source_close();

    // no window, position 0, 8192 bytes: all directly, then the window at 8192
    open_file_source(file);
    EXPECT_EQ(source_read(out.data(), 8192), 8192u);
    EXPECT_TRUE(same_bytes(out.data(), image, 0, 8192));
    EXPECT_EQ(module_source.source_base, 8192u);
    EXPECT_TRUE(same_bytes(cache, image, 8192, 8192));

    // a seek leaves the window; the next read decides whether it serves
    EXPECT_TRUE(source_seek(8200, true));
    EXPECT_EQ(source_read(out.data(), 8), 8u);
    EXPECT_TRUE(same_bytes(out.data(), image, 8200, 8));
    EXPECT_EQ(module_source.source_base, 8192u);
    EXPECT_TRUE(source_seek(3, true));
    EXPECT_EQ(source_read(out.data(), 5), 5u);
    EXPECT_TRUE(same_bytes(out.data(), image, 3, 5));
    EXPECT_EQ(module_source.source_base, 0u);
    source_close();
}

// Only negative targets are refused; reads at and past the end deliver what
// the file holds and say so.
TEST(FileSource, EndOfFileAndSeeks) {
    const std::vector<uint8_t> image = counting_bytes(9000);
    TempFile file(image);
    std::vector<uint8_t> out(9000);
    open_file_source(file);
    EXPECT_TRUE(source_seek(0x7FFFFFFF, true));
    EXPECT_EQ(source_read(out.data(), 4), 0u);
    EXPECT_FALSE(source_seek(-1, true));
    EXPECT_TRUE(source_seek(8990, true));
    EXPECT_EQ(source_bytes_left(), 10u);
    EXPECT_EQ(source_read(out.data(), 30), 10u);
    EXPECT_TRUE(same_bytes(out.data(), image, 8990, 10));
    EXPECT_EQ(module_source.read_position, 9020u);
    EXPECT_EQ(source_read(out.data(), 4), 0u);
    EXPECT_TRUE(source_seek(0, true));
    EXPECT_EQ(source_read(out.data(), 9000), 9000u);
    EXPECT_TRUE(same_bytes(out.data(), image, 0, 9000));
    EXPECT_EQ(source_read(out.data(), 1), 0u);
    source_close();
    EXPECT_EQ(module_source.file_handle, nullptr);
}

TEST(FileSource, MissingFileDeliversNothing) {
    uint8_t out[16];
    source_select(SOURCE_FILE, "/nonexistent/orna/module.xm", 0, cache);
    source_open();
    EXPECT_EQ(module_source.file_handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(source_read(out, 16), 0u);
    EXPECT_EQ(source_bytes_left(), 0u);
    source_close();
}

namespace {

XmModule module_for_sources() {
    XmModule m;
    m.channels = 4;
    XmPattern p;
    p.rows = 64;
    for (int i = 0; i < 64 * 4; ++i) p.cells.push_back(XmCell{uint8_t(1 + i % 96), 1, 0, 0, 0});
    m.patterns = {p};
    XmInstrument ins;
    XmSample s;
    for (int i = 0; i < 30000; ++i) s.values.push_back(int16_t((i * 37) % 200 - 100));
    s.is_16bit = true;
    ins.samples = {s};
    m.instruments = {ins};
    return m;
}

// A digest of the loaded model's sample data and cells.
uint64_t model_digest() {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    for (uint32_t p = 0; p < song.pattern_count; ++p) {
        const Pattern& pattern = song.pattern_table[p];
        if (!pattern.cells) continue;
        for (uint32_t i = 0; i < pattern.rows * uint32_t(song.channel_count); ++i) mix(pattern.cells[i].note);
    }
    for (uint32_t i = 0; i < song.instrument_count; ++i)
        for (const Sample* s : song.instrument_table[i].samples)
            if (s)
                for (uint32_t k = 0; k < s->length + 3; ++k) mix(uint16_t(s->data[k]));
    return h;
}

// Loads through a kind on a fresh heap; the previous load's heap goes.
int load_selected(SourceKind kind, const void* module, uintptr_t second) {
    static HANDLE heap = nullptr;
    if (heap) HeapDestroy(heap);
    heap = HeapCreate(HEAP_NO_SERIALIZE, 0, 0);
    song_set_heap(heap);
    source_select(kind, module, second, cache);
    const int result = song_load();
    source_close();
    return result;
}

}  // namespace

// The same module through each kind builds the same model.
TEST(Sources, EveryKindLoadsTheSameModel) {
    // static: the resource table keeps the address of the bytes
    static const std::vector<uint8_t> bytes = build_xm(module_for_sources());
    ASSERT_GT(bytes.size(), 3 * MODULE_CACHE_SIZE);
    ASSERT_EQ(load_module(bytes), 1);
    const uint64_t expected = model_digest();
    unload_module();

    TempFile file(bytes);
    ASSERT_EQ(load_selected(SOURCE_FILE, file.path.c_str(), 0), 1);
    EXPECT_EQ(model_digest(), expected);

    ASSERT_TRUE(layer_add_resource(RT_RCDATA, MAKEINTRESOURCEA(7001), bytes.data(), DWORD(bytes.size())));
    ASSERT_TRUE(layer_add_resource(RT_RCDATA, "TestTune", bytes.data(), DWORD(bytes.size())));
    ASSERT_EQ(load_selected(SOURCE_RESOURCE, MAKEINTRESOURCEA(7001), 0), 1);
    EXPECT_EQ(model_digest(), expected);
    EXPECT_EQ(module_source.source_size, bytes.size());
    ASSERT_EQ(load_selected(SOURCE_RESOURCE, "testtune", reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr))), 1);
    EXPECT_EQ(model_digest(), expected);

    // a resource that does not exist has size 0: nothing to read
    EXPECT_EQ(load_selected(SOURCE_RESOURCE, MAKEINTRESOURCEA(7002), 0), 0);
    EXPECT_EQ(module_source.source_size, 0u);
    EXPECT_EQ(load_selected(SOURCE_FILE, "/nonexistent/orna/module.xm", 0), 0);
}

// Every prefix of a module in a file fails, the whole file loads.
TEST(FileSource, EveryPrefixOfAFileFails) {
    XmModule m;
    m.channels = 2;
    XmPattern p;
    p.rows = 2;
    p.cells = {XmCell{1, 1, 0, 0, 0}, XmCell{}, XmCell{}, XmCell{2, 0, 0, 3, 4}};
    m.patterns = {p};
    XmInstrument ins;
    XmSample s;
    s.values = {3, 2, 1};
    ins.samples = {s};
    m.instruments = {ins};
    const std::vector<uint8_t> bytes = build_xm(m);
    for (size_t size = 0; size <= bytes.size(); ++size) {
        TempFile file(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(size)));
        ASSERT_EQ(load_selected(SOURCE_FILE, file.path.c_str(), 0), size == bytes.size() ? 1 : 0) << size;
    }
}
