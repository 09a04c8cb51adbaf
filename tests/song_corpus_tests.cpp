// Real modules made by other people: every one loads through the memory
// and the file source alike, and xm-info lists the structure that a plain
// walk over the file's headers finds. Also xm-info's answers to bad input.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/wait.h>

#include <sstream>

#include "song/song.h"
#include "tests/support/fixtures.h"
#include "tests/support/xm_builder.h"

namespace {

const std::string XM_INFO = std::string(ORNA_BINARY_DIR) + "/bin/xm-info";

struct ToolRun {
    int status;
    std::string out;
};

// Runs xm-info with an argument string; stderr joins stdout.
ToolRun run_xm_info(const std::string& arguments) {
    ToolRun run{-1, {}};
    FILE* pipe = popen((XM_INFO + " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return at + 2 <= b.size() ? b[at] | b[at + 1] << 8 : 0; }
uint32_t le32(const std::vector<uint8_t>& b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

// The lines xm-info must print, from a plain walk over the headers of a
// well-formed module (pattern data skipped by its packed size, sample data
// by its length).
std::vector<std::string> expected_lines(const std::vector<uint8_t>& b) {
    std::vector<std::string> lines;
    auto add = [&lines](const std::ostringstream& s) { lines.push_back(s.str()); };
    const uint32_t length = le16(b, 64), stored = le16(b, 70), bpm = le16(b, 78);
    uint32_t highest = 0;
    std::ostringstream orders;
    orders << "orders:";
    for (uint32_t i = 0; i < length; ++i) {
        orders << ' ' << unsigned(b[80 + i]);
        highest = std::max<uint32_t>(highest, b[80 + i]);
    }
    add(std::ostringstream() << "song length: " << length);
    add(std::ostringstream() << "restart position: " << le16(b, 66));
    add(std::ostringstream() << "channels: " << (le16(b, 68) & 0xFF));
    add(std::ostringstream() << "patterns: " << stored << " stored, " << std::max(stored, highest + 1) << " total");
    add(std::ostringstream() << "instruments: " << (le16(b, 72) & 0xFF));
    add(std::ostringstream() << "frequency table: " << ((le16(b, 74) & 1) ? "linear" : "amiga"));
    add(std::ostringstream() << "speed: " << le16(b, 76));
    add(std::ostringstream() << "bpm: " << bpm);
    add(std::ostringstream() << "frames per tick: " << (bpm ? 120000 / bpm : 120000));
    add(orders);
    size_t at = 60 + le32(b, 60);
    for (uint32_t p = 0; p < stored; ++p) {
        const uint32_t rows = le16(b, at + 5), packed = le16(b, at + 7);
        add(std::ostringstream() << "pattern " << p << ": " << rows << " rows, packed " << packed << " bytes");
        at += le32(b, at) + packed;
    }
    for (uint32_t i = 0; i < (le16(b, 72) & 0xFF); ++i) {
        const uint32_t samples = b[at + 27], header = le32(b, at + 29);
        add(std::ostringstream() << "instrument " << i + 1 << ": " << samples << " samples");
        at += le32(b, at);
        uint64_t data = 0;
        for (uint32_t k = 0; k < samples; ++k, at += header) {
            const uint32_t bytes = le32(b, at), type = b[at + 14], packing = b[at + 17];
            const bool wide = type & 0x10;
            add(std::ostringstream() << "  sample " << k << ": length " << (wide ? bytes / 2 : bytes) << ", loop");
            add(std::ostringstream() << (wide ? ", 16-bit, " : ", 8-bit, ") << (packing == 0xAD ? "4-bit packed" : "delta"));
            data += packing == 0xAD ? 16 + ((wide ? bytes / 2 : bytes) + 1) / 2 : (wide ? bytes & ~1u : bytes);
        }
        at += data;
    }
    return lines;
}

}  // namespace

TEST(Corpus, EveryModuleLoadsAndXmInfoListsIt) {
    const std::vector<std::string> modules = corpus_modules();
    if (modules.empty()) GTEST_SKIP() << "no corpus at " << ORNA_CORPUS_DIR;
    for (const std::string& path : modules) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> bytes = read_file_bytes(path);
        ASSERT_EQ(load_module(bytes), 1);
        const ToolRun run = run_xm_info("'" + path + "'");
        ASSERT_EQ(run.status, 0) << run.out;
        // each expected line (or line part) appears, in this order
        size_t from = 0;
        for (const std::string& line : expected_lines(bytes)) {
            const size_t found = run.out.find(line, from);
            ASSERT_NE(found, std::string::npos) << "missing after offset " << from << ": " << line;
            from = found + line.size();
        }
        // the tool read the file through the file source: same model
        EXPECT_NE(run.out.find("channels: " + std::to_string(song.channel_count) + "\n"), std::string::npos);
    }
    unload_module();
}

TEST(XmInfo, BadInputSaysSoWithStatus2) {
    ToolRun run = run_xm_info("");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("usage: xm-info MODULE.xm"), std::string::npos);
    run = run_xm_info("a.xm b.xm");
    EXPECT_EQ(run.status, 2);
    run = run_xm_info("/nonexistent/orna/missing.xm");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("cannot open /nonexistent/orna/missing.xm"), std::string::npos);
    run = run_xm_info(std::string("'") + ORNA_SOURCE_DIR + "/CMakeLists.txt'");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("CMakeLists.txt is not a loadable XM module"), std::string::npos);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
}
