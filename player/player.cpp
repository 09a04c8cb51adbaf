// The player's control interface: start, stop, pause, resume, volume, jump
// and the three queries. Runs on the application's thread; the music is
// rendered by the mixing thread (output_stream.cpp).
//
// Stop and the end of a no-loop song. Both release the same three things
// (thread handle, device, heap) through release_song, and may run at the same
// moment: player_stop on the application's thread, the end-of-song stop on
// the mixing thread. Each handle is taken out of its slot with one atomic
// exchange, so whoever gets it is its only releaser. For the thread handle:
// - player_stop takes it: it requests the stop and waits for the thread to
//   end before it releases anything, so the thread's own release (if the end
//   of the song came first) has finished by then and left nothing behind.
// - the mixing thread takes it (end of song): it closes its own handle
//   without waiting; player_stop then finds none and waits instead for
//   mixing_thread_running to drop, which the thread stores as its very last
//   touch of shared state.
// Either way player_stop goes on only after the thread is done, and never
// waits on a handle the thread has closed.
#include "player/player.h"

#include "player/output_stream.h"
#include "player/render.h"
#include "song/module_source.h"
#include "song/song.h"

std::atomic<HWAVEOUT> output_device{nullptr};
std::atomic<HANDLE> mixing_thread{nullptr};
std::atomic<HANDLE> song_heap{nullptr};
std::atomic<uint32_t> mixing_thread_running{0};
WAVEHDR ring_header;

namespace {

constexpr uint32_t UNITY_VOLUME = 32768;

// 48000 Hz, 16-bit, stereo PCM.
const WAVEFORMATEX output_format = {
    WAVE_FORMAT_PCM, 2, OUTPUT_RATE, OUTPUT_RATE * 4, 4, 16, 0,
};

// The release shared by a stop and the end of a song; each step runs only
// when its handle is still there.
void release_song() {
    player_shared.fill_block = 0;
    if (HWAVEOUT device = output_device.exchange(nullptr, std::memory_order_relaxed)) {
        waveOutReset(device);
        waveOutUnprepareHeader(device, &ring_header, sizeof ring_header);
        waveOutClose(device);
    }
    if (HANDLE heap = song_heap.exchange(nullptr, std::memory_order_relaxed)) {
        HeapDestroy(heap);
        song_set_heap(nullptr);
        clear_block_reports();
    }
}

void* start_failed() {
    player_stop();
    return nullptr;
}

}  // namespace

void player_end_of_song() {
    player_shared.stop_requested.store(1, std::memory_order_relaxed);
    if (HANDLE own = mixing_thread.exchange(nullptr, std::memory_order_acq_rel)) CloseHandle(own);
    release_song();
}

void player_stop() {
    if (HANDLE thread = mixing_thread.exchange(nullptr, std::memory_order_acq_rel)) {
        player_shared.stop_requested.store(1, std::memory_order_relaxed);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    // A thread that ended its song itself may still be on its way out.
    while (mixing_thread_running.load(std::memory_order_acquire) != 0) Sleep(1);
    release_song();
}

void* player_start(const void* module, uintptr_t second, uint32_t flags) {
    player_stop();
    if (module == nullptr) return nullptr;

    // Memory wins over file when both bits are set.
    source_select(source_kind_for_flags(flags), module, second, reinterpret_cast<uint8_t*>(mix_buffer));
    player_shared.no_loop = (flags & PLAY_NO_LOOP) ? 1 : 0;
    player_shared.paused.store((flags & PLAY_PAUSED) ? 1 : 0, std::memory_order_relaxed);
    if (player_shared.master_volume.load(std::memory_order_relaxed) == 0) {
        player_shared.master_volume.store(UNITY_VOLUME, std::memory_order_relaxed);
    }

    // Not examined: a device that did not open leaves the handle null, and
    // waveOutWrite below fails on it.
    HWAVEOUT device = nullptr;
    waveOutOpen(&device, WAVE_MAPPER, &output_format, 0, 0, CALLBACK_NULL);
    output_device.store(device, std::memory_order_relaxed);

    HANDLE heap = HeapCreate(0, 0, 0);
    song_heap.store(heap, std::memory_order_relaxed);
    if (heap == nullptr) return start_failed();
    song_set_heap(heap);
    const int loaded = song_load();
    source_close();
    if (!loaded) return start_failed();

    ring_header = WAVEHDR{};
    ring_header.lpData = reinterpret_cast<LPSTR>(output_ring);
    ring_header.dwBufferLength = RING_BYTES;
    ring_header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    ring_header.dwLoops = 0xFFFFFFFFu;
    waveOutPrepareHeader(device, &ring_header, sizeof ring_header);  // not examined: waveOutWrite fails too

    prefill();
    player_shared.stop_requested.store(0, std::memory_order_relaxed);

    // After a song that ended during the prefill there is no device left,
    // and the write fails on the null handle.
    if (waveOutWrite(output_device.load(std::memory_order_relaxed), &ring_header, sizeof ring_header) !=
        MMSYSERR_NOERROR) {
        return start_failed();
    }

    mixing_thread_running.store(1, std::memory_order_relaxed);
    HANDLE thread = CreateThread(nullptr, 0, mixing_thread_proc, nullptr, 0, nullptr);
    if (thread == nullptr) {
        mixing_thread_running.store(0, std::memory_order_relaxed);
        return start_failed();
    }
    // The thread may already have ended a very short song and found no
    // handle to close; then this one stays until the next stop, which
    // waits on it (returning at once) and closes it.
    mixing_thread.store(thread, std::memory_order_release);
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);  // not examined: a refusal only costs margin
    return &output_device;
}

void player_pause() {
    player_shared.paused.store(1, std::memory_order_relaxed);
}

void player_resume() {
    player_shared.paused.store(0, std::memory_order_relaxed);
}

void player_set_volume(uint32_t level) {
    if (level > 25) level = 25;
    player_shared.master_volume.store(volume_table[level], std::memory_order_relaxed);
}

// next_row first, then next_order: the sequencer takes both at its next row tick.
void player_jump_to_order(uint32_t position) {
    const uint32_t order = position & 0xFFFF;
    song.next_row.store(0, std::memory_order_relaxed);
    song.next_order.store(order < song.song_length ? static_cast<int32_t>(order) : 0, std::memory_order_relaxed);
}

uint32_t player_get_levels() {
    const uint32_t slot = player_shared.report_slot.load(std::memory_order_relaxed) % RING_BLOCKS;
    return player_shared.block_reports[slot].levels.load(std::memory_order_relaxed);
}

uint32_t player_get_position() {
    const uint32_t slot = player_shared.report_slot.load(std::memory_order_relaxed) % RING_BLOCKS;
    return player_shared.block_reports[slot].song_position.load(std::memory_order_relaxed);
}

uint32_t player_get_time() {
    return player_shared.elapsed_ms.load(std::memory_order_relaxed);
}
