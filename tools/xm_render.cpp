// xm-render MODULE.xm -o OUT [--seconds S | --blocks N] [--no-loop] [--volume LEVEL]
//
// Renders a module the way the player does, without a device: the file
// source (with the MixBuffer as its cache), song_load on a fresh per-song
// heap, then render_block block after block, writing every rendered ring
// block in order from the first block of the prefill on. OUT ending in .wav
// gets a WAV header (PCM, 48000 Hz, 16-bit, stereo); any other name, or "-"
// for standard output, gets raw interleaved signed 16-bit little-endian
// stereo. The default length is 30 seconds; with --no-loop the output ends
// where the song ends.
//
// Exit status: 0 on success; 2 for bad arguments or a module that does not
// load; 1 when the output cannot be written. Each failure prints one line.
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/win32.h"
#include "player/player.h"
#include "player/render.h"
#include "song/module_source.h"
#include "song/song.h"

namespace {

constexpr double DEFAULT_SECONDS = 30.0;
constexpr uint32_t WAV_HEADER_BYTES = 44;
constexpr uint32_t UNITY_VOLUME = 32768;
constexpr std::memory_order relaxed = std::memory_order_relaxed;

struct Options {
    const char* module = nullptr;
    const char* output = nullptr;
    uint64_t blocks = 0;
    bool no_loop = false;
    uint32_t master_volume = UNITY_VOLUME;
};

int usage(const char* problem) {
    fprintf(stderr, "xm-render: %s (usage: xm-render MODULE.xm -o OUT [--seconds S | --blocks N] [--no-loop] "
                    "[--volume 0..25])\n", problem);
    return 2;
}

bool ends_with(const char* text, const char* suffix) {
    const size_t n = strlen(text), m = strlen(suffix);
    return n >= m && strcmp(text + n - m, suffix) == 0;
}

// Blocks that cover the given time: 1024 frames each, the last one whole.
uint64_t blocks_for_seconds(double seconds) {
    return static_cast<uint64_t>(ceil(seconds * OUTPUT_RATE / BLOCK_FRAMES));
}

bool parse_count(const char* text, uint64_t& value) {
    if (!text || !*text || *text == '-') return false;
    char* end = nullptr;
    errno = 0;
    value = strtoull(text, &end, 10);
    return errno == 0 && *end == 0;
}

// Returns 0 when the arguments are good, else the exit status.
int parse_options(int argc, char** argv, Options& options) {
    bool seconds_given = false, blocks_given = false;
    options.blocks = blocks_for_seconds(DEFAULT_SECONDS);
    for (int k = 1; k < argc; ++k) {
        const char* arg = argv[k];
        const char* value = k + 1 < argc ? argv[k + 1] : nullptr;
        if (strcmp(arg, "-o") == 0) {
            if (!value) return usage("-o needs a file name");
            options.output = value;
            ++k;
        } else if (strcmp(arg, "--seconds") == 0) {
            char* end = nullptr;
            const double seconds = value ? strtod(value, &end) : -1;
            if (!value || *end != 0 || !(seconds >= 0) || seconds > 1e7) return usage("--seconds needs a length");
            options.blocks = blocks_for_seconds(seconds);
            seconds_given = true;
            ++k;
        } else if (strcmp(arg, "--blocks") == 0) {
            if (!parse_count(value, options.blocks)) return usage("--blocks needs a count");
            blocks_given = true;
            ++k;
        } else if (strcmp(arg, "--no-loop") == 0) {
            options.no_loop = true;
        } else if (strcmp(arg, "--volume") == 0) {
            uint64_t level = 0;
            if (!parse_count(value, level) || level > 25) return usage("--volume needs a level 0..25");
            options.master_volume = volume_table[level];
            ++k;
        } else if (arg[0] == '-' && arg[1] != 0) {
            return usage("unknown option");
        } else if (!options.module) {
            options.module = arg;
        } else {
            return usage("more than one module");
        }
    }
    if (seconds_given && blocks_given) return usage("give --seconds or --blocks, not both");
    if (!options.module) return usage("no module");
    if (!options.output) return usage("no output (-o)");
    return 0;
}

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

// The canonical 44-byte header for data_bytes of 48000 Hz 16-bit stereo PCM.
void wav_header(uint8_t* h, uint32_t data_bytes) {
    memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + data_bytes);
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);                  // fmt chunk size
    put16(h + 20, 1);                   // PCM
    put16(h + 22, 2);                   // channels
    put32(h + 24, OUTPUT_RATE);
    put32(h + 28, OUTPUT_RATE * 4);     // bytes per second
    put16(h + 32, 4);                   // bytes per frame
    put16(h + 34, 16);                  // bits per sample
    memcpy(h + 36, "data", 4);
    put32(h + 40, data_bytes);
}

// Loads the module as the player does. Returns the per-song heap, or null.
HANDLE load(const char* path) {
    HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, 0, 0);
    if (!heap) return nullptr;
    song_set_heap(heap);
    source_select(SOURCE_FILE, path, 0, reinterpret_cast<uint8_t*>(mix_buffer));
    const int loaded = song_load();
    source_close();
    if (loaded) return heap;
    song_set_heap(nullptr);
    HeapDestroy(heap);
    return nullptr;
}

void show_progress(uint64_t block, uint64_t blocks) {
    const uint32_t ms = player_shared.elapsed_ms.load(relaxed);
    fprintf(stderr, "\rxm-render: order %3d row %3d  %u:%02u.%u  block %llu/%llu ", song.order, song.row,
            ms / 60000, ms / 1000 % 60, ms / 100 % 10, static_cast<unsigned long long>(block),
            static_cast<unsigned long long>(blocks));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (int status = parse_options(argc, argv, options)) return status;

    HANDLE heap = load(options.module);
    if (!heap) {
        fprintf(stderr, "xm-render: %s is not a loadable XM module\n", options.module);
        return 2;
    }

    const bool to_stdout = strcmp(options.output, "-") == 0;
    const bool wav = !to_stdout && ends_with(options.output, ".wav");
    FILE* out = to_stdout ? stdout : fopen(options.output, "wb");
    if (!out) {
        fprintf(stderr, "xm-render: cannot write %s: %s\n", options.output, strerror(errno));
        song_set_heap(nullptr);
        HeapDestroy(heap);
        return 1;
    }
    uint8_t header[WAV_HEADER_BYTES];
    if (wav) {
        wav_header(header, 0);
        fwrite(header, 1, sizeof header, out);
    }

    // The player's start, without a device.
    player_shared.paused.store(0, relaxed);
    player_shared.no_loop = options.no_loop ? 1 : 0;
    player_shared.master_volume.store(options.master_volume, relaxed);
    player_shared.stop_requested.store(0, relaxed);
    player_shared.fill_block = 0;
    clear_block_reports();

    const bool progress = isatty(STDERR_FILENO);
    uint64_t written = 0;
    uint8_t bytes[BLOCK_BYTES];
    for (; written < options.blocks; ++written) {
        const uint32_t block = player_shared.fill_block;
        if (!render_block()) break;  // the song ended: the abandoned block is not written
        const int16_t* samples = output_ring + block * (BLOCK_BYTES / 2);
        for (uint32_t k = 0; k < BLOCK_BYTES / 2; ++k) put16(bytes + 2 * k, static_cast<uint16_t>(samples[k]));
        if (fwrite(bytes, 1, sizeof bytes, out) != sizeof bytes) break;
        if (progress && written % 16 == 0) show_progress(written, options.blocks);
    }
    if (progress) {
        show_progress(written, options.blocks);
        fputc('\n', stderr);
    }

    // The end-of-song release, as far as a tool has one.
    song_set_heap(nullptr);
    HeapDestroy(heap);
    clear_block_reports();

    bool ok = !ferror(out);
    if (wav && ok) {
        const uint64_t data_bytes = written * BLOCK_BYTES;
        wav_header(header, data_bytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(data_bytes));
        ok = fseek(out, 0, SEEK_SET) == 0 && fwrite(header, 1, sizeof header, out) == sizeof header;
    }
    if (!to_stdout) ok = fclose(out) == 0 && ok;
    else ok = fflush(out) == 0 && ok;
    if (!ok) {
        fprintf(stderr, "xm-render: writing %s failed\n", options.output);
        return 1;
    }
    return 0;
}
