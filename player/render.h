// The platform-free half of the player: the voice mixer, the block renderer
// with its 16-bit conversion, and the state both threads share.
//
// render_block runs on the mixing thread, or on the application's thread
// during the prefill before the mixing thread exists; never on both at once.
// Nothing here allocates or calls the system.
#pragma once

#include <atomic>
#include <stdint.h>

constexpr uint32_t BLOCK_FRAMES = 1024;                 // frames per ring block (21.33 ms)
constexpr uint32_t RING_BLOCKS = 16;                    // blocks in the output ring
constexpr uint32_t BLOCK_BYTES = BLOCK_FRAMES * 4;      // 16-bit stereo
constexpr uint32_t RING_BYTES = RING_BLOCKS * BLOCK_BYTES;
constexpr uint32_t OUTPUT_RATE = 48000;                 // frames per second

// Per ring block: what the queries read. Each field is one aligned 32-bit
// value, written by the rendering thread and read by the application's.
struct BlockReport {
    std::atomic<uint32_t> levels;         // mean magnitude: left << 16 | right, each 0..32767
    std::atomic<uint32_t> song_position;  // order << 16 | row after the block's last frame
};

// 1024 frames of two signed 32-bit sums (left, right). Also the file
// source's 8192-byte read cache while a module loads.
extern int32_t mix_buffer[BLOCK_FRAMES * 2];
// 16 blocks of 1024 frames, 16-bit signed little-endian stereo, left first.
extern int16_t output_ring[RING_BYTES / 2];

// State the renderer shares with the player and its control calls.
// Writer and reader of each field are noted; relaxed atomics throughout,
// since no ordering between two of them is relied on.
struct PlayerShared {
    std::atomic<uint8_t> paused;          // app writes; renderer reads twice per block
    uint8_t no_loop;                      // set by player_start before rendering starts
    std::atomic<uint32_t> master_volume;  // 1..32768 (32768 unity), 0 = never set; app writes
    std::atomic<uint32_t> stop_requested; // app or end-of-song writes; mixing thread reads
    uint32_t fill_block;                  // next ring block to render, 0..15 (rendering thread)
    std::atomic<uint32_t> report_slot;    // 0..15, the report the queries read
    std::atomic<uint32_t> elapsed_ms;     // ms of music rendered since the start
    BlockReport block_reports[RING_BLOCKS];
};

extern PlayerShared player_shared;

// Adds every voice of the song into frame_count consecutive frames of the
// MixBuffer starting at first_frame (frame_count >= 1), advancing the voices.
void mix_voices(uint32_t first_frame, uint32_t frame_count);

// Renders the ring block at fill_block and advances fill_block. Returns false
// when the song ended (no_loop and the order list ran out): the block being
// rendered is abandoned and the caller must run the end-of-song release.
bool render_block();

// Clears the statistics (report_slot, elapsed_ms, all block reports).
void clear_block_reports();

// --- The pieces render_block is built from, for tests, tools and benchmarks --

struct Voice;

// One voice into frame_count frames starting at frames (left, right pairs):
// the fast mixer that mix_voices uses, and the plain frame-by-frame reference
// it is held to bit for bit.
void mix_voice(Voice* voice, int32_t* frames, uint32_t frame_count);
void mix_voice_reference(Voice* voice, int32_t* frames, uint32_t frame_count);

// The segment loop the mixer uses: the plain one, or the AVX2 one where the
// processor has it. The best available is selected at start-up.
enum : uint32_t { MIX_PATH_SCALAR = 0, MIX_PATH_AVX2 = 1 };
uint32_t mix_best_path();
// Selects path, or the best available below it; returns the one selected.
uint32_t mix_select_path(uint32_t path);
uint32_t mix_current_path();  // the path in use now

// Converts a block of 2048 MixBuffer values to 16-bit samples at
// master_volume (32768 = unity) and returns the sums of the left and the
// right output magnitudes. The fast form uses the selected path; the
// reference follows the conversion rules value by value.
struct LevelSums {
    uint32_t left;
    uint32_t right;
};
LevelSums convert_block(const int32_t* mix, int16_t* out, uint32_t master_volume);
LevelSums convert_block_reference(const int32_t* mix, int16_t* out, uint32_t master_volume);
