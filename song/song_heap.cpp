// song_alloc: the one door through which the song model gets memory. Every
// block comes zero-filled from the per-song heap that player_start creates
// and player_stop destroys as a whole; nothing is freed one by one. Loading
// and playing never overlap, so the heap is used without serialization.
#include "platform/win32.h"
#include "song/song.h"

namespace {
HANDLE song_heap = nullptr;
}

void song_set_heap(void* heap) { song_heap = heap; }

void* song_alloc(uint32_t size) {
    if (song_heap == nullptr) return nullptr;
    return HeapAlloc(song_heap, HEAP_ZERO_MEMORY | HEAP_NO_SERIALIZE, size);
}
