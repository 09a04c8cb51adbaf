// A bounded soak of the player's control interface on the headless wave-out
// device: start, play, pause, jump, change the volume, resume and stop, a few
// thousand times, with the start flags varied and now and then a short
// no-loop song that ends by itself. Afterwards the player is idle and holds
// no more threads, file descriptors or allocated memory than before: nothing
// leaked, nothing hung (a hang runs into the test's timeout).
#include <gtest/gtest.h>

#include <dirent.h>
#include <malloc.h>
#include <stdlib.h>

#include <chrono>
#include <thread>
#include <vector>

#include "assets/song_data.h"
#include "player/output_stream.h"
#include "player/player.h"
#include "player/render.h"
#include "tests/support/xm_builder.h"

namespace {

const int headless = setenv("SDL_AUDIODRIVER", "dummy", 1);

constexpr int CYCLES = 2000;
constexpr size_t HEAP_SLACK = 1 << 20;  // allocator bookkeeping may grow a little, a leak grows per cycle

int entries_in(const char* dir) {
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// Bytes the C allocator has handed out (0 under a sanitizer's allocator,
// whose own leak check runs at exit instead).
size_t heap_in_use() { return mallinfo2().uordblks; }

bool player_idle() {
    return output_device.load() == nullptr && mixing_thread.load() == nullptr && song_heap.load() == nullptr &&
           mixing_thread_running.load() == 0 && player_get_time() == 0;
}

template <typename Done>
bool wait_for(Done done, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// One channel, one looped note on row 0 of each of `orders` 4-row patterns
// at one tick per row: a no-loop song of about 40 ms.
std::vector<uint8_t> short_no_loop_song() {
    XmModule m;
    m.channels = 1;
    m.speed = 1;
    m.bpm = 255;
    m.song_length = 4;
    m.order = {0, 0, 0, 0};
    XmPattern p;
    p.rows = 4;
    p.cells.resize(4);
    p.cells[0] = XmCell{49, 1, 0, 0, 0};
    m.patterns.push_back(p);
    XmInstrument ins;
    XmSample s;
    for (int i = 0; i < 32; i++) s.values.push_back(i < 16 ? 90 : -90);
    s.loop_length = 32;
    s.loop_type = 1;
    ins.samples.push_back(s);
    ins.sample_map.assign(96, 0);
    m.instruments.push_back(ins);
    return build_xm(m);
}

TEST(RobustnessSoak, StartPlayPauseJumpStopCycles) {
    ASSERT_EQ(headless, 0);
    player_stop();
    const std::vector<uint8_t> short_song = short_no_loop_song();
    // One cycle first, so SDL's lazily made state is there before the counts.
    ASSERT_NE(player_start(song_data, SONG_DATA_SIZE, PLAY_FROM_MEMORY), nullptr);
    player_stop();
    const int threads_before = entries_in("/proc/self/task");
    const int fds_before = entries_in("/proc/self/fd");
    const size_t heap_before = heap_in_use();

    for (int i = 0; i < CYCLES; ++i) {
        SCOPED_TRACE("cycle " + std::to_string(i));
        if (i % 100 == 50) {
            // A song that ends by itself, on the mixing thread or already in
            // the prefill (then the start fails); the stop after it is a no-op.
            player_start(short_song.data(), short_song.size(), PLAY_FROM_MEMORY | PLAY_NO_LOOP);
            ASSERT_TRUE(wait_for(player_idle, 5000));
            player_stop();
            continue;
        }
        const uint32_t flags = PLAY_FROM_MEMORY | (i % 4 == 1 ? uint32_t(PLAY_PAUSED) : 0u) |
                               (i % 4 == 2 ? uint32_t(PLAY_NO_LOOP) : 0u);
        ASSERT_NE(player_start(song_data, SONG_DATA_SIZE, flags), nullptr);
        if (i % 25 == 0 && i % 4 != 1) {
            // Now and then let the mixing thread render past the prefill
            // (16 blocks, 341 ms of music).
            ASSERT_TRUE(wait_for([] { return player_get_time() > 341; }, 5000));
        }
        player_pause();
        player_jump_to_order(uint32_t(i));
        player_set_volume(uint32_t(i % 27));
        player_resume();
        if (i % 7 == 0) player_jump_to_order(0xFFFFu);
        player_stop();
        ASSERT_TRUE(player_idle());
    }

    EXPECT_TRUE(wait_for([&] { return entries_in("/proc/self/task") <= threads_before; }, 5000))
        << entries_in("/proc/self/task") << " threads, " << threads_before << " before";
    EXPECT_LE(entries_in("/proc/self/fd"), fds_before);
    EXPECT_LE(heap_in_use(), heap_before + HEAP_SLACK) << heap_before << " bytes in use before";
    player_set_volume(25);
}

}  // namespace
