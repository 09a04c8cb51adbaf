// xm-render end to end: the WAV header, the block count, the end of a
// no-loop song, the bytes against the renderer itself, and the error exit.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "player/render.h"
#include "song/song.h"
#include "tests/support/fixtures.h"
#include "tests/support/xm_builder.h"

namespace {

const std::string tool = std::string(ORNA_BINARY_DIR) + "/bin/xm-render";

struct ToolRun {
    int status;
    std::string err;
};

// Runs xm-render with the arguments; stderr is captured (not a terminal).
ToolRun run_tool(const std::string& args) {
    const std::string err_path = testing::TempDir() + "xm_render_stderr.txt";
    const std::string command = tool + " " + args + " 2>" + err_path;
    const int raw = system(command.c_str());
    const std::vector<uint8_t> err = read_file_bytes(err_path);
    return ToolRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(err.begin(), err.end())};
}

std::string write_temp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = testing::TempDir() + name;
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return path;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// A short module that sounds: one note on a looped square wave.
std::vector<uint8_t> tone_module(uint16_t rows) {
    XmModule m;
    m.channels = 2;
    m.speed = 1;
    XmSample s;
    for (int k = 0; k < 32; ++k) s.values.push_back(k < 16 ? 100 : -100);
    s.loop_type = LOOP_FORWARD;
    s.loop_length = 32;
    XmInstrument instrument;
    instrument.samples.push_back(s);
    m.instruments.push_back(instrument);
    XmPattern p;
    p.rows = rows;
    p.cells.resize(rows * 2);
    p.cells[0].note = 49;
    p.cells[0].instrument = 1;
    m.patterns.push_back(p);
    return build_xm(m);
}

TEST(XmRender, WavHeaderAndBlockCount) {
    const std::string module = write_temp("tone.xm", tone_module(64));
    const std::string out = testing::TempDir() + "tone.wav";
    ASSERT_EQ(run_tool(module + " -o " + out + " --blocks 5").status, 0);
    const std::vector<uint8_t> wav = read_file_bytes(out);
    ASSERT_EQ(wav.size(), 44u + 5 * 4096);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(le32(wav, 4), 36u + 5 * 4096);
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 16), 16u);
    EXPECT_EQ(le16(wav, 20), 1);      // PCM
    EXPECT_EQ(le16(wav, 22), 2);      // stereo
    EXPECT_EQ(le32(wav, 24), 48000u);
    EXPECT_EQ(le32(wav, 28), 192000u);
    EXPECT_EQ(le16(wav, 32), 4);
    EXPECT_EQ(le16(wav, 34), 16);
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    EXPECT_EQ(le32(wav, 40), 5u * 4096);

    // One second covers 47 blocks; the default is 30 s.
    const std::string raw = testing::TempDir() + "tone.raw";
    ASSERT_EQ(run_tool(module + " -o " + raw + " --seconds 1").status, 0);
    EXPECT_EQ(read_file_bytes(raw).size(), 47u * 4096);
    ASSERT_EQ(run_tool(module + " -o " + raw).status, 0);
    EXPECT_EQ(read_file_bytes(raw).size(), 1407u * 4096);
}

TEST(XmRender, WritesWhatTheRendererRenders) {
    const std::vector<uint8_t> bytes = tone_module(64);
    const std::string module = write_temp("tone2.xm", bytes);
    const std::string raw = testing::TempDir() + "tone2.raw";
    ASSERT_EQ(run_tool(module + " -o " + raw + " --blocks 20 --volume 22").status, 0);
    const std::vector<uint8_t> got = read_file_bytes(raw);
    ASSERT_EQ(got.size(), 20u * 4096);

    ASSERT_NE(load_module(bytes), 0);
    player_shared.paused.store(0);
    player_shared.no_loop = 0;
    player_shared.master_volume.store(16423);
    player_shared.fill_block = 0;
    clear_block_reports();
    std::vector<uint8_t> expected;
    for (int b = 0; b < 20; ++b) {
        const uint32_t block = player_shared.fill_block;
        ASSERT_TRUE(render_block());
        const uint8_t* p = reinterpret_cast<const uint8_t*>(output_ring + block * 2048);
        expected.insert(expected.end(), p, p + 4096);  // the host is little-endian
    }
    unload_module();
    EXPECT_EQ(got, expected);
    EXPECT_NE(std::count(got.begin(), got.end(), 0), static_cast<long>(got.size()));  // the note sounds
}

TEST(XmRender, NoLoopEndsWhereTheSongEnds) {
    // Four rows of one 960-frame tick: rows 0..2 play (2880 frames), so two
    // whole blocks are written and the third, abandoned, is not.
    const std::string module = write_temp("short.xm", tone_module(4));
    const std::string out = testing::TempDir() + "short.wav";
    ASSERT_EQ(run_tool(module + " -o " + out + " --no-loop --blocks 100").status, 0);
    const std::vector<uint8_t> wav = read_file_bytes(out);
    ASSERT_EQ(wav.size(), 44u + 2 * 4096);
    EXPECT_EQ(le32(wav, 40), 2u * 4096);
}

TEST(XmRender, ModuleThatDoesNotLoadExitsWithTwo) {
    const std::string bad = write_temp("bad.xm", std::vector<uint8_t>(100, 'x'));
    const std::string out = testing::TempDir() + "bad.raw";
    for (const std::string& module : {bad, testing::TempDir() + "missing.xm"}) {
        const ToolRun r = run_tool(module + " -o " + out);
        EXPECT_EQ(r.status, 2) << module;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(run_tool(bad).status, 2);  // no output named
}

TEST(XmRender, RendersTheEmbeddedTune) {
    const std::string tune = std::string(ORNA_SOURCE_DIR) + "/assets/tune.xm";
    if (read_file_bytes(tune).empty()) GTEST_SKIP() << "no assets/tune.xm in this tree";
    const std::string out = testing::TempDir() + "tune.raw";
    ASSERT_EQ(run_tool(tune + " -o " + out + " --seconds 10").status, 0);
    const std::vector<uint8_t> bytes = read_file_bytes(out);
    EXPECT_EQ(bytes.size(), 469u * 4096);
    EXPECT_NE(std::count(bytes.begin(), bytes.end(), 0), static_cast<long>(bytes.size()));
}

TEST(XmRender, RendersEveryCorpusModule) {
    const std::string out = testing::TempDir() + "corpus.raw";
    for (const std::string& module : corpus_modules()) {
        EXPECT_EQ(run_tool("'" + module + "' -o " + out + " --blocks 400").status, 0) << module;
        EXPECT_EQ(read_file_bytes(out).size(), 400u * 4096) << module;
    }
}

}  // namespace
