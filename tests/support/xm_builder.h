// A small builder of XM module bytes for tests: readable fixtures instead of
// opaque binaries. Every field has the value a plain valid module would
// have; a test changes only what it is about.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct XmCell {
    uint8_t note = 0, instrument = 0, volume_column = 0, effect = 0, param = 0;
};

struct XmPattern {
    uint16_t rows = 64;
    std::vector<XmCell> cells;      // rows x channels, row by row; empty = packed size 0
    std::vector<uint8_t> packed;    // when not empty: written as the packed data, as is
    int32_t packed_size = -1;       // when >= 0: written as the packed size field instead
};

struct XmSample {
    std::vector<int16_t> values;    // absolute values; 8-bit samples use -128..127
    bool is_16bit = false;
    uint32_t loop_start = 0;        // in samples (the builder writes bytes for 16-bit)
    uint32_t loop_length = 0;
    uint8_t loop_type = 0;          // bits 0-1 of the type byte
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relative_note = 0;
    uint8_t packing = 0;            // the reserved byte (0xAD: see raw_data)
    int64_t length_override = -1;   // when >= 0: the header's byte length field, as is
    std::vector<uint8_t> raw_data;  // when not empty: written as the data, as is
};

struct XmEnvelope {
    std::vector<std::pair<uint16_t, uint16_t>> points;  // (x, y), up to 12 written
    int count = -1;                  // point count field; -1 = points.size()
    uint8_t sustain = 0, loop_start = 0, loop_end = 0;
    uint8_t type = 0;                // ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP
};

struct XmInstrument {
    std::vector<XmSample> samples;
    std::vector<uint8_t> sample_map;  // 96 entries; empty = all 0
    XmEnvelope volume, panning;
    uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
    uint16_t fadeout = 0;             // as in the file (the loader doubles it)
    uint32_t header_size = 263;       // instrument header size field
    uint32_t sample_header_size = 40;
    int32_t sample_count = -1;        // sample count field; -1 = samples.size()
};

struct XmModule {
    uint32_t header_size = 276;
    uint16_t song_length = 1;
    uint16_t restart_position = 0;
    uint16_t channels = 4;
    int32_t pattern_count = -1;       // -1 = patterns.size()
    int32_t instrument_count = -1;    // -1 = instruments.size()
    uint16_t flags = 1;               // 1 = linear frequencies
    uint16_t speed = 6;
    uint16_t bpm = 125;
    std::vector<uint8_t> order = {0};
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
};

// The module's bytes.
std::vector<uint8_t> build_xm(const XmModule& module);

// Packs one cell as the XM packed form (the compressed form whenever a field
// is zero, else the plain five bytes).
void pack_cell(const XmCell& cell, std::vector<uint8_t>& out);

// Loads bytes the way player_start does with the memory source, on a fresh
// per-song heap (the previous one is destroyed). Returns song_load's result.
int load_module(const std::vector<uint8_t>& bytes);
// Destroys the per-song heap of the last load_module, if any.
void unload_module();
