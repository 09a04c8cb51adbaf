// xm-info MODULE.xm: loads a module through the file source, as the player
// does, and prints the song model's structure: header values, order list,
// patterns, instruments with their envelopes, and samples.
//
// Exit status 0 on success; 2 for a bad argument, a missing file or a
// module that does not load (one line on stderr).
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "platform/win32.h"
#include "song/module_source.h"
#include "song/song.h"

namespace {

const char* const LOOP_NAMES[4] = {"none", "forward", "ping-pong", "both bits (stops at the loop end)"};

uint8_t file_cache[MODULE_CACHE_SIZE];  // the file source's cache (the player lends its MixBuffer)

// A pattern the loader made up for an ordered number the file lacks: it has
// cells although its packed size is 0. They are the highest-numbered ones.
bool is_filler(const Pattern& p) { return p.cells != nullptr && p.packed_size == 0; }

void print_header() {
    uint32_t fillers = 0;
    for (uint32_t p = 0; p < song.pattern_count; ++p) fillers += is_filler(song.pattern_table[p]);
    printf("song length: %u\n", song.song_length);
    printf("restart position: %u\n", song.restart_position);
    printf("channels: %d\n", song.channel_count);
    printf("patterns: %u stored, %u total\n", song.pattern_count - fillers, song.pattern_count);
    printf("instruments: %u\n", song.instrument_count);
    printf("frequency table: %s\n", (song.song_flags & LINEAR_FREQUENCIES) ? "linear" : "amiga");
    printf("speed: %d\n", song.speed);
    printf("bpm: %u\n", song.default_bpm);
    printf("frames per tick: %d\n", song.samples_per_tick);
    printf("orders:");
    for (uint32_t i = 0; i < song.song_length; ++i) printf(" %u", song.order_table[i]);
    printf("\n");
}

void print_patterns() {
    const uint32_t channels = uint32_t(song.channel_count);
    for (uint32_t p = 0; p < song.pattern_count; ++p) {
        const Pattern& pattern = song.pattern_table[p];
        printf("pattern %u: %u rows, packed %u bytes", p, pattern.rows, pattern.packed_size);
        if (pattern.cells == nullptr) {
            printf(", no cells\n");
            continue;
        }
        uint32_t notes = 0, effects = 0;
        const uint32_t count = uint32_t(pattern.rows) * channels;
        for (uint32_t i = 0; i < count; ++i) {
            notes += pattern.cells[i].note != 0;
            effects += pattern.cells[i].effect != 0 || pattern.cells[i].param != 0;
        }
        printf(", %u cells, %u notes, %u effects%s\n", count, notes, effects, is_filler(pattern) ? " (filler)" : "");
    }
}

// Runs of equal entries: "1-96 -> 0".
void print_sample_map(const Instrument& ins) {
    printf("  sample map:");
    for (int start = 0; start < 96;) {
        int end = start;
        while (end + 1 < 96 && ins.sample_map[end + 1] == ins.sample_map[start]) ++end;
        printf("%s notes %d-%d -> %u", start == 0 ? "" : ",", start + 1, end + 1, ins.sample_map[start]);
        start = end + 1;
    }
    printf("\n");
}

void print_envelope(const char* name, const EnvelopePoint* points, uint8_t count, uint8_t type,
                    uint8_t sustain, uint8_t loop_start, uint8_t loop_end) {
    printf("  %s envelope: %s%s%s, %u points:", name, (type & ENVELOPE_ON) ? "on" : "off",
           (type & ENVELOPE_SUSTAIN) ? " sustain" : "", (type & ENVELOPE_LOOP) ? " loop" : "", count);
    const int shown = count < ENVELOPE_POINTS ? count : ENVELOPE_POINTS;
    for (int i = 0; i < shown; ++i) printf(" (%u,%u)", points[i].x, points[i].y);
    printf(", sustain point %u, loop %u-%u\n", sustain, loop_start, loop_end);
}

void print_sample(int number, const Sample& s) {
    printf("  sample %d: length %u, loop %s", number, s.length, LOOP_NAMES[s.loop_type & 3]);
    if (s.loop_type != LOOP_NONE) printf(" from %u length %u", s.loop_start, s.loop_length);
    printf(", %s, %s, volume %u, finetune %d, panning %u, relative note %d\n", s.is_16bit ? "16-bit" : "8-bit",
           s.packing == 0xAD ? "4-bit packed" : "delta", s.volume, s.finetune, s.panning, s.relative_note);
}

void print_instruments() {
    for (uint32_t i = 0; i < song.instrument_count; ++i) {
        const Instrument& ins = song.instrument_table[i];
        int samples = 0;
        while (samples < 16 && ins.samples[samples] != nullptr) ++samples;
        printf("instrument %u: %d samples\n", i + 1, samples);
        if (samples == 0) continue;
        print_sample_map(ins);
        print_envelope("volume", ins.volume_points, ins.volume_point_count, ins.volume_type, ins.volume_sustain,
                       ins.volume_loop_start, ins.volume_loop_end);
        print_envelope("panning", ins.panning_points, ins.panning_point_count, ins.panning_type,
                       ins.panning_sustain, ins.panning_loop_start, ins.panning_loop_end);
        printf("  auto-vibrato: type %u, sweep %u, depth %u, rate %u\n", ins.vibrato_type, ins.vibrato_sweep,
               ins.vibrato_depth, ins.vibrato_rate);
        printf("  fadeout: %u\n", ins.fadeout);
        for (int s = 0; s < samples; ++s) print_sample(s, *ins.samples[s]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        fprintf(stderr, "usage: xm-info MODULE.xm\n");
        return 2;
    }
    const char* path = argv[1];
    if (FILE* f = fopen(path, "rb")) {
        fclose(f);
    } else {
        fprintf(stderr, "xm-info: cannot open %s: %s\n", path, strerror(errno));
        return 2;
    }
    HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, 0, 0);
    song_set_heap(heap);
    source_select(SOURCE_FILE, path, 0, file_cache);
    const int loaded = heap != nullptr && song_load();
    source_close();
    if (!loaded) {
        fprintf(stderr, "xm-info: %s is not a loadable XM module\n", path);
        if (heap) HeapDestroy(heap);
        return 2;
    }
    printf("module: %s\n", path);
    print_header();
    print_patterns();
    print_instruments();
    song_set_heap(nullptr);
    HeapDestroy(heap);
    return 0;
}
