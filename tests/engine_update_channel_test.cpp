// The channel update and its helpers driven directly on hand-built Channel,
// Voice and Instrument records: pitch, Amiga periods, envelopes, fadeout,
// volume composition, the pan law, auto-vibrato and the voice-pair switch.
#include <stdint.h>

#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "song/song.h"

namespace {

// Two channels over four voices, wired as the loader wires them.
struct UpdateFixture : ::testing::Test {
    Voice voices[4] = {};
    Channel channels[2] = {};
    Instrument instrument = {};
    Sample sample = {};

    void SetUp() override {
        song.voice_table = voices;
        song.channel_table = channels;
        song.channel_count = 2;
        song.global_volume = 64;
        song.song_flags = 0;
        channels[0].voice = &voices[0];
        channels[1].voice = &voices[2];
    }
    void TearDown() override {
        song.voice_table = nullptr;
        song.channel_table = nullptr;
    }
    Channel& channel() { return channels[0]; }
    Voice& voice() { return *channels[0].voice; }
    void update(uint8_t flags) {
        channel().update_flags = flags;
        channel_update(&channel(), &sample, &instrument);
    }
};

// --- Pitch ------------------------------------------------------------------

uint64_t step_of(uint32_t whole, uint32_t fraction) { return (uint64_t(whole) << 32) | fraction; }

TEST_F(UpdateFixture, PitchGivesTheFrequencyAsA32Dot32Step) {
    // The highest frequency a 32.32 step holds: 48000 x 2^32 - 1.
    const uint64_t top = step_of(0xFFFFFFFFu, uint32_t((uint64_t(47999) << 32) / 48000));
    struct Case { bool linear; int32_t period, delta; uint64_t step; } cases[] = {
        {false, 1712, 0, step_of(0, 748308572)},          // 8363 Hz
        {true, 4608, 0, step_of(0, 748308572)},           // 8363 Hz
        {true, 5376, 0, step_of(0, 374109547)},           // 4181 Hz, not 4182
        {true, 4608, 768, step_of(0, 1496617145)},        // the delta raises a linear pitch
        {true, 5376, 768, step_of(0, 748308572)},         // 4608 - 5376 + 768 = 0: back to 8363 Hz
        {false, 1712 - 100, 100, step_of(0, 748308572)},  // Amiga: period + delta
        {false, 0, 0, step_of(0, 3579139)},               // 40 Hz
        {true, 0, 0, step_of(0, 3579139)},
        {true, 100, -100, step_of(0, 3579139)},
        {false, INT32_MIN, INT32_MIN, step_of(0, 3579139)},
        {false, 1, 0, step_of(298, 1204022498)},          // 14317456 Hz
        {false, INT32_MAX, INT32_MAX, step_of(0, 0)},     // 14317456 / (2^32 - 2) = 0 Hz
        {true, INT32_MAX, INT32_MAX, step_of(11, 647108405)},  // 4608 - p + d = 4608: 535232 Hz
        {true, 1, INT32_MAX, top},                        // far beyond any 32.32 step: held
        {true, 1000000000, 0, step_of(0, 0)},             // 2^-1.3 million: 0 Hz
    };
    for (const Case& c : cases) {
        song.song_flags = c.linear ? LINEAR_FREQUENCIES : 0;
        channel().period = c.period;
        channel().period_delta = c.delta;
        update(0);
        EXPECT_EQ(voice().step, c.step) << c.linear << " " << c.period << " " << c.delta;
        EXPECT_EQ(channel().update_flags & PITCH_CHANGED, PITCH_CHANGED);
    }
}

TEST(AmigaPeriod, NotesAndFinetunes) {
    struct Case { int32_t k; int8_t finetune; int32_t period; } cases[] = {
        {48, 0, 1712},  {0, 0, 27392},  {60, 0, 856},    {47, 0, 1814}, {49, 0, 1616},
        {48, -128, 1814},                                 // exactly the note below
        {48, 127, 1617},                                  // 1712 + (127 x -96) / 128, truncated
        {48, 64, 1664}, {48, -64, 1763},
        {-129, 0, 47173314},                              // the lowest note a file can reach
        {-300, 0, INT32_MAX}, {-300, -128, INT32_MAX},    // beyond 32 bits: held
        {270, 0, 0},                                      // arpeggio far above the scale
    };
    for (const Case& c : cases) {
        Sample s = {};
        s.finetune = c.finetune;
        EXPECT_EQ(amiga_period(c.k, &s), c.period) << c.k << " " << int(c.finetune);
    }
}

// --- Envelopes --------------------------------------------------------------

struct EnvelopeCase {
    const char* name;
    std::vector<std::pair<uint16_t, uint16_t>> points;
    int count;                  // -1: points.size()
    uint8_t type, sustain, loop_start, loop_end;
    int release_after;          // key released before this call (-1 never)
    std::vector<int32_t> outputs;
};

// Walks the volume envelope (and the same data as a panning envelope) and
// returns the output after each call. The panning points hold a sentinel
// that shows up if the volume walk reads past its 12 points.
std::vector<int32_t> walk(const EnvelopeCase& c, EnvelopeKind kind, size_t calls, Channel* ch) {
    Instrument ins = {};
    for (size_t i = 0; i < c.points.size(); ++i) {
        EnvelopePoint p = {c.points[i].first, c.points[i].second};
        ins.volume_points[i] = p;
        ins.panning_points[i] = p;
    }
    if (kind == VOLUME_ENVELOPE) ins.panning_points[0] = {0, 999};
    uint8_t count = uint8_t(c.count < 0 ? c.points.size() : c.count);
    ins.volume_point_count = ins.panning_point_count = count;
    ins.volume_type = ins.panning_type = c.type;
    ins.volume_sustain = ins.panning_sustain = c.sustain;
    ins.volume_loop_start = ins.panning_loop_start = c.loop_start;
    ins.volume_loop_end = ins.panning_loop_end = c.loop_end;
    std::vector<int32_t> out;
    for (size_t i = 0; i < calls; ++i) {
        if (int(i) == c.release_after) ch->key_released = 1;
        ch->update_flags = 0;
        envelope_step(ch, &ins, kind);
        bool vol = kind == VOLUME_ENVELOPE;
        EXPECT_EQ(ch->update_flags, vol ? VOLUME_CHANGED : PANNING_CHANGED);
        out.push_back(vol ? ch->vol_env_output : ch->pan_env_output);
    }
    return out;
}

TEST(EnvelopeStep, WalksSustainsLoopsAndEnds) {
    const uint8_t ON = ENVELOPE_ON, SUS = ENVELOPE_SUSTAIN, LOOP = ENVELOPE_LOOP;
    std::vector<std::pair<uint16_t, uint16_t>> twelve;
    for (uint16_t i = 0; i < 12; ++i) twelve.push_back({i, uint16_t(5 * i)});
    std::vector<std::pair<uint16_t, uint16_t>> far_loop = {{0, 0}, {2, 32}, {4, 64}};
    far_loop.resize(12, {0, 0});
    far_loop[11] = {9, 40};
    const EnvelopeCase cases[] = {
        {"plain walk, ends at last point", {{0, 0}, {4, 64}, {8, 32}}, -1, ON, 0, 0, 0, -1,
         {0, 16, 32, 48, 64, 56, 48, 40, 32, 32, 32}},
        {"sustain holds until release", {{0, 0}, {2, 64}, {4, 0}}, -1, ON | SUS, 1, 0, 0, 5,
         {0, 32, 64, 64, 64, 64, 32, 0, 0}},
        {"sustain released before it is reached", {{0, 0}, {2, 64}, {4, 0}}, -1, ON | SUS, 1, 0, 0, 0,
         {0, 32, 64, 32, 0, 0}},
        {"loop ending on the last point", {{0, 0}, {2, 32}, {4, 64}}, -1, ON | LOOP, 0, 1, 2, -1,
         {0, 16, 32, 48, 32, 48, 32, 48}},
        {"loop start == loop end does not hold", {{0, 0}, {2, 32}, {4, 64}, {6, 0}}, -1, ON | LOOP, 0, 1, 1, -1,
         {0, 16, 32, 48, 64, 32, 0, 0}},
        {"loop survives release, sustain inside loop", {{0, 0}, {2, 32}, {4, 64}}, -1, ON | SUS | LOOP, 1, 1, 2, 4,
         {0, 16, 32, 32, 32, 48, 32, 48}},
        {"loop start on the last point ends on the jump", {{0, 0}, {2, 32}, {4, 64}}, -1, ON | LOOP, 0, 2, 1, -1,
         {0, 16, 64, 64, 64}},
        {"equal x: slope 0, stays at the first y", {{0, 10}, {0, 50}, {4, 0}}, -1, ON, 0, 0, 0, -1,
         {10, 10, 10, 10, 10, 10, 10}},
        {"count above 12 stops at point 11", twelve, 40, ON, 0, 0, 0, -1,
         {0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 55, 55}},
        {"loop start 12 or more is ignored", {{0, 0}, {2, 32}, {4, 64}}, -1, ON | LOOP, 0, 200, 1, -1,
         {0, 16, 32, 48, 64, 64}},
        {"loop start 11 past the count ends there", far_loop, 3, ON | LOOP, 0, 11, 2, -1,
         {0, 16, 32, 48, 40, 40, 40}},
        {"decreasing x holds the point reached", {{0, 0}, {4, 64}, {2, 0}}, -1, ON, 0, 0, 0, -1,
         {0, 16, 32, 48, 64, 64, 64, 64, 64, 64}},
        {"y above 32767 wraps negative in the value", {{0, 40000}, {2, 40000}}, -1, ON, 0, 0, 0, -1,
         {-25536, -25536, 40000, 40000}},
    };
    for (const EnvelopeCase& c : cases) {
        for (EnvelopeKind kind : {VOLUME_ENVELOPE, PANNING_ENVELOPE}) {
            Channel ch = {};
            EXPECT_EQ(walk(c, kind, c.outputs.size(), &ch), c.outputs) << c.name << " kind " << int(kind);
        }
    }
}

TEST(EnvelopeStep, DecreasingXStaysInRangeForever) {
    EnvelopeCase c = {"", {{0, 0}, {1, 64}, {0, 0}, {1, 64}}, -1, ENVELOPE_ON, 0, 0, 0, -1, {}};
    Channel ch = {};
    for (int32_t out : walk(c, VOLUME_ENVELOPE, 5000, &ch)) {
        ASSERT_GE(out, 0);
        ASSERT_LE(out, 64);
    }
}

TEST(EnvelopeStep, SustainDoesNotAdvanceTheTick) {
    EnvelopeCase c = {"", {{0, 0}, {2, 64}, {4, 0}}, -1, ENVELOPE_ON | ENVELOPE_SUSTAIN, 1, 0, 0, -1, {}};
    Channel ch = {};
    walk(c, VOLUME_ENVELOPE, 10, &ch);
    EXPECT_EQ(ch.vol_env_tick, 2);
    EXPECT_EQ(ch.vol_env_point, 1);
    EXPECT_EQ(ch.vol_env_ended, 0);
}

// --- Fadeout ----------------------------------------------------------------

TEST(FadeoutStep, FallsAfterReleaseAndStopsAtZero) {
    Instrument ins = {};
    ins.fadeout = 30000;
    Channel ch = {};
    ch.fadeout_volume = 65536;
    fadeout_step(&ch, &ins);  // key held
    EXPECT_EQ(ch.fadeout_volume, 65536);
    EXPECT_EQ(ch.update_flags, 0);
    ch.key_released = 1;
    const int32_t expected[] = {35536, 5536, 0, 0};
    for (int32_t e : expected) {
        ch.update_flags = 0;
        fadeout_step(&ch, &ins);
        EXPECT_EQ(ch.fadeout_volume, e);
        EXPECT_EQ(ch.update_flags, VOLUME_CHANGED);
    }
    ins.fadeout = 0;
    ch.fadeout_volume = 65536;
    fadeout_step(&ch, &ins);
    EXPECT_EQ(ch.fadeout_volume, 65536);
}

// --- Volume and panning -----------------------------------------------------

TEST_F(UpdateFixture, VolumeCompositionClampsTheWholeProduct) {
    struct Case { int32_t volume, delta, global, env, fadeout, final_volume; } cases[] = {
        {64, 0, 64, 64, 65536, 127},
        {80, 0, 64, 64, 65536, 127},                     // above 64 plays at full level
        {80, 0, 32, 64, 65536, 79},
        {64, 0, 32, 64, 65536, 63},
        {64, 0, 64, 32, 65536, 63},
        {64, 0, 64, 64, 32768, 63},
        {64, -32, 64, 64, 65536, 63},
        {1, 0, 1, 64, 65536, 0},
        {-1, 0, 64, 64, 65536, 0},
        {10, -20, 64, 64, 65536, 0},
        {64, 0, 64, 64, 0, 0},
        {INT32_MAX, INT32_MAX, 64, 64, 65536, 127},      // the sum itself exceeds 32 bits
        {INT32_MIN, INT32_MIN, 64, 64, 65536, 0},
        {INT32_MAX, 0, INT32_MAX, 64, 65536, 127},
        {64, 0, INT32_MIN, 64, 65536, 0},
        {INT32_MIN, 0, INT32_MIN, 64, 65536, 127},       // two negative factors: a positive product
        {4096, 1, 1, 64, 65536, 127},                    // 4097 x 255 x 1 is above the clamp
        {64, 0, 64, 65535, 65536, 7678},                 // envelope above 64: low 32 bits of b
        {64, 0, 64, -1, 65536, 8190},
    };
    for (const Case& c : cases) {
        channel().volume = c.volume;
        channel().volume_delta = c.delta;
        song.global_volume = c.global;
        channel().vol_env_output = c.env;
        channel().fadeout_volume = c.fadeout;
        voice().final_panning = 128;
        update(VOLUME_CHANGED);
        EXPECT_EQ(voice().final_volume, c.final_volume) << c.volume << " " << c.delta << " " << c.global;
        EXPECT_EQ(voice().right_volume, c.final_volume * 128 / 255);
        EXPECT_EQ(voice().left_volume, c.final_volume * 127 / 255);
        EXPECT_EQ(voice().final_panning, 128);
    }
}

TEST_F(UpdateFixture, PanLaw) {
    struct Case { int32_t panning, env, final_panning, right, left; } cases[] = {
        {128, 32, 128, 50, 49},
        {128, 64, 255, 100, 0},           // s = 4: 128 + 32 x 4 = 256
        {128, 0, 0, 0, 100},
        {0, 64, 0, 0, 100},               // s = 0 at the edges
        {255, 0, 255, 100, 0},
        {160, 0, 64, 25, 74},             // s = 3
        {192, 0, 128, 50, 49},            // s = 2
        {224, 0, 192, 75, 24},            // s = 1
        {95, 0, 31, 12, 87},              // s = 2
        {96, 0, 0, 0, 100},               // s = 3
        {1000, 32, 255, 100, 0},
        {-500, 0, 12, 4, 95},             // s = -500 >> 5 = -16: q = -500 + 512
        {INT32_MAX, 0, 255, 100, 0},
        {INT32_MIN, 64, 0, 0, 100},
        {INT32_MIN, 0, 0, 0, 100},        // -2^31 + 32 x 2^26 = 0
    };
    for (const Case& c : cases) {
        channel().panning = c.panning;
        channel().pan_env_output = c.env;
        voice().final_volume = 100;
        update(PANNING_CHANGED);
        EXPECT_EQ(voice().final_panning, c.final_panning) << c.panning << " " << c.env;
        EXPECT_EQ(voice().right_volume, c.right) << c.panning << " " << c.env;
        EXPECT_EQ(voice().left_volume, c.left) << c.panning << " " << c.env;
    }
}

TEST_F(UpdateFixture, PanningUsesTheVolumeJustComposed) {
    channel().volume = 64;
    channel().vol_env_output = 64;
    channel().fadeout_volume = 65536;
    channel().panning = 255;
    channel().pan_env_output = 32;
    update(VOLUME_CHANGED | PANNING_CHANGED);
    EXPECT_EQ(voice().final_volume, 127);
    EXPECT_EQ(voice().right_volume, 127);
    EXPECT_EQ(voice().left_volume, 0);
}

// --- Auto-vibrato -----------------------------------------------------------

TEST_F(UpdateFixture, AutoVibratoWaveforms) {
    struct Case { uint8_t type; int32_t position, delta; } cases[] = {
        {0, 0, 0},   {0, 32, 45},   {0, 64, 64},  {0, 96, 45},   {0, 160, -45}, {0, 192, -64},
        {1, 0, 64},  {1, 127, 64},  {1, 128, -64}, {1, 255, -64},
        {2, 0, 0},   {2, 127, -64}, {2, 128, 64}, {2, 255, 0},
        {3, 0, 0},   {3, 127, 63},  {3, 128, 64}, {3, 129, -64}, {3, 255, -1},
        {9, 129, -64},
    };
    instrument.vibrato_depth = 64;
    instrument.vibrato_rate = 200;
    for (const Case& c : cases) {
        instrument.vibrato_type = c.type;
        channel().autovib_position = c.position;
        channel().period_delta = 1000;
        update(0);
        EXPECT_EQ(channel().period_delta, 1000 + c.delta) << int(c.type) << " " << c.position;
        EXPECT_EQ(channel().autovib_position, (c.position + 200) % 256);
        EXPECT_EQ(channel().autovib_sweep, 0);
    }
}

TEST_F(UpdateFixture, AutoVibratoSweepUsesTheCounterBeforeIncrement) {
    instrument.vibrato_type = 1;  // square: -64 from position 128
    instrument.vibrato_depth = 10;
    instrument.vibrato_sweep = 4;
    channel().autovib_position = 128;
    // -640 x counter / 4 truncated toward zero, then shifted (toward minus infinity).
    const int32_t expected[] = {0, -3, -5, -8, -10, -10};
    for (int32_t e : expected) {
        channel().period_delta = 0;
        update(0);
        EXPECT_EQ(channel().period_delta, e);
    }
    EXPECT_EQ(channel().autovib_sweep, 4);
}

// --- Note trigger and the voice pair -----------------------------------------

TEST_F(UpdateFixture, TriggerOnAnIdleVoiceKeepsIt) {
    voice().start_offset = 77;
    voice().current_right = voice().current_left = 5000;
    voice().fraction = 123;
    voice().ramp_frames = 9;
    voice().direction = 1;
    update(NOTE_TRIGGER);
    EXPECT_EQ(channel().voice, &voices[0]);
    EXPECT_EQ(voices[0].sample, &sample);
    EXPECT_EQ(voices[0].position, 77);
    EXPECT_EQ(voices[0].start_offset, 0);
    EXPECT_EQ(voices[0].fraction, 0u);
    EXPECT_EQ(voices[0].current_right, 0);
    EXPECT_EQ(voices[0].current_left, 0);
    EXPECT_EQ(voices[0].ramp_frames, 0);
    EXPECT_EQ(voices[0].direction, 0);
    EXPECT_EQ(voices[1].sample, nullptr);
}

TEST_F(UpdateFixture, TriggerOnASoundingVoiceSwitchesToItsPartner) {
    Sample old_sample = {};
    Channel& ch = channels[1];  // voices 2 and 3
    ch.voice = &voices[3];
    Voice& old_voice = voices[3];
    old_voice = {};
    old_voice.sample = &old_sample;
    old_voice.final_volume = 100;
    old_voice.final_panning = 40;
    old_voice.start_offset = 300;
    old_voice.right_volume = 15;
    old_voice.left_volume = 84;
    old_voice.position = 1234;
    old_voice.fraction = 99;
    old_voice.step = step_of(1, 5);
    old_voice.ramp_targets = (84u << 16) | 15u;
    old_voice.right_delta = 3;
    old_voice.left_delta = -4;
    old_voice.current_right = 1920;
    old_voice.current_left = 10752;
    old_voice.ramp_frames = 17;
    voices[2].final_volume = 55;  // whatever the partner held before is overwritten

    ch.update_flags = NOTE_TRIGGER;
    channel_update(&ch, &sample, &instrument);

    ASSERT_EQ(ch.voice, &voices[2]);
    const Voice& v = voices[2];
    EXPECT_EQ(v.sample, &sample);
    EXPECT_EQ(v.final_volume, 100);
    EXPECT_EQ(v.final_panning, 40);
    EXPECT_EQ(v.right_volume, 15);
    EXPECT_EQ(v.left_volume, 84);
    EXPECT_EQ(v.position, 300);  // the copied start offset, consumed
    EXPECT_EQ(v.start_offset, 0);
    EXPECT_EQ(v.ramp_targets, (84u << 16) | 15u);
    EXPECT_EQ(v.right_delta, 3);
    EXPECT_EQ(v.left_delta, -4);
    EXPECT_EQ(v.fraction, 0u);
    EXPECT_EQ(v.current_right, 0);
    EXPECT_EQ(v.current_left, 0);
    EXPECT_EQ(v.ramp_frames, 0);
    // The old voice plays on, silenced only through its targets.
    EXPECT_EQ(old_voice.sample, &old_sample);
    EXPECT_EQ(old_voice.final_volume, 0);
    EXPECT_EQ(old_voice.right_volume, 0);
    EXPECT_EQ(old_voice.left_volume, 0);
    EXPECT_EQ(old_voice.final_panning, 40);
    EXPECT_EQ(old_voice.position, 1234);
    EXPECT_EQ(old_voice.fraction, 99u);
    EXPECT_EQ(old_voice.step, step_of(1, 5));
    EXPECT_EQ(old_voice.start_offset, 300);
    EXPECT_EQ(old_voice.current_right, 1920);
    EXPECT_EQ(old_voice.ramp_frames, 17);

    // The next note while voice 2 sounds goes back to voice 3.
    ch.update_flags = NOTE_TRIGGER;
    channel_update(&ch, &sample, &instrument);
    EXPECT_EQ(ch.voice, &voices[3]);
    EXPECT_EQ(voices[2].final_volume, 0);
    EXPECT_EQ(voices[0].sample, nullptr);  // channel 0's voices are untouched
}

TEST_F(UpdateFixture, MissingSampleAndInstrumentAreHandled) {
    channel().update_flags = NOTE_TRIGGER | VOLUME_CHANGED;
    channel().period = 1712;
    channel_update(&channel(), nullptr, nullptr);
    EXPECT_EQ(voice().sample, &empty_sample);
    EXPECT_EQ(voice().step, step_of(0, 748308572));
    EXPECT_EQ(channel().period_delta, 0);
}

}  // namespace
