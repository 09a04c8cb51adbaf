// The later ticks of a row: slides, portamentos, arpeggio, vibrato and
// tremolo, retriggers, tremor, note cut and note delay, the volume column's
// continuous commands, and the global volume slide.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/support/song_script.h"

namespace {

uint8_t flags() { return channel(0).update_flags; }

std::string period(const Channel& c) { return join(c.period, c.period_delta); }
// The volume, and whether the voice is told to recompute it.
std::string volume(const Channel& c) { return join(c.volume, c.update_flags & VOLUME_CHANGED); }

TEST(Tick, PitchEffects) {
    run_probe_cases({
        {"arpeggio 037: +3, +7 and the note, 64 per semitone",
         6,
         {"C-4 01 .. 037"},
         period,
         {"4608 0", "4608 192", "4608 448", "4608 0", "4608 192", "4608 448"}},
        {"arpeggio 030 over the volume column's vibrato: a zero nibble replaces it, tick 3 keeps it", 4,
         {"C-4 01 A8", "... .. BF 030"}, period,
         {"4608 0", "4608 0", "4608 0", "4608 0", "4608 0", "4608 192", "4608 0", "4608 29"}},
        {"1FF: down to 1 and held there",
         6,
         {"C-4 01 .. 1FF"},
         period,
         {"4608 0", "3588 0", "2568 0", "1548 0", "528 0", "1 0"}},
        {"2xx has no upper limit; 200 uses the memory",
         3,
         {"C-4 01 .. 2FF", "... .. .. 200"},
         period,
         {"4608 0", "5628 0", "6648 0", "6648 0", "7668 0", "8688 0"}},
        {"3xx stops at the target",
         4,
         {"C-4 01", "D-4 .. .. 310"},
         period,
         {"4608 0", "4608 0", "4608 0", "4608 0", "4608 0", "4544 0", "4480 0", "4480 0"}},
        {"vibrato 448: positions and sine offsets",
         4,
         {"C-4 01 .. 448"},
         [](const Channel& c) { return join(c.vib_position, c.period_delta); },
         {"4 0", "8 6", "12 11", "16 14"}},
        {"vibrato resumes from its position and stops affecting the pitch without the effect",
         2,
         {"C-4 01 .. 448", "... .. .. 400", "..."},
         [](const Channel& c) { return join(c.vib_position, c.period_delta); },
         {"4 0", "8 6", "12 11", "16 14", "16 0", "16 0"}},
    });
}

TEST(Tick, AmigaArpeggio) {
    const Sample untuned = {};
    const int32_t base = amiga_period(48, &untuned);
    const std::string up_3 = join(1712, amiga_period(51, &untuned) - base);
    const std::string up_7 = join(1712, amiga_period(55, &untuned) - base);
    run_probe_cases({{"arpeggio 037 on the Amiga table", 3, {"C-4 01 .. 037"}, period, {"1712 0", up_3, up_7}}}, {},
                    false);
}

TEST(Tick, VolumeAndPanningEffects) {
    const auto panning = [](const Channel& c) { return join(c.panning, channel(0).update_flags & PANNING_CHANGED); };
    run_probe_cases({
        {"A23: only the upward slide acts", 3, {"C-4 01 .. A23"}, volume, {"64 2", "66 2", "68 2"}},
        {"A04 below 0, then A20 from the negative value",
         3,
         {"C-4 01 14 A04", "... .. .. A20"},
         volume,
         {"4 2", "0 2", "-4 2", "-4 2", "-2 2", "0 2"}},
        {"5xy slides with the memory and portamento",
         3,
         {"C-4 01", "... .. .. 310", "D-4 .. .. 502"},
         [](const Channel& c) { return join(c.volume, c.period); },
         {"64 4608", "64 4608", "64 4608", "64 4608", "64 4608", "64 4608", "64 4608", "62 4544", "60 4480"}},
        {"6xy slides with the memory and vibrato",
         3,
         {"C-4 01 .. 448", "... .. .. 610"},
         [](const Channel& c) { return join(c.volume, c.vib_position); },
         {"64 4", "64 8", "64 12", "64 16", "65 20", "66 24"}},
        {"tremolo 788: no step on the row tick",
         4,
         {"C-4 01 .. 788"},
         [](const Channel& c) { return join(c.trem_position, c.volume_delta); },
         {"0 0", "8 0", "16 22", "24 31"}},
        {"P80 stops at 255",
         4,
         {"C-4 01 .. 8F0", "... .. .. P80"},
         panning,
         {"240 4", "240 0", "240 0", "240 0", "240 4", "248 4", "255 4", "255 4"}},
        {"P0F stops at 0",
         3,
         {"C-4 01 .. 818", "... .. .. P0F"},
         panning,
         {"24 4", "24 0", "24 0", "24 4", "9 4", "0 4"}},
        {"P00 slides with the memory",
         2,
         {"C-4 01 .. P03", "... .. .. P00"},
         panning,
         {"128 4", "125 4", "125 0", "122 4"}},
        {"volume column slides D and E are not clamped",
         3,
         {"C-4 01 C0", "... .. D3"},
         [](const Channel& c) { return join(c.panning); },
         {"0", "0", "0", "-3", "-6", "-9"}},
        {"H2F goes up by 2 and past 64",
         3,
         {"... .. .. H2F"},
         [](const Channel&) { return join(song.global_volume); },
         {"64", "66", "68"}},
        {"H05 below 0",
         3,
         {"... .. .. G02", "... .. .. H05"},
         [](const Channel&) { return join(song.global_volume); },
         {"2", "2", "2", "2", "-3", "-8"}},
        {"tremor T21: three ticks on, two off, across rows",
         3,
         {"C-4 01 .. T21", "... .. .. T00"},
         [](const Channel& c) { return join(c.volume_delta); },
         {"0", "0", "0", "-64", "-64", "0"}},
        {"tremor T00 on first use alternates",
         4,
         {"C-4 01 .. T00"},
         [](const Channel& c) { return join(c.volume_delta); },
         {"0", "-64", "0", "-64"}},
    });
}

TEST(Tick, Retriggers) {
    const auto triggers = [](const Channel& c) {
        return join(c.update_flags & (NOTE_TRIGGER | VOLUME_CHANGED), c.volume);
    };
    run_probe_cases({
        {"R83: retrigger every third tick, volume re-sent unchanged",
         6,
         {"C-4 01 .. R83"},
         triggers,
         {"10 64", "0 64", "0 64", "10 64", "0 64", "0 64"}},
        {"R12: every second tick, the volume drops by 1",
         4,
         {"C-4 01 .. R12"},
         triggers,
         {"10 64", "0 64", "10 63", "0 63"}},
        {"R03: retrigger without volume update",
         4,
         {"C-4 01 .. R83", "... .. .. R03"},
         triggers,
         {"10 64", "0 64", "0 64", "10 64", "2 64", "0 64", "0 64", "8 64"}},
        {"E93 at speed 6",
         6,
         {"C-4 01 .. E93"},
         [](const Channel& c) { return join(c.update_flags); },
         {"15", "1", "1", "11", "1", "1"}},
        {"E94 at speed 3 never retriggers",
         3,
         {"C-4 01 .. E94"},
         [](const Channel& c) { return join(c.update_flags); },
         {"15", "1", "1"}},
        {"E90 does nothing",
         3,
         {"C-4 01 .. E90"},
         [](const Channel& c) { return join(c.update_flags); },
         {"15", "1", "1"}},
    });
}

// Rxy's volume change for every mode, from 64 and from -5, on tick 1.
TEST(Tick, MultiRetriggerVolumeTable) {
    const int32_t from_64[16] = {64, 63, 62, 60, 56, 48, 42, 32, 64, 65, 66, 68, 72, 80, 96, 128};
    const int32_t from_minus_5[16] = {-5, -6, -7, -9, -13, -21, -3, -3, -5, -4, -3, -1, 3, 11, -8, -10};
    for (int mode = 0; mode < 16; ++mode) {
        for (const int32_t start : {64, -5}) {
            SCOPED_TRACE(join(mode, start));
            const char digits[] = "0123456789ABCDEF";
            XmModule module = script_module({{std::string("C-4 01 .. R") + digits[mode] + "1"}});
            module.speed = 2;
            load_script(module);
            ASSERT_TRUE(run_ticks(1));
            channel(0).volume = start;
            ASSERT_TRUE(run_ticks(1));
            EXPECT_EQ(channel(0).volume, start == 64 ? from_64[mode] : from_minus_5[mode]);
            EXPECT_EQ(flags() & VOLUME_CHANGED, mode == 0 ? 0 : VOLUME_CHANGED);
        }
    }
}

TEST(Tick, NoteCutAndNoteDelay) {
    run_probe_cases(
        {
            {"EC2 at speed 4 cuts on tick 2", 4, {"C-4 01 .. EC2"}, volume, {"64 2", "64 0", "0 2", "0 0"}},
            {"EC0 never cuts", 3, {"C-4 01 .. EC0"}, volume, {"64 2", "64 0", "64 0"}},
            {"ED2 starts the note on tick 2; only the pitch is updated on the other ticks",
             4,
             {"C-4 01 20 8F0", "D-4 02 .. ED2"},
             [](const Channel& c) { return join(c.period, c.volume, c.panning, c.update_flags, c.note); },
             {"4608 16 240 15 48", "4608 16 240 1 48", "4608 16 240 1 48", "4608 16 240 1 48", "4608 16 240 1 50",
              "4608 16 240 1 50", "4480 32 240 11 50", "4480 32 240 1 50"}},
            {"the delayed note start runs the volume column again",
             3,
             {"C-4 01", "D-4 .. 20 ED1"},
             [](const Channel& c) { return join(c.volume, c.update_flags & NOTE_TRIGGER); },
             {"64 8", "64 0", "64 0", "64 0", "16 8", "16 0"}},
            {"a tone portamento in the volume column keeps the delayed note from starting",
             3,
             {"C-4 01", "D-4 .. F1 ED1"},
             [](const Channel& c) { return join(c.update_flags & NOTE_TRIGGER, c.period); },
             {"8 4608", "0 4608", "0 4608", "0 4608", "0 4480", "0 4480"}},
            {"ED3 with a volume column slide: the slide runs, only the pitch reaches the voice until tick 3", 4,
             {"C-4 01", "D-4 .. 62 ED3"}, [](const Channel& c) { return join(c.volume, c.update_flags); },
             {"64 15", "64 1", "64 1", "64 1", "64 1", "62 1", "60 1", "62 11"}},
            {"ED3 at speed 3 never starts",
             3,
             {"C-4 01", "D-4 .. .. ED3"},
             [](const Channel& c) { return join(c.period, c.update_flags); },
             {"4608 15", "4608 1", "4608 1", "4608 1", "4608 1", "4608 1"}},
        },
        {plain_instrument(), [] {
             XmInstrument quiet = plain_instrument();
             quiet.samples[0].volume = 32;
             return quiet;
         }()});
}

// The delayed note start clears what a note start with instrument clears,
// and keeps the envelope output only when it was audible.
TEST(Tick, DelayedNoteStartResets) {
    XmModule module = script_module({{"C-4 01", "D-4 .. .. ED1"}});
    module.speed = 2;
    load_script(module);
    ASSERT_TRUE(run_ticks(3));
    Channel& c = channel(0);
    c.vol_env_output = 10;
    c.fadeout_volume = 5;
    c.key_released = 3;
    c.autovib_position = 7;
    c.vib_position = 9;
    c.trem_position = 9;
    c.wave_control = 0x40;  // tremolo position kept
    ASSERT_TRUE(run_ticks(1));
    EXPECT_EQ(join(c.vol_env_output, c.fadeout_volume, c.key_released, c.vib_position, c.trem_position),
              "64 65536 0 0 9");
    c.vol_env_output = 9;
    song.row = 1;
    song.tick = 1;
    song.next_row = -1;
    ASSERT_TRUE(run_ticks(1));
    EXPECT_EQ(c.vol_env_output, 0);
}

TEST(Tick, PatternsWithoutCellsDoNoChannelWork) {
    XmModule module = script_module({{"C-4 01 .. A04"}, {"..."}});
    module.patterns[1].cells.clear();
    module.patterns[1].rows = 2;
    module.speed = 3;
    load_script(module);
    ASSERT_TRUE(run_ticks(3));
    Channel& c = channel(0);
    c.update_flags = 0x55;
    const int32_t volume_before = c.volume;
    ASSERT_TRUE(run_ticks(3));
    EXPECT_EQ(c.update_flags, 0x55);
    EXPECT_EQ(c.volume, volume_before);
}

}  // namespace
