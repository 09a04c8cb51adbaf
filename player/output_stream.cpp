// The output stream's platform side: the prefill on the application's thread
// and the mixing thread that keeps the ring rendered ahead of the device.
// The block renderer itself (render.cpp) is plain computation.
#include "player/output_stream.h"

#include "player/render.h"

void prefill() {
    do {
        if (!render_block()) player_end_of_song();
    } while (player_shared.fill_block != 0);
}

// Polls the device's byte position, then renders blocks until fill_block
// reaches the block being played, one block per 5 ms pause; the position is
// queried again only once the thread has caught up.
DWORD WINAPI mixing_thread_proc(LPVOID) {
    MMTIME position;
    for (;;) {
        position.wType = TIME_BYTES;
        position.u.cb = 0;
        waveOutGetPosition(output_device.load(std::memory_order_relaxed), &position, sizeof position);
        // Bits 12..15 of the byte count: the block being played. The count's
        // wrap at 2^32 does not disturb them.
        const uint32_t playing = (position.u.cb / BLOCK_BYTES) % RING_BLOCKS;
        for (;;) {
            Sleep(5);
            if (player_shared.stop_requested.load(std::memory_order_relaxed) != 0) {
                mixing_thread_running.store(0, std::memory_order_release);
                return 0;
            }
            if (player_shared.fill_block == playing) break;
            if (player_shared.paused.load(std::memory_order_relaxed) == 0) {
                const uint32_t slot = player_shared.report_slot.load(std::memory_order_relaxed);
                player_shared.report_slot.store((slot + 1) % RING_BLOCKS, std::memory_order_relaxed);
            }
            // An ended no-loop song releases everything here; the next pass
            // sees stop_requested and ends the thread.
            if (!render_block()) player_end_of_song();
        }
    }
}
