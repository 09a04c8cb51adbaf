// peers [SECONDS]: renders every module for SECONDS of music (default 120)
// with our renderer and with two general-purpose module players used as
// opponents (libxmp with linear interpolation, libopenmpt with a two-tap,
// i.e. linear, interpolation filter), all to 48000 Hz 16-bit stereo in the
// same run. Prints each one's times real time per module, the medians over
// the modules, and our ratio to the fastest peer. Each figure is the best of
// a few runs, to keep the machine's noise out.
#include <libopenmpt/libopenmpt.h>
#include <stdio.h>
#include <stdlib.h>
#include <xmp.h>

#include <time.h>

#include <algorithm>
#include <vector>

#include "bench/bench_support.h"
#include "player/render.h"

namespace {

constexpr int RUNS = 3;
constexpr uint32_t CHUNK_FRAMES = 1024;

double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Times real time of one renderer, or 0 when it cannot play the module.
// render(frames) renders that many frames and returns false on failure.
template <typename Open, typename Render, typename Close>
double best_speed(double seconds, Open open, Render render, Close close) {
    const uint64_t chunks = static_cast<uint64_t>(seconds * OUTPUT_RATE / CHUNK_FRAMES);
    double best = 0;
    for (int run = 0; run < RUNS; ++run) {
        if (!open()) return 0;
        const double start = cpu_seconds();
        uint64_t done = 0;
        while (done < chunks && render()) ++done;
        const double elapsed = cpu_seconds() - start;
        close();
        if (done == 0 || elapsed <= 0) return 0;
        best = std::max(best, done * double(CHUNK_FRAMES) / OUTPUT_RATE / elapsed);
    }
    return best;
}

double ours(const BenchModule& m, double seconds) {
    return best_speed(
        seconds, [&] { return bench_start(m.bytes); }, [] { return render_block(); }, [] { bench_stop(); });
}

double with_libxmp(const BenchModule& m, double seconds) {
    xmp_context ctx = xmp_create_context();
    static int16_t buffer[CHUNK_FRAMES * 2];
    const double speed = best_speed(
        seconds,
        [&] {
            if (xmp_load_module_from_memory(ctx, m.bytes.data(), static_cast<long>(m.bytes.size())) != 0) return false;
            if (xmp_start_player(ctx, OUTPUT_RATE, 0) != 0) return false;
            xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
            return true;
        },
        [&] { return xmp_play_buffer(ctx, buffer, sizeof buffer, 0) == 0; },
        [&] {
            xmp_end_player(ctx);
            xmp_release_module(ctx);
        });
    xmp_free_context(ctx);
    return speed;
}

double with_libopenmpt(const BenchModule& m, double seconds) {
    openmpt_module* mod = nullptr;
    static int16_t buffer[CHUNK_FRAMES * 2];
    return best_speed(
        seconds,
        [&] {
            mod = openmpt_module_create_from_memory2(m.bytes.data(), m.bytes.size(), nullptr, nullptr, nullptr,
                                                     nullptr, nullptr, nullptr, nullptr);
            if (!mod) return false;
            openmpt_module_set_repeat_count(mod, -1);  // loop for ever, as ours does
            openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 2);
            return true;
        },
        [&] { return openmpt_module_read_interleaved_stereo(mod, OUTPUT_RATE, CHUNK_FRAMES, buffer) == CHUNK_FRAMES; },
        [&] {
            openmpt_module_destroy(mod);
            mod = nullptr;
        });
}

double median(std::vector<double> v) {
    v.erase(std::remove(v.begin(), v.end(), 0.0), v.end());
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? atof(argv[1]) : 120.0;
    if (!(seconds > 0)) {
        fprintf(stderr, "usage: peers [SECONDS]\n");
        return 2;
    }
    const std::vector<BenchModule> modules = bench_modules();
    std::vector<double> ours_x, xmp_x, mpt_x, ratios;
    printf("%-44s %10s %10s %10s %8s\n", "module (x real time)", "ours", "libxmp", "openmpt", "ratio");
    for (const BenchModule& m : modules) {
        const double a = ours(m, seconds), b = with_libxmp(m, seconds), c = with_libopenmpt(m, seconds);
        const double fastest_peer = std::max(b, c);
        const double ratio = fastest_peer > 0 && a > 0 ? a / fastest_peer : 0;
        printf("%-44.44s %10.0f %10.0f %10.0f %8.2f\n", m.name.c_str(), a, b, c, ratio);
        ours_x.push_back(a);
        xmp_x.push_back(b);
        mpt_x.push_back(c);
        ratios.push_back(ratio);
    }
    const double mo = median(ours_x), mx = median(xmp_x), mm = median(mpt_x);
    printf("%-44s %10.0f %10.0f %10.0f %8.2f\n", "median", mo, mx, mm, median(ratios));
    const double fastest = std::max(mx, mm);
    printf("our median / fastest peer's median (%s): %.2f (goal: 3)\n", mx >= mm ? "libxmp" : "libopenmpt",
           fastest > 0 ? mo / fastest : 0);
    return 0;
}
