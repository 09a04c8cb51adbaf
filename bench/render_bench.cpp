// render_block on every module: frames per second and times real time
// (48000 frames per second), one block per iteration, looping songs.
#include <benchmark/benchmark.h>

#include <string.h>

#include "bench/bench_support.h"
#include "player/render.h"
#include "song/song.h"

namespace {

void render_module(benchmark::State& state, const BenchModule* module) {
    if (!bench_start(module->bytes)) {
        state.SkipWithError("does not load");
        return;
    }
    for (auto _ : state) {
        render_block();
        benchmark::DoNotOptimize(output_ring[0]);
    }
    state.counters["frames_per_s"] = benchmark::Counter(double(BLOCK_FRAMES), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["x_realtime"] =
        benchmark::Counter(double(BLOCK_FRAMES) / OUTPUT_RATE, benchmark::Counter::kIsIterationInvariantRate);
    bench_stop();
}

void mix_path(benchmark::State& state, const BenchModule* module) {
    mix_select_path(static_cast<uint32_t>(state.range(0)));
    render_module(state, module);
    mix_select_path(mix_best_path());
}

// Eight voices that always sound, on looped samples at different pitches:
// the mixer and the conversion alone, one block per iteration.
void eight_voices(benchmark::State& state) {
    mix_select_path(static_cast<uint32_t>(state.range(0)));
    static int16_t data[8][10003];
    static Sample samples[8];
    Voice voices[8] = {};
    for (int v = 0; v < 8; ++v) {
        for (int k = 0; k < 10003; ++k) data[v][k] = static_cast<int16_t>((k * (v + 3) * 37) % 20000 - 10000);
        samples[v] = Sample{};
        samples[v].length = 10000;
        samples[v].loop_length = 10000;
        samples[v].loop_type = v % 2 ? LOOP_PINGPONG : LOOP_FORWARD;
        samples[v].data = data[v];
        voices[v].sample = &samples[v];
        voices[v].step = (static_cast<uint64_t>(v + 1) << 32) / 5 + 12345;  // 0.2 .. 1.6 samples per frame
        voices[v].left_volume = voices[v].right_volume = 64;
        voices[v].current_left = voices[v].current_right = 64 * 128;
        voices[v].ramp_targets = 64u << 16 | 64;
    }
    for (auto _ : state) {
        memset(mix_buffer, 0, sizeof mix_buffer);
        for (Voice& v : voices) mix_voice(&v, mix_buffer, BLOCK_FRAMES);
        convert_block(mix_buffer, output_ring, 32768);
        benchmark::DoNotOptimize(output_ring[0]);
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(BLOCK_FRAMES) / OUTPUT_RATE, benchmark::Counter::kIsIterationInvariantRate);
    mix_select_path(mix_best_path());
}

}  // namespace

int main(int argc, char** argv) {
    static const std::vector<BenchModule> modules = bench_modules();
    for (const BenchModule& m : modules) {
        benchmark::RegisterBenchmark(("render_block/" + m.name).c_str(), mix_path, &m)
            ->Arg(static_cast<int64_t>(mix_best_path()))
            ->ArgName("path");
    }
    // The plain segment loop on the first module, for comparison.
    if (!modules.empty() && mix_best_path() != MIX_PATH_SCALAR) {
        benchmark::RegisterBenchmark(("render_block_scalar/" + modules[0].name).c_str(), mix_path, &modules[0])
            ->Arg(MIX_PATH_SCALAR)
            ->ArgName("path");
    }
    benchmark::RegisterBenchmark("eight_voices", eight_voices)->Arg(MIX_PATH_SCALAR)->Arg(static_cast<int64_t>(mix_best_path()))->ArgName("path");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
