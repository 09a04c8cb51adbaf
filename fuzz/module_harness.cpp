// The module harness: each pass loads the bytes as player_start does (memory
// source, fresh heap, song_load, source_close), renders with render_block as
// the mixing thread does, and destroys the heap as the stop does. The jump
// and the volume change store what player_jump_to_order and
// player_set_volume store, without the wave-out device and the thread.
#include "fuzz/module_harness.h"

#include "platform/win32.h"
#include "player/player.h"
#include "player/render.h"
#include "song/module_source.h"
#include "song/song.h"

namespace {

// Two loads per input (loading a large module costs as much as rendering):
// the looping pass renders, jumps with a volume change, renders, then pauses;
// the no-loop pass renders, jumps, and renders on to the song's end.
constexpr int LOOPING_BLOCKS = 20;
constexpr int LOOPING_AFTER_JUMP_BLOCKS = 12;
constexpr int PAUSED_BLOCKS = 2;
constexpr int NO_LOOP_BLOCKS = 10;
constexpr int NO_LOOP_AFTER_JUMP_BLOCKS = 20;
static_assert(LOOPING_BLOCKS + LOOPING_AFTER_JUMP_BLOCKS + PAUSED_BLOCKS + NO_LOOP_BLOCKS +
                      NO_LOOP_AFTER_JUMP_BLOCKS <= HARNESS_MAX_BLOCKS,
              "the passes stay within the bound");

constexpr uint32_t UNITY_VOLUME = 32768;

// Loads the bytes on a new heap with the player's shared state reset as a
// start resets it. Returns the heap when the song loaded, else null (and the
// heap is gone).
HANDLE start_song(const uint8_t* data, size_t size, bool no_loop) {
    source_select(SOURCE_MEMORY, data, uintptr_t(size), reinterpret_cast<uint8_t*>(mix_buffer));
    player_shared.no_loop = no_loop ? 1 : 0;
    player_shared.paused.store(0, std::memory_order_relaxed);
    player_shared.master_volume.store(UNITY_VOLUME, std::memory_order_relaxed);
    player_shared.fill_block = 0;
    clear_block_reports();
    HANDLE heap = HeapCreate(0, 0, 0);
    if (heap == nullptr) return nullptr;
    song_set_heap(heap);
    const int loaded = song_load();
    source_close();
    if (loaded) return heap;
    HeapDestroy(heap);
    song_set_heap(nullptr);
    return nullptr;
}

void stop_song(HANDLE heap) {
    HeapDestroy(heap);
    song_set_heap(nullptr);
    player_shared.fill_block = 0;
    clear_block_reports();
}

// Renders up to `blocks` blocks; false once the song ended (no further block
// may be rendered then).
bool render_blocks(int blocks) {
    for (int i = 0; i < blocks; ++i)
        if (!render_block()) return false;
    return true;
}

// A byte of the input chosen by position, for the jump targets and the level.
uint8_t pick(const uint8_t* data, size_t size, size_t at) { return size == 0 ? 0 : data[at % size]; }

// What player_jump_to_order stores: next_row first, then next_order.
void jump_to_order(uint32_t order) {
    song.next_row.store(0, std::memory_order_relaxed);
    song.next_order.store(order < song.song_length ? int32_t(order) : 0, std::memory_order_relaxed);
}

}  // namespace

bool play_module_bytes(const uint8_t* data, size_t size) {
    HANDLE heap = start_song(data, size, false);
    if (heap == nullptr) return false;
    if (render_blocks(LOOPING_BLOCKS)) {
        jump_to_order(pick(data, size, size / 2));
        player_shared.master_volume.store(volume_table[pick(data, size, size / 3) % 26], std::memory_order_relaxed);
        render_blocks(LOOPING_AFTER_JUMP_BLOCKS);
        player_shared.paused.store(1, std::memory_order_relaxed);
        render_blocks(PAUSED_BLOCKS);
    }
    stop_song(heap);

    if ((heap = start_song(data, size, true)) == nullptr) return false;
    if (render_blocks(NO_LOOP_BLOCKS)) {
        jump_to_order(pick(data, size, size / 5));
        render_blocks(NO_LOOP_AFTER_JUMP_BLOCKS);
    }
    stop_song(heap);
    return true;
}
