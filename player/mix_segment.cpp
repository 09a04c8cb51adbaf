// The mixer's segment loops: count frames of one voice, resampled with linear
// interpolation and added into the MixBuffer, with no test inside the loop.
//
// The plain loop states the arithmetic once; the AVX2 loop (x86-64, chosen at
// run time when the processor has it) computes the same values eight frames
// at a time, and the tests hold it to the plain loop bit for bit.
//
// Per frame, with s0 and s1 the two values around the play position:
//   i = 64 x s0 + (((s1 - s0) x (fraction >> 1)) >> 25)     sample x 64
//   P = i x current volume (64-bit)                            sample x 64 x 128 x volume
//   contribution = (int32)((P >> 6) + (P < 0)) >> 1           halved, rounded toward 0 first
// Sums wrap as 32-bit two's-complement values.
#include "player/mixer_kernels.h"
#include "player/render.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORNA_MIX_X86 1
#include <immintrin.h>
#endif

namespace {

inline int32_t interpolate(int32_t s0, int32_t s1, uint32_t fraction) {
    const int64_t slope = static_cast<int64_t>(s1 - s0) * static_cast<int64_t>(fraction >> 1);
    return 64 * s0 + static_cast<int32_t>(slope >> 25);
}

inline int32_t contribution(int64_t product) {
    const int64_t scaled = (product >> 6) + (product < 0 ? 1 : 0);
    return static_cast<int32_t>(static_cast<uint32_t>(scaled)) >> 1;
}

inline int32_t wrapping_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

inline int32_t value_at(const int16_t* data, int32_t index, bool guarded) {
    if (guarded && index < 0) return 0;
    return data[index];
}

template <bool GUARDED>
void mix_segment_plain(SegmentRun& run) {
    const int16_t* data = run.data;
    int32_t* out = run.out;
    uint64_t position = run.position;
    const uint64_t advance = run.advance;
    int32_t left = run.current_left, right = run.current_right;
    const int32_t left_delta = run.left_delta, right_delta = run.right_delta;
    for (uint32_t n = run.count; n != 0; --n) {
        const int32_t index = static_cast<int32_t>(position >> 32);
        const int32_t i = interpolate(value_at(data, index, GUARDED), value_at(data, index + 1, GUARDED),
                                      static_cast<uint32_t>(position));
        out[0] = wrapping_add(out[0], contribution(static_cast<int64_t>(i) * left));
        out[1] = wrapping_add(out[1], contribution(static_cast<int64_t>(i) * right));
        out += 2;
        left = wrapping_add(left, left_delta);
        right = wrapping_add(right, right_delta);
        position += advance;
    }
    run.out = out;
    run.position = position;
    run.current_left = left;
    run.current_right = right;
}

#ifdef ORNA_MIX_X86

// contribution() on four 64-bit products held in the even and odd 32-bit
// halves: the low 32 bits of P >> 6 (a logical shift gives the same low bits),
// plus 1 where P is negative, then an arithmetic halving.
__attribute__((target("avx2"))) inline __m256i contributions_avx2(__m256i even_products, __m256i odd_products) {
    const __m256i even_scaled = _mm256_srli_epi64(even_products, 6);
    const __m256i odd_scaled = _mm256_slli_epi64(_mm256_srli_epi64(odd_products, 6), 32);
    const __m256i scaled = _mm256_blend_epi32(even_scaled, odd_scaled, 0xAA);
    // Signs of the products: the high halves, moved into place.
    const __m256i even_sign = _mm256_srli_epi64(_mm256_srai_epi32(even_products, 31), 32);
    const __m256i odd_sign = _mm256_srai_epi32(odd_products, 31);
    const __m256i sign = _mm256_blend_epi32(even_sign, odd_sign, 0xAA);
    return _mm256_srai_epi32(_mm256_sub_epi32(scaled, sign), 1);
}

// Signed 32 x 32 -> 64-bit products of all eight lanes: even lanes, odd lanes.
__attribute__((target("avx2"))) inline void products_avx2(__m256i a, __m256i b, __m256i& even, __m256i& odd) {
    even = _mm256_mul_epi32(a, b);
    odd = _mm256_mul_epi32(_mm256_srli_epi64(a, 32), _mm256_srli_epi64(b, 32));
}

// A settled volume that is a multiple of 64, vol = 64 x w: P >> 6 is then
// exactly x = i x w, which fits 32 bits for |w| < 1024, and the contribution
// is (x + (x < 0)) >> 1. Channel volumes settle on multiples of 128.
__attribute__((target("avx2"))) inline __m256i settled_contributions_avx2(__m256i i, __m256i w) {
    const __m256i x = _mm256_mullo_epi32(i, w);
    return _mm256_srai_epi32(_mm256_sub_epi32(x, _mm256_srai_epi32(x, 31)), 1);
}

// The pairs (data[index], data[index + 1]) of eight frames whose indices lie
// within base .. base + 7, without a gather: one window of pairs starting at
// an even offset from base, one starting at an odd offset, and a pick per
// frame. Reads data[base .. base + 16].
__attribute__((target("avx2"))) inline __m256i window_pairs_avx2(const int16_t* data, int32_t base, __m256i index) {
    const __m256i even_pairs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + base));
    const __m256i odd_pairs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + base + 1));
    const __m256i offset = _mm256_sub_epi32(index, _mm256_set1_epi32(base));
    const __m256i pair_number = _mm256_srli_epi32(offset, 1);
    const __m256i from_even = _mm256_permutevar8x32_epi32(even_pairs, pair_number);
    const __m256i from_odd = _mm256_permutevar8x32_epi32(odd_pairs, pair_number);
    const __m256 odd = _mm256_castsi256_ps(_mm256_slli_epi32(offset, 31));
    return _mm256_castps_si256(
        _mm256_blendv_ps(_mm256_castsi256_ps(from_even), _mm256_castsi256_ps(from_odd), odd));
}

// A settled volume that is a multiple of 128, vol = 128 x v: P >> 6 is 2 x i
// x v, and the contribution exactly i x v.
__attribute__((target("avx2"))) inline __m256i whole_volume_contributions_avx2(__m256i i, __m256i v) {
    return _mm256_mullo_epi32(i, v);
}

// How the volumes of a segment are applied: ramping (any value), or settled
// on a multiple of 64 or of 128 below 65536 in magnitude.
enum VolumeKind { RAMPED, SETTLED_64, SETTLED_128 };

inline bool settled_on(int32_t volume, int32_t multiple) {
    return volume % multiple == 0 && volume > -65536 && volume < 65536;
}

// The state of the eight-frame loop. The lanes hold a group's frames in the
// order 0 1 4 5 2 3 6 7: the order in which the positions come out of the
// 64-bit lanes, and the one in which interleaving left and right yields
// frames 0..3 and 4..7 in the MixBuffer's layout.
struct GroupState {
    __m256i pos_low;     // 32.32 positions of frames 0..3
    __m256i pos_high;    // of frames 4..7
    __m256i left;        // volumes per lane (settled: volume / 64 or / 128)
    __m256i right;
};

// One group of eight frames, or with TAIL only the frames whose lanes are set
// in valid (nothing else is read or written). lowest is the lowest index any
// valid frame reads; the window of pairs serves when it lies within the data.
template <VolumeKind VOLUMES, bool TAIL>
__attribute__((target("avx2"))) inline void mix_group_avx2(const SegmentRun& run, const GroupState& g, bool windowed,
                                                          int32_t lowest, int32_t* out, __m256i valid) {
    const __m256 lo = _mm256_castsi256_ps(g.pos_low), hi = _mm256_castsi256_ps(g.pos_high);
    const __m256i index = _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
    const __m256i fraction = _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
    // One 32-bit value per frame brings s0 (low half) and s1 (high half).
    const int* data = reinterpret_cast<const int*>(run.data);
    __m256i pair;
    if (windowed) pair = window_pairs_avx2(run.data, lowest, index);
    else if (TAIL) pair = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), data, index, valid, 2);
    else pair = _mm256_i32gather_epi32(data, index, 2);
    // 16-bit pair products: 64 x s0 + 0 x s1, and -s0 + s1.
    const __m256i s0_64 = _mm256_madd_epi16(pair, _mm256_set1_epi32(64));
    const __m256i difference = _mm256_madd_epi16(pair, _mm256_set1_epi32(0x0001FFFF));
    __m256i even, odd;
    products_avx2(difference, _mm256_srli_epi32(fraction, 1), even, odd);
    const __m256i slope =
        _mm256_blend_epi32(_mm256_srli_epi64(even, 25), _mm256_slli_epi64(_mm256_srli_epi64(odd, 25), 32), 0xAA);
    const __m256i i = _mm256_add_epi32(s0_64, slope);
    __m256i left_out, right_out;
    if (VOLUMES == SETTLED_128) {
        left_out = whole_volume_contributions_avx2(i, g.left);
        right_out = whole_volume_contributions_avx2(i, g.right);
    } else if (VOLUMES == SETTLED_64) {
        left_out = settled_contributions_avx2(i, g.left);
        right_out = settled_contributions_avx2(i, g.right);
    } else {
        products_avx2(i, g.left, even, odd);
        left_out = contributions_avx2(even, odd);
        products_avx2(i, g.right, even, odd);
        right_out = contributions_avx2(even, odd);
    }
    // Interleave into frames L0 R0 L1 R1 ... and add.
    const __m256i first = _mm256_unpacklo_epi32(left_out, right_out);   // frames 0..3
    const __m256i second = _mm256_unpackhi_epi32(left_out, right_out);  // frames 4..7
    if (TAIL) {
        const __m256i first_valid = _mm256_unpacklo_epi32(valid, valid);
        const __m256i second_valid = _mm256_unpackhi_epi32(valid, valid);
        _mm256_maskstore_epi32(out, first_valid,
                               _mm256_add_epi32(_mm256_maskload_epi32(out, first_valid), first));
        _mm256_maskstore_epi32(out + 8, second_valid,
                               _mm256_add_epi32(_mm256_maskload_epi32(out + 8, second_valid), second));
    } else {
        __m256i* dst = reinterpret_cast<__m256i*>(out);
        _mm256_storeu_si256(dst, _mm256_add_epi32(_mm256_loadu_si256(dst), first));
        _mm256_storeu_si256(dst + 1, _mm256_add_epi32(_mm256_loadu_si256(dst + 1), second));
    }
}

template <VolumeKind VOLUMES>
__attribute__((target("avx2"))) void mix_groups_avx2(SegmentRun& run) {
    const uint64_t advance = run.advance;
    GroupState g;
    g.pos_low = _mm256_set_epi64x(static_cast<int64_t>(run.position + 3 * advance),
                                  static_cast<int64_t>(run.position + 2 * advance),
                                  static_cast<int64_t>(run.position + advance), static_cast<int64_t>(run.position));
    g.pos_high = _mm256_add_epi64(g.pos_low, _mm256_set1_epi64x(static_cast<int64_t>(4 * advance)));
    const __m256i pos_step = _mm256_set1_epi64x(static_cast<int64_t>(8 * advance));
    const __m256i lane_frame = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
    if (VOLUMES != RAMPED) {
        const int32_t unit = VOLUMES == SETTLED_128 ? 128 : 64;
        g.left = _mm256_set1_epi32(run.current_left / unit);
        g.right = _mm256_set1_epi32(run.current_right / unit);
    } else {
        g.left = _mm256_add_epi32(_mm256_set1_epi32(run.current_left),
                                  _mm256_mullo_epi32(lane_frame, _mm256_set1_epi32(run.left_delta)));
        g.right = _mm256_add_epi32(_mm256_set1_epi32(run.current_right),
                                   _mm256_mullo_epi32(lane_frame, _mm256_set1_epi32(run.right_delta)));
    }
    const __m256i left_step = _mm256_set1_epi32(static_cast<int32_t>(8u * static_cast<uint32_t>(run.left_delta)));
    const __m256i right_step = _mm256_set1_epi32(static_cast<int32_t>(8u * static_cast<uint32_t>(run.right_delta)));
    // At most one sample per frame: a group's indices then span at most eight
    // values, and the window of pairs serves while it lies within the data.
    const bool backward = static_cast<int64_t>(advance) < 0;
    const bool small_step = (backward ? 0 - advance : advance) <= (1ull << 32);
    const int64_t window_limit = static_cast<int64_t>(run.length) + 2 - 16;
    int32_t* out = run.out;
    uint64_t group_position = run.position;  // frame 0 of the group
    const uint32_t groups = run.count / 8, tail = run.count % 8;
    for (uint32_t k = 0; k < groups; ++k) {
        const int64_t lowest = static_cast<int64_t>(group_position + (backward ? 7 * advance : 0)) >> 32;
        mix_group_avx2<VOLUMES, false>(run, g, small_step && lowest <= window_limit, static_cast<int32_t>(lowest),
                                       out, _mm256_setzero_si256());
        out += 16;
        group_position += 8 * advance;
        g.pos_low = _mm256_add_epi64(g.pos_low, pos_step);
        g.pos_high = _mm256_add_epi64(g.pos_high, pos_step);
        if (VOLUMES == RAMPED) {
            g.left = _mm256_add_epi32(g.left, left_step);
            g.right = _mm256_add_epi32(g.right, right_step);
        }
    }
    if (tail != 0) {
        const int64_t lowest =
            static_cast<int64_t>(group_position + (backward ? (tail - 1) * advance : 0)) >> 32;
        const __m256i valid = _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int32_t>(tail)), lane_frame);
        mix_group_avx2<VOLUMES, true>(run, g, small_step && lowest <= window_limit, static_cast<int32_t>(lowest),
                                      out, valid);
    }
    run.out = out + 2 * tail;
    run.position += static_cast<uint64_t>(run.count) * advance;
    run.current_left = static_cast<int32_t>(static_cast<uint32_t>(run.current_left) +
                                            run.count * static_cast<uint32_t>(run.left_delta));
    run.current_right = static_cast<int32_t>(static_cast<uint32_t>(run.current_right) +
                                             run.count * static_cast<uint32_t>(run.right_delta));
    run.count = 0;
}

__attribute__((target("avx2"))) void mix_segment_avx2(SegmentRun& run) {
    const bool settled = run.left_delta == 0 && run.right_delta == 0;
    if (settled && settled_on(run.current_left, 128) && settled_on(run.current_right, 128))
        mix_groups_avx2<SETTLED_128>(run);
    else if (settled && settled_on(run.current_left, 64) && settled_on(run.current_right, 64))
        mix_groups_avx2<SETTLED_64>(run);
    else
        mix_groups_avx2<RAMPED>(run);
}

#endif  // ORNA_MIX_X86

using SegmentLoop = void (*)(SegmentRun&);

SegmentLoop loop_for(uint32_t path) {
#ifdef ORNA_MIX_X86
    if (path == MIX_PATH_AVX2) return mix_segment_avx2;
#endif
    (void)path;
    return mix_segment_plain<false>;
}

uint32_t selected_path = mix_best_path();
SegmentLoop selected_loop = loop_for(selected_path);

}  // namespace

uint32_t mix_best_path() {
#ifdef ORNA_MIX_X86
    __builtin_cpu_init();  // may run before the static constructors that set it up
    if (__builtin_cpu_supports("avx2")) return MIX_PATH_AVX2;
#endif
    return MIX_PATH_SCALAR;
}

uint32_t mix_select_path(uint32_t path) {
    const uint32_t best = mix_best_path();
    selected_path = path > best ? best : path;
    selected_loop = loop_for(selected_path);
    return selected_path;
}

uint32_t mix_current_path() { return selected_path; }

void mix_segment_reference(SegmentRun& run) { mix_segment_plain<true>(run); }

void mix_segment(SegmentRun& run) { selected_loop(run); }
