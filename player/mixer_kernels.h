// The mixer's per-frame segment loops: the plain one that every other is held
// to, and the fast ones chosen once at run time. Internal to player/.
#pragma once

#include <stdint.h>

// One segment: count frames of one voice with no boundary and no ramp end
// inside. The loop reads and advances these fields and leaves them where the
// last frame left them.
struct SegmentRun {
    const int16_t* data;      // the sample's values
    uint32_t length;          // the sample's length: data holds length + 3 values
    int32_t* out;             // first frame in the MixBuffer (left, right)
    uint32_t count;           // frames to mix, >= 1
    uint64_t position;        // signed 32.32 play position, as a 64-bit pattern
    uint64_t advance;         // +step or -step (32.32, wraps)
    int32_t current_left;     // 1/128 units, advanced by left_delta every frame
    int32_t current_right;
    int32_t left_delta;
    int32_t right_delta;
};

// The plain loop, frame by frame. A value before the sample's first one
// (index below 0) reads as 0.
void mix_segment_reference(SegmentRun& run);
// The selected fast loop; the positions must not lie below 0.
void mix_segment(SegmentRun& run);
