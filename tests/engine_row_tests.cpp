// The row tick: note and instrument latching, the volume column, key-off,
// the row effects with their memories, sample offset, envelope position,
// and rows, instruments and samples that the song does not have.
#include <gtest/gtest.h>
#include <stddef.h>
#include <string.h>

#include "engine/engine.h"
#include "tests/support/song_script.h"

namespace {

uint8_t flag(uint8_t bits) { return uint8_t(channel(0).update_flags & bits); }

int8_t finetune() { return song.instrument_table[0].samples[0]->finetune; }

// Instrument 2 of the latching table: a sample an octave up, finetune -3,
// volume 32, panning 64.
XmInstrument second_instrument() {
    XmInstrument instrument = plain_instrument();
    instrument.samples[0].relative_note = 12;
    instrument.samples[0].finetune = -3;
    instrument.samples[0].volume = 32;
    instrument.samples[0].panning = 64;
    return instrument;
}

// Linear periods: C-4 (n 48) 4608, D-4 4480, E-4 4352.
TEST(Row, NoteAndInstrumentLatching) {
    const auto state = [](const Channel& c) {
        return join(c.note, c.instrument, c.period, c.note_period, c.porta_target, c.volume, c.panning,
                    flag(NOTE_TRIGGER));
    };
    run_probe_cases(
        {
            {"note and instrument", 1, {"C-4 01"}, state, {"48 0 4608 4608 0 64 128 8"}},
            {"relative note and finetune -3 (7680 - 64 x 60 + 1)", 1, {"C-4 02"}, state, {"48 1 3841 3841 0 32 64 8"}},
            {"3xx keeps note, instrument and period; the old sample resets the volume",
             1,
             {"C-4 01 20", "D-4 02 .. 305"},
             state,
             {"48 0 4608 4608 0 16 128 8", "48 0 4608 4480 4480 64 128 0"}},
            {"volume column tone portamento",
             1,
             {"C-4 01", "D-4 .. F5"},
             state,
             {"48 0 4608 4608 0 64 128 8", "48 0 4608 4480 4480 64 128 0"}},
            {"5xy is a tone portamento too",
             1,
             {"C-4 01", "E-4 .. .. 500"},
             state,
             {"48 0 4608 4608 0 64 128 8", "48 0 4608 4352 4352 64 128 0"}},
            {"an instrument alone resets volume and panning without a note start",
             1,
             {"C-4 01 20 8FF", "... 01"},
             state,
             {"48 0 4608 4608 0 16 255 8", "48 0 4608 4608 0 64 128 0"}},
            {"a note alone keeps the volume",
             1,
             {"C-4 01 20", "D-4"},
             state,
             {"48 0 4608 4608 0 16 128 8", "50 0 4480 4480 0 16 128 8"}},
            {"a key-off latches the instrument and resets to its sample",
             1,
             {"C-4 01", "=== 02"},
             state,
             {"48 0 4608 4608 0 64 128 8", "48 1 4608 4608 0 32 64 0"}},
            {"a note without instrument on a fresh channel", 1, {"E-4"}, state, {"52 0 4352 4352 0 0 0 8"}},
        },
        {plain_instrument(), second_instrument()});
}

TEST(Row, AmigaPeriodsComeFromTheNoteAndSample) {
    // Finetune -128 lands exactly on the semitone below: n 47 gives P(46).
    XmInstrument tuned = plain_instrument();
    tuned.samples[0].finetune = -128;
    tuned.samples[0].relative_note = -1;
    const Sample untuned = {};
    run_probe_cases(
        {{"C-4 with finetune 0 is 1712", 1, {"C-4 01"}, [](const Channel& c) { return join(c.period); }, {"1712"}},
         {"relative note -1 and finetune -128",
          1,
          {"C-4 02"},
          [](const Channel& c) { return join(c.period, c.pitch_note); },
          {join(amiga_period(46, &untuned), 47)}}},
        {plain_instrument(), tuned}, false);
}

TEST(Row, VolumeColumn) {
    // Volume, panning, and which of the two the voice is told to recompute.
    const auto volume_panning = [](const Channel& c) {
        return join(c.volume, c.panning, c.update_flags & (VOLUME_CHANGED | PANNING_CHANGED));
    };
    const auto vibrato = [](const Channel& c) { return join(c.vib_speed, c.vib_depth, c.vib_position); };
    const auto portamento = [](const Channel& c) {
        return join(c.porta_speed, c.porta_target, c.period, flag(NOTE_TRIGGER));
    };
    run_probe_cases({
        {"0x10 sets 0", 3, {"C-4 01 10"}, volume_panning, {"0 128 6", "0 128 0", "0 128 0"}},
        {"0x50 sets 64", 3, {"C-4 01 8C", "... .. 50"}, volume_panning,
         {"52 128 6", "52 128 0", "52 128 0", "64 128 2", "64 128 0", "64 128 0"}},
        {"0x51 and 0x0F do nothing", 1, {"C-4 01 51", "... .. 0F"}, volume_panning, {"64 128 6", "64 128 2"}},
        {"0x65 slides down on every tick", 3, {"C-4 01 65"}, volume_panning, {"59 128 6", "54 128 2", "49 128 2"}},
        {"0x73 slides up without a limit", 3, {"C-4 01 73"}, volume_panning, {"67 128 6", "70 128 2", "73 128 2"}},
        {"fine slides 0x82 and 0x92 act once", 3, {"C-4 01 82", "... .. 92"}, volume_panning,
         {"62 128 6", "62 128 0", "62 128 0", "64 128 2", "64 128 0", "64 128 0"}},
        {"0xC4 sets panning 64", 1, {"C-4 01 C4"}, volume_panning, {"64 64 6"}},
        {"0xD2 slides left on every tick", 3, {"C-4 01 D2"}, volume_panning, {"64 126 6", "64 124 4", "64 122 4"}},
        {"0xEF slides right past 255", 3, {"C-4 01 .. 8FF", "... .. EF"}, volume_panning,
         {"64 255 6", "64 255 0", "64 255 0", "64 270 6", "64 285 4", "64 300 4"}},
        {"0xA4 sets the speed; 0xB8 the depth, and the vibrato runs on later ticks",
         3,
         {"C-4 01 A4", "... .. B8", "... .. B0"},
         vibrato,
         {"4 0 0", "4 0 0", "4 0 0", "4 8 0", "4 8 4", "4 8 8", "4 0 8", "4 0 12", "4 0 16"}},
        {"0xF1 with a note: target only, then the later ticks slide",
         3,
         {"C-4 01", "D-4 .. F1"},
         portamento,
         {"0 0 4608 8", "0 0 4608 0", "0 0 4608 0", "16 4480 4608 0", "16 4480 4544 0", "16 4480 4480 0"}},
        {"0xF0 keeps the speed memory", 1, {"C-4 01 .. 305", "D-4 .. F0"}, portamento, {"5 4608 0 0", "5 4480 0 0"}},
    });
}

XmInstrument released_instrument() {
    XmInstrument instrument = plain_instrument();
    instrument.volume.points = {{0, 64}, {4, 0}};
    instrument.volume.type = ENVELOPE_ON | ENVELOPE_SUSTAIN;
    instrument.volume.sustain = 0;
    instrument.fadeout = 100;  // 200 per tick once loaded
    return instrument;
}

TEST(Row, KeyOff) {
    const auto release = [](const Channel& c) { return join(c.key_released, c.vol_env_output, c.fadeout_volume); };
    run_probe_cases(
        {
            {"without a volume envelope the key-off silences at once",
             1,
             {"C-4 01", "===", "..."},
             release,
             {"0 64 65536", "1 0 65536", "1 0 65536"}},
            {"a key-off with an instrument clears, then releases",
             1,
             {"C-4 01", "=== 01"},
             release,
             {"0 64 65536", "1 0 65536"}},
            {"Kxx releases for any parameter", 1, {"C-4 01", "... .. .. K05"}, release, {"0 64 65536", "1 0 65536"}},
            {"a note without instrument starts released; key-offs count",
             1,
             {"C-4 01", "===", "D-4", "==="},
             release,
             {"0 64 65536", "1 0 65536", "1 0 65536", "2 0 65536"}},
            {"with a volume envelope the walk leaves its sustain point and fades",
             1,
             {"C-4 02", "...", "===", "...", "..."},
             release,
             {"0 64 65536", "0 64 65536", "1 64 65336", "1 48 65136", "1 32 64936"}},
        },
        {plain_instrument(), released_instrument()});
}

TEST(Row, EffectsAndTheirMemories) {
    run_probe_cases(
        {
            {"1xx and 2xx share one memory",
             1,
             {"... .. .. 105", "... .. .. 200", "... .. .. 207", "... .. .. 100"},
             [](const Channel& c) { return join(c.porta_memory); },
             {"5", "5", "7", "7"}},
            {"3xx: speed memory, target",
             1,
             {"C-4 01", "D-4 .. .. 305", "E-4 .. .. 300"},
             [](const Channel& c) { return join(c.porta_speed, c.porta_target, c.period); },
             {"0 0 4608", "5 4480 4608", "5 4352 4608"}},
            {"4xy: memories by nibble, one step on the row tick",
             1,
             {"... .. .. 484", "... .. .. 400", "... .. .. 402"},
             [](const Channel& c) { return join(c.vib_speed, c.vib_depth, c.vib_position); },
             {"8 4 8", "8 4 16", "8 2 24"}},
            {"5xy: the slide memory; porta speed kept",
             1,
             {"... .. .. 307", "D-4 .. .. 512", "... .. .. 500"},
             [](const Channel& c) { return join(c.vol_slide_memory, c.porta_speed); },
             {"0 7", "18 7", "18 7"}},
            {"6xy: the slide memory, one vibrato step",
             1,
             {"... .. .. 484", "... .. .. 612", "... .. .. 600"},
             [](const Channel& c) { return join(c.vol_slide_memory, c.vib_position); },
             {"0 8", "18 16", "18 24"}},
            {"7xy: memories by nibble, no step on the row tick",
             1,
             {"... .. .. 784", "... .. .. 700", "... .. .. 702"},
             [](const Channel& c) { return join(c.trem_speed, c.trem_depth, c.trem_position); },
             {"8 4 0", "8 4 0", "8 2 0"}},
            {"8xx",
             1,
             {"... .. .. 8C0"},
             [](const Channel& c) { return join(c.panning, flag(PANNING_CHANGED)); },
             {"192 4"}},
            {"Axy memory",
             1,
             {"... .. .. A12", "... .. .. A00", "... .. .. A30"},
             [](const Channel& c) { return join(c.vol_slide_memory); },
             {"18", "18", "48"}},
            {"Cxx is not clamped",
             1,
             {"C-4 01 .. C50", "... .. .. CFF"},
             [](const Channel& c) { return join(c.volume); },
             {"80", "255"}},
            {"F1F sets speed 31",
             1,
             {"... .. .. F1F"},
             [](const Channel&) { return join(song.speed, song.samples_per_tick); },
             {"31 960"}},
            {"F20 sets BPM 32",
             1,
             {"... .. .. F20"},
             [](const Channel&) { return join(song.speed, song.samples_per_tick); },
             {"1 3750"}},
            {"Gxx is not clamped",
             1,
             {"... .. .. G80"},
             [](const Channel&) { return join(song.global_volume); },
             {"128"}},
            {"Hxy memory",
             1,
             {"... .. .. H12", "... .. .. H00"},
             [](const Channel&) { return join(song.global_volume_slide); },
             {"18", "18"}},
            {"Pxy: memory and flag, none for P00",
             1,
             {"... .. .. P12", "... .. .. P00"},
             [](const Channel& c) { return join(c.pan_slide_memory, flag(PANNING_CHANGED)); },
             {"18 4", "18 0"}},
            {"Rxy stores both nibbles of a nonzero parameter",
             1,
             {"... .. .. R83", "... .. .. R00", "... .. .. R05"},
             [](const Channel& c) { return join(c.retrig_volume_mode, c.retrig_interval); },
             {"8 3", "8 3", "0 5"}},
            {"Txy: memories, and a step also for T00",
             1,
             {"... .. .. T21", "... .. .. T00"},
             [](const Channel& c) { return join(c.tremor_on, c.tremor_off, c.tremor_count); },
             {"2 1 1", "2 1 2"}},
            {"X1y and X2y with their memories; X3y nothing",
             1,
             {"C-4 01 .. X13", "... .. .. X10", "... .. .. X22", "... .. .. X20", "... .. .. X35"},
             [](const Channel& c) { return join(c.period); },
             {"4605", "4602", "4604", "4606", "4606"}},
            {"E1y and E2y move by four per unit",
             1,
             {"C-4 01 .. E12", "... .. .. E10", "... .. .. E23", "... .. .. E20"},
             [](const Channel& c) { return join(c.period); },
             {"4600", "4592", "4604", "4616"}},
            {"E4y and E7y set their nibbles",
             1,
             {"... .. .. E45", "... .. .. E7C", "... .. .. E40"},
             [](const Channel& c) { return join(c.wave_control); },
             {"5", "197", "192"}},
            {"E5y changes the sample for later notes",
             1,
             {"C-4 01 .. E58", "C-4"},
             [](const Channel& c) { return join(c.period, finetune()); },
             {"4608 8", "4604 8"}},
            {"E8y",
             1,
             {"... .. .. E8F"},
             [](const Channel& c) { return join(c.panning, flag(PANNING_CHANGED)); },
             {"240 4"}},
            {"EAy and EBy share one signed memory",
             1,
             {"C-4 01 .. EB3", "... .. .. EA0", "... .. .. EA2", "... .. .. EB0"},
             [](const Channel& c) { return join(c.volume, c.fine_volume_memory); },
             {"61 3", "58 3", "60 -2", "62 -2"}},
            {"EDy puts period, volume and panning back; nothing reaches the voice",
             1,
             {"C-4 01 .. 8F0", "D-4 02 30 ED3"},
             [](const Channel& c) { return join(c.note, c.instrument, c.period, c.volume, c.panning, c.update_flags); },
             {"48 0 4608 64 240 15", "50 1 4608 64 240 1"}},
            {"a tremolo offset stays in the volume when the next row has another effect",
             3,
             {"C-4 01 .. 788", "... .. .. A00"},
             [](const Channel& c) { return join(c.volume, c.volume_delta); },
             {"64 0", "64 0", "64 22", "86 0", "86 0", "86 0"}},
            {"EDy restores the volume kept before the tremolo fold",
             3,
             {"C-4 01 .. 788", "... .. .. ED5"},
             [](const Channel& c) { return join(c.volume); },
             {"64", "64", "64", "64", "64", "64"}},
        },
        {plain_instrument(), plain_instrument()});
}

// Snapshot of the channel and song state that an effect could touch, with
// the pointers (which differ from load to load) replaced by indices.
std::vector<uint8_t> state_bytes() {
    channel(0).previous_effect = 0;
    std::vector<uint8_t> bytes(sizeof(Channel) + 2 * sizeof(Voice));
    memcpy(bytes.data(), &channel(0), sizeof(Channel));
    const intptr_t voice_index = channel(0).voice - song.voice_table;
    memcpy(bytes.data() + offsetof(Channel, voice), &voice_index, sizeof voice_index);
    for (int i = 0; i < 2; ++i) {
        uint8_t* voice = bytes.data() + sizeof(Channel) + i * sizeof(Voice);
        memcpy(voice, &song.voice_table[i], sizeof(Voice));
        const intptr_t playing = song.voice_table[i].sample != nullptr;
        memcpy(voice + offsetof(Voice, sample), &playing, sizeof playing);
    }
    for (int32_t value :
         {song.global_volume, song.speed, song.samples_per_tick, int32_t(song.next_order), int32_t(song.next_row)})
        bytes.insert(bytes.end(), reinterpret_cast<uint8_t*>(&value), reinterpret_cast<uint8_t*>(&value) + 4);
    return bytes;
}

std::vector<uint8_t> state_after_row(const std::string& cell) {
    XmModule module = script_module({{"C-4 01 " + cell}});
    module.speed = 3;
    load_script(module);
    run_ticks(3);
    return state_bytes();
}

TEST(Row, EffectsWithoutActionChangeNothing) {
    const std::vector<uint8_t> baseline = state_after_row("");
    for (const char* cell : {".. I12", ".. J34", ".. M56", ".. N78", ".. O9A", ".. QBC", ".. SDE", ".. UF0", ".. V12",
                             ".. W34", ".. E03", ".. E34", ".. EF5", ".. X36", ".. Y12", ".. Z34"}) {
        SCOPED_TRACE(cell);
        EXPECT_EQ(state_after_row(cell), baseline);
    }
}

// Row-tick effects leave the later ticks alone: tick 2 looks like tick 1.
TEST(Row, RowTickEffectsDoNothingOnLaterTicks) {
    for (const char* cell : {"8C0", "901", "B00", "C20", "D00", "F04", "G20", "K00", "L02", "X12", "E12", "E84"}) {
        SCOPED_TRACE(cell);
        XmModule module = script_module({{std::string("C-4 01 .. ") + cell}});
        module.speed = 3;
        load_script(module);
        run_ticks(2);
        const std::vector<uint8_t> tick_1 = state_bytes();
        run_ticks(1);
        EXPECT_EQ(state_bytes(), tick_1);
    }
}

TEST(Row, SampleOffset) {
    XmInstrument looped = plain_instrument();  // 1000 values, loop 100..300
    looped.samples[0].loop_type = LOOP_FORWARD;
    looped.samples[0].loop_start = 100;
    looped.samples[0].loop_length = 200;
    XmModule module = script_module({{"C-4 01 .. 902", "... .. .. 900", "C-4 .. .. 900", "C-4 02 .. 902"}});
    module.speed = 1;
    module.instruments = {plain_instrument(), looped};
    load_script(module);

    // In range with a note: the note starts there.
    ASSERT_TRUE(run_ticks(1));
    Voice* voice = channel(0).voice;
    EXPECT_EQ(voice->position, 512);
    EXPECT_EQ(voice->start_offset, 0);
    // 900 without a note: the remembered offset waits for the next note.
    ASSERT_TRUE(run_ticks(1));
    EXPECT_EQ(channel(0).sample_offset_memory, 512u);
    EXPECT_EQ(channel(0).voice->start_offset, 512);
    ASSERT_TRUE(run_ticks(1));
    EXPECT_EQ(channel(0).voice->position, 512);
    // At or past the loop end (300): no note start, the voice restarts its sample.
    voice = channel(0).voice;
    voice->position = 300;
    voice->fraction = 77;
    ASSERT_TRUE(run_ticks(1));
    EXPECT_EQ(channel(0).voice, voice);
    EXPECT_EQ(flag(NOTE_TRIGGER), 0);
    EXPECT_EQ(join(voice->position, voice->fraction, voice->start_offset), "0 0 0");
}

XmInstrument envelope_instrument() {
    XmInstrument instrument = plain_instrument();
    instrument.volume.points = {{0, 64}, {10, 32}, {20, 48}};
    instrument.volume.type = ENVELOPE_ON;
    return instrument;
}

// More points counted than the 12 stored; the panning points that follow
// them in the record hold values a walk past the twelfth would read.
XmInstrument overcounted_instrument() {
    XmInstrument instrument = plain_instrument();
    for (uint16_t i = 0; i < 12; ++i) {
        instrument.volume.points.push_back({uint16_t(10 * i), uint16_t(4 * i)});
        instrument.panning.points.push_back({uint16_t(1000 + i), 60});
    }
    instrument.volume.count = 20;
    instrument.volume.type = ENVELOPE_ON;
    return instrument;
}

// A volume envelope whose first point lies at tick 10.
XmInstrument late_instrument() {
    XmInstrument instrument = plain_instrument();
    instrument.volume.points = {{10, 0}, {20, 64}};
    instrument.volume.type = ENVELOPE_ON;
    return instrument;
}

TEST(Row, EnvelopePosition) {
    const auto walk = [](const Channel& c) {
        return join(c.vol_env_output, c.vol_env_point, c.vol_env_tick, c.vol_env_ended, c.vol_env_slope,
                    c.vol_env_value);
    };
    const auto output = [](const Channel& c) { return join(c.vol_env_output, c.vol_env_ended); };
    run_probe_cases(
        {
            {"inside the first segment", 1, {"C-4 02 .. L05"}, walk, {"48 1 5 0 -209715 3145729"}},
            {"at a point's x: the segment that ends there", 1, {"C-4 02 .. L0A"}, walk, {"32 1 10 0 -209715 2097154"}},
            {"inside the second segment", 1, {"C-4 02 .. L0F"}, walk, {"39 2 15 0 104857 2621437"}},
            {"past the last point: ended at its value", 1, {"C-4 02 .. L15"}, output, {"48 1"}},
            {"nothing when the volume envelope is off", 1, {"C-4 01 .. L05"}, output, {"64 0"}},
            {"a count above 12 reads only the stored points", 1, {"C-4 03 .. LFF"}, output, {"44 1"}},
            {"before the first point's x the value goes negative and is shifted as unsigned", 1,
             {"C-4 04 .. L02"}, walk, {"65484 1 2 0 419430 -3355440"}},
        },
        {plain_instrument(), envelope_instrument(), overcounted_instrument(), late_instrument()});
}

// Rows, instruments and samples the song does not have.
TEST(Row, MissingRowsInstrumentsAndSamples) {
    {
        SCOPED_TRACE("a break to a row the pattern lacks plays an empty row");
        XmModule module = script_module({{"C-4 01 .. D25"}, std::vector<std::string>(20, "")});
        module.speed = 2;
        load_script(module);
        ASSERT_TRUE(run_ticks(2));
        ASSERT_TRUE(run_ticks(1));
        EXPECT_EQ(join(song.order, song.row), "1 25");
        EXPECT_EQ(join(channel(0).previous_effect, channel(0).update_flags), "0 3");
        ASSERT_TRUE(run_ticks(1));
        EXPECT_EQ(channel(0).update_flags, PITCH_CHANGED);
        EXPECT_EQ(run_trace(1), "0.0");
    }
    {
        SCOPED_TRACE("a song without instruments plays the empty sample");
        XmModule module = script_module({{"C-4 01 30", "C-4 .. .. 901"}});
        module.speed = 1;
        module.instruments.clear();
        load_script(module);
        ASSERT_TRUE(run_ticks(1));
        EXPECT_EQ(channel(0).voice->sample, &empty_sample);
        EXPECT_EQ(join(channel(0).instrument, channel(0).volume), "0 32");
        ASSERT_TRUE(run_ticks(1));
        EXPECT_EQ(flag(NOTE_TRIGGER), 0);
    }
    {
        SCOPED_TRACE("a sample map entry of 16 or more selects the empty sample");
        XmInstrument instrument = plain_instrument();
        instrument.sample_map.assign(96, 16);
        XmModule module = script_module({{"C-4 01 .. E57"}});
        module.instruments = {instrument};
        load_script(module);
        ASSERT_TRUE(run_ticks(1));
        EXPECT_EQ(channel(0).voice->sample, &empty_sample);
        EXPECT_EQ(join(channel(0).volume, channel(0).panning, empty_sample.finetune), "0 0 7");
        // The empty sample is shared by every song: the next load starts it afresh.
        load_script(module);
        EXPECT_EQ(empty_sample.finetune, 0);
    }
    {
        SCOPED_TRACE("a latched index past the instrument table reads no instrument");
        XmModule module = script_module({{"C-4"}});
        load_script(module);
        channel(0).instrument = 200;
        ASSERT_TRUE(run_ticks(1));
        EXPECT_EQ(channel(0).voice->sample, &empty_sample);
    }
}

}  // namespace
