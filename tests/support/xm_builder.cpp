#include "tests/support/xm_builder.h"

#include <string.h>

#include "platform/win32.h"
#include "song/module_source.h"
#include "song/song.h"

namespace {

void put8(std::vector<uint8_t>& out, uint32_t v) { out.push_back(uint8_t(v)); }
void put16(std::vector<uint8_t>& out, uint32_t v) {
    put8(out, v);
    put8(out, v >> 8);
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v);
    put16(out, v >> 16);
}
void put_text(std::vector<uint8_t>& out, const char* text, size_t width) {
    size_t n = strlen(text);
    for (size_t i = 0; i < width; ++i) put8(out, i < n ? uint8_t(text[i]) : 0);
}
void pad_to(std::vector<uint8_t>& out, size_t start, uint32_t size) {
    while (out.size() < start + size) put8(out, 0);
}

void put_envelope_points(std::vector<uint8_t>& out, const XmEnvelope& envelope) {
    for (size_t i = 0; i < 12; ++i) {
        uint16_t x = 0, y = 0;
        if (i < envelope.points.size()) {
            x = envelope.points[i].first;
            y = envelope.points[i].second;
        }
        put16(out, x);
        put16(out, y);
    }
}

HANDLE test_heap = nullptr;

}  // namespace

void pack_cell(const XmCell& c, std::vector<uint8_t>& out) {
    const uint8_t fields[5] = {c.note, c.instrument, c.volume_column, c.effect, c.param};
    uint8_t mask = 0;
    for (int i = 0; i < 5; ++i)
        if (fields[i]) mask |= uint8_t(1 << i);
    if (mask == 0x1F && c.note < 0x80) {
        for (uint8_t f : fields) put8(out, f);
        return;
    }
    put8(out, 0x80 | mask);
    for (int i = 0; i < 5; ++i)
        if (fields[i]) put8(out, fields[i]);
}

std::vector<uint8_t> build_xm(const XmModule& m) {
    std::vector<uint8_t> out;
    put_text(out, "Extended Module: ", 17);
    put_text(out, "test module", 20);
    put8(out, 0x1A);
    put_text(out, "xm builder", 20);
    put16(out, 0x0104);
    const size_t header_start = out.size();
    put32(out, m.header_size);
    put16(out, m.song_length);
    put16(out, m.restart_position);
    put16(out, m.channels);
    put16(out, m.pattern_count >= 0 ? uint32_t(m.pattern_count) : uint32_t(m.patterns.size()));
    put16(out, m.instrument_count >= 0 ? uint32_t(m.instrument_count) : uint32_t(m.instruments.size()));
    put16(out, m.flags);
    put16(out, m.speed);
    put16(out, m.bpm);
    for (size_t i = 0; i < 256; ++i) put8(out, i < m.order.size() ? m.order[i] : 0);
    // A header size other than 276 moves where the first pattern starts.
    if (m.header_size > 276) pad_to(out, header_start, m.header_size);
    else out.resize(header_start + m.header_size);

    for (const XmPattern& p : m.patterns) {
        std::vector<uint8_t> packed = p.packed;
        if (packed.empty())
            for (const XmCell& c : p.cells) pack_cell(c, packed);
        put32(out, 9);
        put8(out, 0);
        put16(out, p.rows);
        put16(out, p.packed_size >= 0 ? uint32_t(p.packed_size) : uint32_t(packed.size()));
        out.insert(out.end(), packed.begin(), packed.end());
    }

    for (const XmInstrument& ins : m.instruments) {
        const size_t start = out.size();
        const uint32_t count = ins.sample_count >= 0 ? uint32_t(ins.sample_count) : uint32_t(ins.samples.size());
        put32(out, ins.header_size);
        put_text(out, "instrument", 22);
        put8(out, 0);
        put16(out, count);
        put32(out, ins.sample_header_size);
        if (count != 0) {
            for (size_t i = 0; i < 96; ++i) put8(out, i < ins.sample_map.size() ? ins.sample_map[i] : 0);
            put_envelope_points(out, ins.volume);
            put_envelope_points(out, ins.panning);
            put8(out, ins.volume.count >= 0 ? uint32_t(ins.volume.count) : uint32_t(ins.volume.points.size()));
            put8(out, ins.panning.count >= 0 ? uint32_t(ins.panning.count) : uint32_t(ins.panning.points.size()));
            put8(out, ins.volume.sustain);
            put8(out, ins.volume.loop_start);
            put8(out, ins.volume.loop_end);
            put8(out, ins.panning.sustain);
            put8(out, ins.panning.loop_start);
            put8(out, ins.panning.loop_end);
            put8(out, ins.volume.type);
            put8(out, ins.panning.type);
            put8(out, ins.vibrato_type);
            put8(out, ins.vibrato_sweep);
            put8(out, ins.vibrato_depth);
            put8(out, ins.vibrato_rate);
            put16(out, ins.fadeout);
            // header sizes above 241 are padded; below, the header is cut
            if (ins.header_size >= 241) pad_to(out, start, ins.header_size);
            else out.resize(start + ins.header_size);
        } else if (ins.header_size >= 33) {
            pad_to(out, start, ins.header_size);
        } else {
            out.resize(start + ins.header_size);
        }
        if (count == 0) continue;
        for (const XmSample& s : ins.samples) {
            const size_t sample_start = out.size();
            const uint32_t width = s.is_16bit ? 2 : 1;
            const uint32_t length = uint32_t(s.values.size()) * width;
            put32(out, s.length_override >= 0 ? uint32_t(s.length_override) : length);
            put32(out, s.loop_start * width);
            put32(out, s.loop_length * width);
            put8(out, s.volume);
            put8(out, uint8_t(s.finetune));
            put8(out, (s.loop_type & 3) | (s.is_16bit ? 0x10 : 0));
            put8(out, s.panning);
            put8(out, uint8_t(s.relative_note));
            put8(out, s.packing);
            put_text(out, "sample", 22);
            if (ins.sample_header_size >= 40) pad_to(out, sample_start, ins.sample_header_size);
            else out.resize(sample_start + ins.sample_header_size);
        }
        for (const XmSample& s : ins.samples) {
            if (!s.raw_data.empty()) {
                out.insert(out.end(), s.raw_data.begin(), s.raw_data.end());
                continue;
            }
            int32_t previous = 0;
            for (int16_t v : s.values) {
                const int32_t delta = int32_t(v) - previous;
                previous = v;
                if (s.is_16bit) put16(out, uint32_t(delta) & 0xFFFF);
                else put8(out, uint32_t(delta) & 0xFF);
            }
        }
    }
    return out;
}

void unload_module() {
    if (test_heap) HeapDestroy(test_heap);
    test_heap = nullptr;
    song_set_heap(nullptr);
}

int load_module(const std::vector<uint8_t>& bytes) {
    unload_module();
    test_heap = HeapCreate(0, 0, 0);
    song_set_heap(test_heap);
    source_select(SOURCE_MEMORY, bytes.data(), bytes.size(), nullptr);
    const int result = song_load();
    source_close();
    return result;
}
