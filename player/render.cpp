// The block renderer: runs the sequencer clock tick by tick, mixes the voices
// into the MixBuffer in pieces that end at tick boundaries, converts the
// block to 16-bit samples with the master volume into its slot of the output
// ring, and records the block's statistics.
//
// Runs on the mixing thread, or on the application's thread during the
// prefill, never on both at once. Plain computation: no platform header, no
// allocation, no system call.
#include "player/render.h"

#include <string.h>

#include "engine/engine.h"
#include "song/song.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORNA_CONVERT_X86 1
#include <immintrin.h>
#endif

int32_t mix_buffer[BLOCK_FRAMES * 2];
int16_t output_ring[RING_BYTES / 2];
PlayerShared player_shared;

namespace {

constexpr uint32_t VALUES_PER_BLOCK = BLOCK_FRAMES * 2;
constexpr uint32_t FULL_SCALE_DIVISOR = 16320;  // 64 x 255: a voice at volume 255 reaches full scale
constexpr uint32_t HALF_DIVISOR = FULL_SCALE_DIVISOR / 2;
constexpr uint32_t MAX_QUOTIENT = 32767;
constexpr uint32_t UNITY_SHIFT = 15;            // master_volume 32768 = unity
constexpr uint32_t LEVEL_SHIFT = 10;            // sum of 1024 magnitudes -> their mean
// Every magnitude from here on converts to MAX_QUOTIENT: 16320 x 32767 - 8160.
constexpr uint32_t CLAMP_MAGNITUDE = FULL_SCALE_DIVISOR * MAX_QUOTIENT - HALF_DIVISOR;

constexpr std::memory_order relaxed = std::memory_order_relaxed;

// Elapsed milliseconds for n frames at 48000 per second, truncated per piece.
uint32_t piece_ms(uint32_t n) { return (20 * n) / 960; }

#ifdef ORNA_CONVERT_X86
// Eight values at a time. The rounded quotient is (m + 8160) / 16320 for
// magnitudes below the clamp, that is ((m + 8160) >> 6) / 255; the dividend
// is then below 2^23, so a single-precision division truncated is exact (the
// quotient stays below 2^15, where a float's spacing is at most 1/256, finer
// than the 1/255 between the quotient and the next whole number).
__attribute__((target("avx2"))) LevelSums convert_block_avx2(const int32_t* mix, int16_t* out, uint32_t volume) {
    const __m256i clamp = _mm256_set1_epi32(static_cast<int32_t>(CLAMP_MAGNITUDE));
    const __m256i half = _mm256_set1_epi32(static_cast<int32_t>(HALF_DIVISOR));
    const __m256 divisor = _mm256_set1_ps(255.0f);
    const __m256i master = _mm256_set1_epi32(static_cast<int32_t>(volume));
    __m256i sums = _mm256_setzero_si256();  // even lanes left, odd lanes right
    for (uint32_t k = 0; k < VALUES_PER_BLOCK; k += 16) {
        __m256i v[2], x[2];
        for (int h = 0; h < 2; ++h) {
            x[h] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mix + k + 8 * h));
            const __m256i m = _mm256_min_epu32(_mm256_abs_epi32(x[h]), clamp);
            const __m256i t = _mm256_srli_epi32(_mm256_add_epi32(m, half), 6);
            const __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(t), divisor));
            v[h] = _mm256_srli_epi32(_mm256_mullo_epi32(q, master), UNITY_SHIFT);
            sums = _mm256_add_epi32(sums, v[h]);
        }
        const __m256i packed = _mm256_packs_epi32(_mm256_sign_epi32(v[0], x[0]), _mm256_sign_epi32(v[1], x[1]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), _mm256_permute4x64_epi64(packed, 0xD8));
    }
    alignas(32) uint32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
    return LevelSums{lanes[0] + lanes[2] + lanes[4] + lanes[6], lanes[1] + lanes[3] + lanes[5] + lanes[7]};
}
#endif

}  // namespace

LevelSums convert_block_reference(const int32_t* mix, int16_t* out, uint32_t master_volume) {
    LevelSums sums{0, 0};
    for (uint32_t k = 0; k < VALUES_PER_BLOCK; ++k) {
        const int32_t x = mix[k];
        const uint32_t m = x < 0 ? 0u - static_cast<uint32_t>(x) : static_cast<uint32_t>(x);  // 2^31 for INT32_MIN
        uint32_t q = m / FULL_SCALE_DIVISOR;
        if (m % FULL_SCALE_DIVISOR >= HALF_DIVISOR) ++q;  // round half up
        if (q > MAX_QUOTIENT) q = MAX_QUOTIENT;           // clip before the volume
        const uint32_t v = (q * master_volume) >> UNITY_SHIFT;
        if (k % 2 == 0) sums.left += v;
        else sums.right += v;
        out[k] = static_cast<int16_t>(x >= 0 ? v : 0u - v);
    }
    return sums;
}

LevelSums convert_block(const int32_t* mix, int16_t* out, uint32_t master_volume) {
#ifdef ORNA_CONVERT_X86
    // The packing saturates where the plain store truncates; the two agree
    // while every product stays within 16 bits, which unity guarantees.
    if (master_volume <= 32768 && mix_current_path() == MIX_PATH_AVX2)
        return convert_block_avx2(mix, out, master_volume);
#endif
    return convert_block_reference(mix, out, master_volume);
}

bool render_block() {
    PlayerShared& shared = player_shared;
    memset(mix_buffer, 0, sizeof mix_buffer);
    const uint32_t block = shared.fill_block;
    if (!shared.paused.load(relaxed)) {
        // Ticks run across block boundaries: tick_samples_left keeps what is
        // left of the current tick for the next block.
        uint32_t done = 0;
        while (done < BLOCK_FRAMES) {
            if (song.tick_samples_left <= 0 && !sequencer_tick(shared.no_loop != 0))
                return false;  // the song ended: this block is abandoned
            uint32_t n = BLOCK_FRAMES - done;
            if (static_cast<uint32_t>(song.tick_samples_left) < n) n = static_cast<uint32_t>(song.tick_samples_left);
            mix_voices(done, n);
            done += n;
            song.tick_samples_left -= static_cast<int32_t>(n);
            shared.elapsed_ms.store(shared.elapsed_ms.load(relaxed) + piece_ms(n), relaxed);
        }
        shared.block_reports[block].song_position.store(
            (static_cast<uint32_t>(song.order) << 16) | static_cast<uint32_t>(song.row), relaxed);
    }
    const LevelSums sums =
        convert_block(mix_buffer, output_ring + block * (BLOCK_BYTES / 2), shared.master_volume.load(relaxed));
    shared.fill_block = (block + 1) % RING_BLOCKS;
    // The levels of the block just rendered go into the next block's record.
    shared.block_reports[shared.fill_block].levels.store(
        ((sums.left >> LEVEL_SHIFT) << 16) | (sums.right >> LEVEL_SHIFT), relaxed);
    return true;
}

void clear_block_reports() {
    player_shared.report_slot.store(0, relaxed);
    player_shared.elapsed_ms.store(0, relaxed);
    for (BlockReport& report : player_shared.block_reports) {
        report.levels.store(0, relaxed);
        report.song_position.store(0, relaxed);
    }
}
