// The song clock: one tick per call. The first tick of a row reads the row's
// cells (process_row) and works out which row comes next; the later ticks
// continue the effects (tick_effects). Runs on the rendering thread; the
// application's thread may store next_row and next_order (a jump), which
// are read here once per row tick, next_order first.
#include "engine/engine.h"

namespace {

// After the row tick, when no effect chose a target: the next row of the
// pattern, else the next order position, else the restart position.
// Returns false when the order list ran out and the song does not loop.
bool choose_next_row(bool no_loop) {
    const Pattern* pattern = current_pattern();
    // row + 1 against rows as signed 16-bit values: a pattern of 0 or of
    // 32768 rows and more plays a single row.
    if (int16_t(uint16_t(song.row + 1)) < int16_t(pattern->rows)) {
        song.next_row = song.row + 1;
        return true;
    }
    if (song.order + 1 < song.song_length) {
        song.next_order = song.order + 1;
        song.next_row = 0;
        return true;
    }
    if (no_loop) return false;
    song.next_order = song.restart_position < song.song_length ? int32_t(song.restart_position) : 0;
    song.next_row = 0;
    return true;
}

}  // namespace

bool sequencer_tick(bool no_loop) {
    if (song.tick != 0) {
        tick_effects();
    } else {
        // Row tick: take the targets, then mark them as taken.
        const int32_t order = song.next_order;
        const int32_t row = song.next_row;
        song.next_order = -1;
        song.next_row = -1;
        if (order >= 0) song.order = order;
        if (row >= 0) song.row = row;
        process_row();
        // A target that an effect of the row chose stands as it is.
        if (song.next_row == -1 && !choose_next_row(no_loop)) return false;
    }
    // Read now, so that a tempo change on this tick already sets its length.
    song.tick_samples_left = song.samples_per_tick;
    ++song.tick;
    if (song.tick >= song.speed + song.pattern_delay) {
        song.tick = 0;
        song.pattern_delay = 0;
    }
    return true;
}
