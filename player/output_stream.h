// The platform-facing half of the output stream, shared by player.cpp and
// output_stream.cpp: the device and thread bookkeeping, the prefill, the
// mixing thread, and the release that both a stop and the end of a song run.
#pragma once

#include <atomic>
#include <stdint.h>

#include "platform/win32.h"

// Each handle is taken out with one exchange by whoever releases it, so a
// stop on the application's thread and the end of a song on the mixing
// thread never release the same thing twice.
extern std::atomic<HWAVEOUT> output_device;  // the open device; null when idle
extern std::atomic<HANDLE> mixing_thread;     // the mixing thread; null when idle or ended
extern std::atomic<HANDLE> song_heap;         // the per-song heap; null when idle
// 1 from just before the mixing thread is created until the thread's last
// touch of shared state (stored with release order on its way out).
extern std::atomic<uint32_t> mixing_thread_running;
extern WAVEHDR ring_header;                   // hands the OutputRing to the device as one loop

// Renders the whole ring once (sixteen blocks from a fresh start) before the
// device starts. A no-loop song that ends on the way releases everything and
// leaves fill_block at 0, which ends the loop too.
void prefill();

// The mixing thread: keeps every ring block but the one being played
// rendered ahead, until stop_requested.
DWORD WINAPI mixing_thread_proc(LPVOID parameter);

// The end-of-song stop, on the thread that called render_block: requests the
// stop, closes the mixing thread's handle without waiting, then releases the
// device and the heap.
void player_end_of_song();
