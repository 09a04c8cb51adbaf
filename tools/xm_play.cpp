// xm-play: plays an XM module on the sound device through the player.
//
//   xm-play MODULE.xm [--no-loop] [--volume LEVEL] [--paused]
//
// On a terminal it shows a status line (order, row, elapsed time, level
// meter) and takes keys: space pauses and resumes, + and - change the volume
// level, Left and Right jump one order position, q fades out and quits.
// Without a terminal it plays to the end (with --no-loop) or until
// interrupted. A module that does not load, or no sound device: one line on
// stderr and exit status 2.
#include <math.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "player/player.h"

namespace {

constexpr uint32_t MAX_LEVEL = 25;
constexpr int FADE_STEP_MS = 20;   // per volume level, as the viewer fades on quit
constexpr int POLL_MS = 40;        // status refresh and key wait
constexpr int METER_WIDTH = 16;    // characters per channel meter, -48 dB .. 0 dB

volatile sig_atomic_t interrupted = 0;

void on_signal(int) {
    interrupted = 1;
}

void usage() {
    fprintf(stderr, "usage: xm-play MODULE.xm [--no-loop] [--volume LEVEL] [--paused]\n");
}

// The terminal in raw mode for single keys; restored on every way out.
struct RawTerminal {
    bool active = false;
    termios saved{};
    void enter() {
        if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
        termios raw = saved;
        raw.c_lflag &= ~(ICANON | ECHO);  // keep ISIG: Ctrl-C still interrupts
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        active = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    void leave() {
        if (active) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        active = false;
    }
};

void meter(char* out, uint32_t level) {
    int bars = 0;
    if (level > 0) bars = int((20.0 * log10(level / 32767.0) + 48.0) * METER_WIDTH / 48.0 + 0.5);
    if (bars < 0) bars = 0;
    if (bars > METER_WIDTH) bars = METER_WIDTH;
    for (int i = 0; i < METER_WIDTH; i++) out[i] = i < bars ? '#' : '.';
    out[METER_WIDTH] = 0;
}

void show_status(uint32_t level, bool paused) {
    const uint32_t position = player_get_position(), levels = player_get_levels(), ms = player_get_time();
    char left[METER_WIDTH + 1], right[METER_WIDTH + 1];
    meter(left, levels >> 16);
    meter(right, levels & 0xFFFF);
    printf("\rorder %3u  row %3u  %3u:%02u.%03u  L %s  R %s  volume %2u%s\x1b[K", position >> 16, position & 0xFFFF,
           ms / 60000, ms / 1000 % 60, ms % 1000, left, right, level, paused ? "  paused" : "");
    fflush(stdout);
}

// Lowers the level one step per 20 ms down to 0, then stops.
void fade_out_and_stop(uint32_t level) {
    while (level > 0) {
        level--;
        player_set_volume(level);
        Sleep(FADE_STEP_MS);
    }
    player_stop();
}

// The whole file; empty when it cannot be read.
std::vector<uint8_t> read_module(const char* path) {
    std::vector<uint8_t> bytes;
    if (FILE* file = fopen(path, "rb")) {
        uint8_t chunk[65536];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
        fclose(file);
    }
    return bytes;
}

bool sound_device_opens() {
    const WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return false;
    waveOutClose(device);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    uint32_t flags = PLAY_FROM_MEMORY;
    uint32_t level = MAX_LEVEL;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--no-loop") {
            flags |= PLAY_NO_LOOP;
        } else if (arg == "--paused") {
            flags |= PLAY_PAUSED;
        } else if (arg == "--volume" && i + 1 < argc) {
            char* end = nullptr;
            const long value = strtol(argv[++i], &end, 10);
            if (*argv[i] == 0 || *end != 0 || value < 0) {
                usage();
                return 2;
            }
            level = value > long(MAX_LEVEL) ? MAX_LEVEL : uint32_t(value);
        } else if (arg.size() > 1 && arg[0] == '-') {
            usage();
            return 2;
        } else if (path == nullptr) {
            path = argv[i];
        } else {
            usage();
            return 2;
        }
    }
    if (path == nullptr) {
        usage();
        return 2;
    }

    const std::vector<uint8_t> bytes = read_module(path);
    if (bytes.empty()) {
        fprintf(stderr, "xm-play: %s: cannot read the file\n", path);
        return 2;
    }
    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);
    player_set_volume(level);
    if (player_start(bytes.data(), bytes.size(), flags) == nullptr) {
        if (!sound_device_opens()) {
            fprintf(stderr, "xm-play: no sound device could be opened\n");
        } else if ((flags & PLAY_NO_LOOP) && player_start(bytes.data(), bytes.size(), PLAY_FROM_MEMORY | PLAY_PAUSED)) {
            player_stop();
            fprintf(stderr, "xm-play: %s: the song ends before the first 341 ms are queued\n", path);
        } else {
            fprintf(stderr, "xm-play: %s: not a playable XM module\n", path);
        }
        return 2;
    }

    const bool keys = isatty(STDIN_FILENO);
    const bool status = isatty(STDOUT_FILENO);
    RawTerminal terminal;
    if (keys) terminal.enter();

    bool paused = (flags & PLAY_PAUSED) != 0;
    bool heard = false;  // the clock has run: a later 0 means the song ended
    bool quit = false;
    while (!quit && !interrupted) {
        pollfd input = {STDIN_FILENO, POLLIN, 0};
        if (keys ? poll(&input, 1, POLL_MS) > 0 : (Sleep(POLL_MS), false)) {
            char key[8];
            const ssize_t n = read(STDIN_FILENO, key, sizeof key);
            for (ssize_t i = 0; i < n; i++) {
                const char c = key[i];
                if (c == 'q' || c == 'Q') {
                    quit = true;
                } else if (c == ' ') {
                    paused = !paused;
                    paused ? player_pause() : player_resume();
                } else if ((c == '+' || c == '=') && level < MAX_LEVEL) {
                    player_set_volume(++level);
                } else if ((c == '-' || c == '_') && level > 0) {
                    player_set_volume(--level);
                } else if (c == 0x1b && i + 2 < n && key[i + 1] == '[' && (key[i + 2] == 'C' || key[i + 2] == 'D')) {
                    const uint32_t order = player_get_position() >> 16;
                    if (key[i + 2] == 'C') {
                        player_jump_to_order(order + 1);
                    } else {
                        player_jump_to_order(order > 0 ? order - 1 : 0);
                    }
                    i += 2;
                }
            }
        }
        const uint32_t time = player_get_time();
        if (time != 0) {
            heard = true;
        } else if (heard && !paused) {
            break;  // a no-loop song ran off its end and released the player
        }
        if (status) show_status(level, paused);
    }
    if (quit) {
        fade_out_and_stop(level);
    } else {
        player_stop();
    }
    terminal.leave();
    if (status) printf("\n");
    return 0;
}
