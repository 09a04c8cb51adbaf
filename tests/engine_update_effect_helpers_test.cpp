// The effect helpers on hand-built channels: the waveform generator,
// vibrato, tremolo, tone portamento and tremor.
#include <stdint.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "song/song.h"

namespace {

TEST(WaveformValue, ValuesAndPositions) {
    struct Case { uint8_t selector, position; int8_t depth; int32_t value; } cases[] = {
        {0, 0, 8, 0},     {0, 4, 8, 12},    {0, 8, 8, 22},    {0, 16, 15, 59},
        {0, 40, 8, -23},  {0, 48, 15, -60}, {0, 8, -8, -23},  // shifts round toward minus infinity
        {2, 0, 15, 59},   {2, 31, 15, 59},  {2, 32, 15, -60}, {3, 63, 32, -127},
        {1, 0, 32, 127},  {1, 31, 32, 2},   {1, 32, 32, -2},  {1, 63, 32, -127},
        {1, 16, 32, 62},  {1, 0, 15, 59},
    };
    for (const Case& c : cases) {
        uint8_t position = c.position;
        EXPECT_EQ(waveform_value(&position, 5, c.depth, c.selector), c.value)
            << int(c.selector) << " " << int(c.position) << " " << int(c.depth);
        EXPECT_EQ(position, (c.position + 5) % 64);
    }
    uint8_t position = 60;
    waveform_value(&position, 4, 1, 0);
    EXPECT_EQ(position, 0);
    waveform_value(&position, 70, 1, 0);
    EXPECT_EQ(position, 6);
}

TEST(WaveformValue, RampFallsAndIsAntisymmetric) {
    int32_t previous = 128;
    for (uint8_t p = 0; p < 64; ++p) {
        uint8_t a = p, b = uint8_t(63 - p);
        int32_t w = waveform_value(&a, 0, 32, 1);  // depth 32: the raw waveform
        EXPECT_LT(w, previous) << int(p);
        EXPECT_EQ(waveform_value(&b, 0, 32, 1), -w) << int(p);
        previous = w;
    }
}

TEST(VibratoStep, SineSpeed4Depth8) {
    Channel ch = {};
    ch.vib_speed = 4;
    ch.vib_depth = 8;
    ch.period_delta = 500;  // replaced, not added to
    std::vector<int32_t> deltas;
    for (int i = 0; i < 16; ++i) {
        ch.update_flags = 0;
        vibrato_step(&ch);
        EXPECT_EQ(ch.update_flags, PITCH_CHANGED);
        deltas.push_back(ch.period_delta);
    }
    const std::vector<int32_t> first = {0, 6, 11, 14, 15, 14, 11, 6, 0, -7, -12, -15, -16, -15, -12, -7};
    EXPECT_EQ(deltas, first);
    EXPECT_EQ(ch.vib_position, 0);  // 60 wrapped to 0
}

TEST(VibratoAndTremolo, ControlNibblesSelectTheirWaveforms) {
    Channel ch = {};
    ch.wave_control = 0x16;  // tremolo ramp (1), vibrato square (6 & 3 = 2)
    ch.vib_depth = 15;
    ch.trem_depth = 15;
    ch.vib_position = 40;
    ch.trem_position = 0;
    vibrato_step(&ch);
    EXPECT_EQ(ch.period_delta, -30);  // (-127 x 15) >> 5 = -60, halved
    tremolo_step(&ch);
    EXPECT_EQ(ch.volume_delta, 59);   // ramp at 0: 127
    EXPECT_EQ(ch.update_flags, PITCH_CHANGED | VOLUME_CHANGED);
    ch.wave_control = 0;
    ch.vib_position = 16;
    ch.trem_position = 16;
    vibrato_step(&ch);
    tremolo_step(&ch);
    EXPECT_EQ(ch.period_delta, 29);   // full-depth sine peaks
    EXPECT_EQ(ch.volume_delta, 59);
}

TEST(TonePortamentoStep, MovesTowardTheTargetNeverPast) {
    struct Case { int32_t period, target; uint8_t speed; int32_t result; } cases[] = {
        {1000, 900, 10, 960},   {1000, 990, 10, 990},  {900, 1000, 30, 1000},
        {900, 1000, 10, 940},   {1000, 1000, 5, 1000}, {1000, 900, 0, 1000},
        {INT32_MIN + 5, INT32_MAX, 255, INT32_MIN + 1025},
        {INT32_MIN + 5, INT32_MIN, 255, INT32_MIN},
        {INT32_MAX - 5, INT32_MAX, 255, INT32_MAX},
    };
    for (const Case& c : cases) {
        Channel ch = {};
        ch.period = c.period;
        ch.porta_target = c.target;
        ch.porta_speed = c.speed;
        tone_portamento_step(&ch);
        EXPECT_EQ(ch.period, c.result) << c.period << " " << c.target << " " << int(c.speed);
        EXPECT_EQ(ch.update_flags, PITCH_CHANGED);
    }
}

// Sounding (s) and muted (m) ticks of a tremor run from a given counter.
std::string tremor_run(uint8_t on, uint8_t off, uint8_t count, int ticks, int32_t volume = 40) {
    Channel ch = {};
    ch.tremor_on = on;
    ch.tremor_off = off;
    ch.tremor_count = count;
    ch.volume = volume;
    std::string run;
    for (int i = 0; i < ticks; ++i) {
        ch.volume_delta = 0;  // the tick passes clear it
        ch.update_flags = 0;
        tremor_step(&ch);
        EXPECT_EQ(ch.update_flags, VOLUME_CHANGED);
        if (ch.volume_delta == 0) {
            run += 's';
        } else {
            EXPECT_EQ(ch.volume_delta, int32_t(0u - uint32_t(volume)));
            run += 'm';
        }
    }
    return run;
}

TEST(TremorStep, OnAndOffCycles) {
    EXPECT_EQ(tremor_run(0, 0, 0, 6), "smsmsm");
    EXPECT_EQ(tremor_run(2, 1, 0, 10), "sssmmsssmm");
    EXPECT_EQ(tremor_run(15, 15, 0, 64), std::string(16, 's') + std::string(16, 'm') +
                                         std::string(16, 's') + std::string(16, 'm'));
    EXPECT_EQ(tremor_run(2, 1, 200, 5), "msssm");  // a counter left high by an earlier tremor
    EXPECT_EQ(tremor_run(0, 0, 1, 2, INT32_MIN), "ms");
}

}  // namespace
