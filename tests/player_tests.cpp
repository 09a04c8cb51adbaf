// The player's control interface and its mixing thread against the wave-out
// device of our layer, headless (SDL's dummy and disk audio drivers). What
// the device played is captured through the layer's capture hook.
#include <gtest/gtest.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "player/output_stream.h"
#include "player/player.h"
#include "player/render.h"
#include "song/song.h"
#include "tests/support/fixtures.h"
#include "tests/support/xm_builder.h"

namespace {

// Runs before any test: no test may reach a real sound device.
const int headless = setenv("SDL_AUDIODRIVER", "dummy", 1);

// One channel plays a looped square wave from row 0 of every pattern, so
// every rendered block of music holds nonzero samples.
std::vector<uint8_t> tone_module(uint16_t orders, uint16_t rows, uint16_t speed, uint16_t bpm) {
    XmModule m;
    m.channels = 1;
    m.speed = speed;
    m.bpm = bpm;
    m.song_length = orders;
    m.order.assign(orders, 0);
    XmPattern p;
    p.rows = rows;
    p.cells.resize(rows);
    p.cells[0] = XmCell{49, 1, 0, 0, 0};
    m.patterns.push_back(p);
    XmInstrument ins;
    XmSample s;
    for (int i = 0; i < 32; i++) s.values.push_back(i < 16 ? 100 : -100);
    s.loop_start = 0;
    s.loop_length = 32;
    s.loop_type = 1;
    ins.samples.push_back(s);
    ins.sample_map.assign(96, 0);
    m.instruments.push_back(ins);
    return build_xm(m);
}

// A looping song of 4 orders of 64 rows (7.7 s each).
const std::vector<uint8_t>& long_song() {
    static const std::vector<uint8_t> bytes = tone_module(4, 64, 6, 125);
    return bytes;
}

// 470-frame ticks, one tick per row: rows x 470 frames in all.
std::vector<uint8_t> short_song(uint16_t rows) {
    return tone_module(1, rows, 1, 255);
}

void* start_memory(const std::vector<uint8_t>& bytes, uint32_t flags = PLAY_FROM_MEMORY) {
    return player_start(bytes.data(), bytes.size(), flags);
}

bool wait_until(const std::function<bool()>& done, int timeout_ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool is_idle() {
    return output_device.load() == nullptr && mixing_thread.load() == nullptr && song_heap.load() == nullptr &&
           mixing_thread_running.load() == 0;
}

void expect_idle() {
    EXPECT_EQ(output_device.load(), nullptr);
    EXPECT_EQ(mixing_thread.load(), nullptr);
    EXPECT_EQ(song_heap.load(), nullptr);
    EXPECT_EQ(mixing_thread_running.load(), 0u);
    EXPECT_EQ(player_get_levels(), 0u);
    EXPECT_EQ(player_get_position(), 0u);
    EXPECT_EQ(player_get_time(), 0u);
    EXPECT_EQ(player_shared.fill_block, 0u);
}

int thread_count() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// Everything the device plays, in order: byte k of `bytes` is the k-th byte
// counted by the device position since waveOutWrite of the current song.
struct Capture {
    std::mutex lock;
    std::vector<uint8_t> bytes;
};
Capture capture;

void capture_sink(const void* data, DWORD count) {
    std::lock_guard<std::mutex> hold(capture.lock);
    const uint8_t* p = static_cast<const uint8_t*>(data);
    capture.bytes.insert(capture.bytes.end(), p, p + count);
}

size_t captured_size() {
    std::lock_guard<std::mutex> hold(capture.lock);
    return capture.bytes.size();
}

// Counts the ring blocks (4096-byte stretches from `from`) that hold a
// nonzero sample, among `blocks` blocks.
int audible_blocks(size_t from, int blocks) {
    std::lock_guard<std::mutex> hold(capture.lock);
    int audible = 0;
    for (int b = 0; b < blocks; b++) {
        const size_t start = from + size_t(b) * BLOCK_BYTES;
        bool nonzero = false;
        for (size_t i = start; i < start + BLOCK_BYTES && i < capture.bytes.size(); i++) nonzero |= capture.bytes[i] != 0;
        audible += nonzero;
    }
    return audible;
}

struct CaptureScope {
    CaptureScope() {
        std::lock_guard<std::mutex> hold(capture.lock);
        capture.bytes.clear();
        layer_wave_capture(capture_sink);
    }
    ~CaptureScope() { layer_wave_capture(nullptr); }
};

class Player : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(headless, 0);
        player_stop();
        player_set_volume(25);
    }
    void TearDown() override {
        player_stop();
        expect_idle();
    }
};

}  // namespace

TEST_F(Player, LifecycleIdlePlayingIdle) {
    expect_idle();
    player_stop();  // stop while idle does nothing
    expect_idle();
    EXPECT_EQ(player_start(nullptr, 0, PLAY_FROM_MEMORY), nullptr);
    expect_idle();

    void* token = start_memory(long_song());
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(token, static_cast<void*>(&output_device));
    EXPECT_NE(output_device.load(), nullptr);
    EXPECT_NE(mixing_thread.load(), nullptr);
    EXPECT_NE(song_heap.load(), nullptr);
    // The prefill rendered the whole ring: 16 blocks of music.
    EXPECT_GE(player_get_time(), 300u);
    EXPECT_TRUE(wait_until([] { return player_get_levels() != 0 && player_get_time() > 600; }));

    // A start without a module only stops.
    EXPECT_EQ(player_start(nullptr, 0, PLAY_FROM_MEMORY), nullptr);
    expect_idle();
}

TEST_F(Player, TwoStartsInARowReleaseTheFirstSong) {
    ASSERT_NE(start_memory(long_song()), nullptr);
    ASSERT_TRUE(wait_until([] { return player_get_time() > 600; }));
    ASSERT_NE(start_memory(long_song()), nullptr);
    EXPECT_NE(mixing_thread.load(), nullptr);
    EXPECT_LT(player_get_time(), 1000u);  // the statistics started afresh
}

TEST_F(Player, FailedStartsLeaveNothingBehind) {
    XmModule empty;  // song length 0
    empty.song_length = 0;
    empty.patterns.push_back(XmPattern{});
    std::vector<uint8_t> no_orders = build_xm(empty);
    std::vector<uint8_t> garbage(2000, 0x5A);
    std::vector<uint8_t> truncated(long_song().begin(), long_song().begin() + 100);
    const std::vector<uint8_t> ends_in_prefill = short_song(8);  // 3760 frames: under four blocks
    for (const std::vector<uint8_t>* bytes : {&no_orders, &garbage, &truncated}) {
        EXPECT_EQ(start_memory(*bytes), nullptr);
        expect_idle();
    }
    EXPECT_EQ(start_memory(ends_in_prefill, PLAY_FROM_MEMORY | PLAY_NO_LOOP), nullptr);
    expect_idle();
    // The same song looping starts fine.
    EXPECT_NE(start_memory(ends_in_prefill), nullptr);
    player_stop();

    // No sound device: the open fails, and so does the write.
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(start_memory(long_song()), nullptr);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    expect_idle();
    EXPECT_NE(start_memory(long_song()), nullptr);
}

TEST_F(Player, SourceKindsByFlags) {
    const std::vector<uint8_t>& bytes = long_song();
    char path[] = "/tmp/orna-player-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    close(fd);
    ASSERT_TRUE(layer_add_resource(RT_RCDATA, MAKEINTRESOURCEA(777), bytes.data(), DWORD(bytes.size())));

    struct Case {
        const void* module;
        uintptr_t second;
        uint32_t flags;
        bool plays;
    } cases[] = {
        {bytes.data(), bytes.size(), PLAY_FROM_MEMORY, true},
        {bytes.data(), bytes.size(), PLAY_FROM_MEMORY | PLAY_FROM_FILE, true},  // memory wins
        {bytes.data(), bytes.size(), 0x100 | PLAY_FROM_MEMORY, true},           // high bits ignored
        {bytes.data(), 100, PLAY_FROM_MEMORY, false},                           // size too short
        {path, 0, PLAY_FROM_FILE, true},
        {"/nonexistent/orna.xm", 0, PLAY_FROM_FILE, false},
        {MAKEINTRESOURCEA(777), 0, PLAY_FROM_RESOURCE, true},
        {MAKEINTRESOURCEA(778), 0, PLAY_FROM_RESOURCE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << " second " << c.second);
        void* token = player_start(c.module, c.second, c.flags);
        EXPECT_EQ(token != nullptr, c.plays);
        if (c.plays) {
            EXPECT_EQ(song.song_length, 4);
        }
        player_stop();
        expect_idle();
    }
    unlink(path);
}

TEST_F(Player, StartPausedRendersSilenceAndHoldsTheSong) {
    CaptureScope scope;
    ASSERT_NE(start_memory(long_song(), PLAY_FROM_MEMORY | PLAY_PAUSED), nullptr);
    ASSERT_TRUE(wait_until([] { return captured_size() >= 24 * BLOCK_BYTES; }));
    EXPECT_EQ(audible_blocks(0, 24), 0);
    EXPECT_EQ(player_get_time(), 0u);
    EXPECT_EQ(player_get_position(), 0u);

    const size_t resumed_at = captured_size();
    player_resume();
    ASSERT_TRUE(wait_until([&] { return captured_size() >= resumed_at + 40 * BLOCK_BYTES; }));
    EXPECT_GT(player_get_time(), 0u);
    // The silence already queued plays out (at most the ring), then music.
    EXPECT_EQ(audible_blocks(resumed_at + 17 * BLOCK_BYTES, 20), 20);
}

TEST_F(Player, PauseAndResumeAreHeardAfterTheQueuedBlocks) {
    CaptureScope scope;
    ASSERT_NE(start_memory(long_song()), nullptr);
    ASSERT_TRUE(wait_until([] { return captured_size() >= 20 * BLOCK_BYTES; }));
    EXPECT_EQ(audible_blocks(0, 20), 20);

    const size_t paused_at = captured_size();
    player_pause();
    const uint32_t time_at_pause = player_get_time();
    ASSERT_TRUE(wait_until([&] { return captured_size() >= paused_at + 40 * BLOCK_BYTES; }));
    // Up to a ring of music queued before the pause still plays (at least
    // the blocks the thread had rendered ahead), then silence.
    EXPECT_GE(audible_blocks(paused_at, 12), 12);
    EXPECT_EQ(audible_blocks(paused_at + 17 * BLOCK_BYTES, 20), 0);
    EXPECT_EQ(player_get_time(), time_at_pause);
    const uint32_t position = player_get_position();
    Sleep(100);
    EXPECT_EQ(player_get_position(), position);

    const size_t resumed_at = captured_size();
    player_resume();
    ASSERT_TRUE(wait_until([&] { return captured_size() >= resumed_at + 40 * BLOCK_BYTES; }));
    EXPECT_EQ(audible_blocks(resumed_at, 12), 0);  // the silence rendered while paused plays out first
    EXPECT_EQ(audible_blocks(resumed_at + 17 * BLOCK_BYTES, 20), 20);
    EXPECT_GT(player_get_time(), time_at_pause);
}

TEST_F(Player, VolumeLevelsAndClamping) {
    struct Case {
        uint32_t level;
        uint32_t master;
    } cases[] = {{0, 1}, {1, 130}, {18, 6538}, {22, 16423}, {25, 32768}, {26, 32768}, {1000, 32768},
                 {uint32_t(-1), 32768}};
    for (const Case& c : cases) {
        player_set_volume(c.level);
        EXPECT_EQ(player_shared.master_volume.load(), c.master) << "level " << c.level;
    }
    // A level set while idle carries into the next start and is not reset by it.
    player_set_volume(18);
    ASSERT_NE(start_memory(long_song()), nullptr);
    EXPECT_EQ(player_shared.master_volume.load(), 6538u);
    player_stop();
    EXPECT_EQ(player_shared.master_volume.load(), 6538u);

    // Level 0 is complete silence once the queued blocks have played.
    CaptureScope scope;
    ASSERT_NE(start_memory(long_song()), nullptr);
    ASSERT_TRUE(wait_until([] { return captured_size() >= 4 * BLOCK_BYTES; }));
    const size_t muted_at = captured_size();
    player_set_volume(0);
    ASSERT_TRUE(wait_until([&] { return captured_size() >= muted_at + 40 * BLOCK_BYTES; }));
    EXPECT_EQ(audible_blocks(muted_at + 17 * BLOCK_BYTES, 20), 0);
    EXPECT_NE(player_get_time(), 0u);  // the song went on
}

TEST_F(Player, JumpToOrder) {
    ASSERT_NE(start_memory(long_song(), PLAY_FROM_MEMORY | PLAY_PAUSED), nullptr);
    struct Case {
        uint32_t position;
        int32_t order;
    } cases[] = {{2, 2}, {65537, 1}, {4, 0}, {1000, 0}, {3, 3}};
    for (const Case& c : cases) {
        song.next_row.store(-1);
        player_jump_to_order(c.position);
        EXPECT_EQ(song.next_row.load(), 0) << c.position;
        EXPECT_EQ(song.next_order.load(), c.order) << c.position;
    }
    // Taken by the sequencer once the song moves: the reported position
    // reaches order 3 (the last jump) within a second or so.
    player_resume();
    EXPECT_TRUE(wait_until([] { return (player_get_position() >> 16) == 3; }));
    player_jump_to_order(65537);
    EXPECT_TRUE(wait_until([] { return (player_get_position() >> 16) == 1; }));
}

TEST_F(Player, NoLoopSongEndsAndReleasesOnTheMixingThread) {
    CaptureScope scope;
    // 64 rows of 470 frames: 29.4 blocks, so it ends on the mixing thread.
    ASSERT_NE(start_memory(short_song(64), PLAY_FROM_MEMORY | PLAY_NO_LOOP), nullptr);
    ASSERT_TRUE(wait_until([] { return is_idle(); }));
    expect_idle();
    // The stop is abrupt: the blocks still queued are not played.
    EXPECT_LT(captured_size(), size_t(30 * BLOCK_BYTES));
    player_stop();
    expect_idle();
    // The player starts again afterwards.
    ASSERT_NE(start_memory(long_song()), nullptr);
}

TEST_F(Player, StopRacesTheEndOfAShortSong) {
    // 36 rows of 470 frames: 16.5 blocks, so the song ends while the thread
    // renders its first block or two, some 20 to 45 ms after the start.
    const std::vector<uint8_t> bytes = short_song(36);
    for (int i = 0; i < 60; i++) {
        ASSERT_NE(start_memory(bytes, PLAY_FROM_MEMORY | PLAY_NO_LOOP), nullptr);
        std::this_thread::sleep_for(std::chrono::microseconds((i % 30) * 2000));
        if (i % 2) {
            player_stop();
        } else {
            EXPECT_EQ(start_memory(bytes, PLAY_FROM_MEMORY | PLAY_NO_LOOP) != nullptr, true);
            player_stop();
        }
        expect_idle();
    }
}

TEST_F(Player, ThousandStartStopCycles) {
    const int threads_before = thread_count();
    const std::vector<uint8_t> bytes = short_song(64);
    for (int i = 0; i < 1000; i++) {
        ASSERT_NE(start_memory(bytes, PLAY_FROM_MEMORY | (i % 3 == 0 ? uint32_t(PLAY_PAUSED) : 0u)), nullptr) << i;
        if (i % 100 == 0) Sleep(30);  // now and then let the thread render a few blocks
        player_stop();
        ASSERT_TRUE(is_idle()) << i;
    }
    // The mixing threads and the device threads have all gone.
    EXPECT_TRUE(wait_until([&] { return thread_count() <= threads_before; })) << thread_count();
}

TEST_F(Player, DiskDriverWritesWhatTheDevicePlayed) {
    char path[] = "/tmp/orna-disk-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path, 1);
    {
        CaptureScope scope;
        void* token = start_memory(long_song());
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_NE(token, nullptr);
        ASSERT_TRUE(wait_until([] { return captured_size() >= 20 * BLOCK_BYTES; }));
        player_stop();
    }
    const std::vector<uint8_t> file = read_file_bytes(path);
    unlink(path);
    std::vector<uint8_t> played;
    {
        std::lock_guard<std::mutex> hold(capture.lock);
        played = capture.bytes;
    }
    // The file holds silence while the device waits, then exactly the bytes played.
    ASSERT_GE(played.size(), size_t(20 * BLOCK_BYTES));
    auto first_sound = [](const std::vector<uint8_t>& v) {
        size_t i = 0;
        while (i < v.size() && v[i] == 0) i++;
        return i;
    };
    const size_t in_file = first_sound(file), in_played = first_sound(played);
    ASSERT_LT(in_played, played.size());
    ASSERT_GE(file.size() - in_file, played.size() - in_played);
    EXPECT_TRUE(std::equal(played.begin() + in_played, played.end(), file.begin() + in_file));
}

TEST_F(Player, PlaysTheTuneAndEveryCorpusModule) {
    std::vector<std::string> paths = corpus_modules();
    const std::string tune = std::string(ORNA_SOURCE_DIR) + "/assets/tune.xm";
    if (access(tune.c_str(), R_OK) == 0) paths.push_back(tune);
    if (paths.empty()) GTEST_SKIP() << "no modules to play";
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> bytes = read_file_bytes(path);
        ASSERT_NE(start_memory(bytes), nullptr);
        const uint32_t prefilled = player_get_time();
        EXPECT_GE(prefilled, 300u);
        EXPECT_TRUE(wait_until([&] { return player_get_time() > prefilled; }));
        player_stop();
        expect_idle();
    }
}
