// song_load: builds the song model from an XM module read through the
// selected module source, in one pass from front to back.
//
// All format work happens here, so playback meets one kind of data: pattern
// data unpacked into five-byte Cells, every sample as signed 16-bit absolute
// values with clamped loops, a continuation value at the loop end and spare
// values for interpolation, and the values playback would test again and
// again settled once. Header fields are decoded from the bytes read with
// little-endian helpers; nothing is read over a record's memory.
//
// What is checked: the failure conditions below, and that every read
// delivered the bytes the model is built from, so a truncated module fails
// instead of being built from stale bytes. Before room is allocated for data
// that must follow (cells, sample values) the source must still hold at
// least that much, so a small file never makes the loader allocate far more
// than its size. Deliberately not checked: the signature, version, pattern
// header length and packing type, whether cell decoding used exactly the
// packed size, the restart position, the sample map, envelope counts and
// points, volume and panning ranges.
//
// Plain computation; runs on the thread that calls player_start, before any
// mixing thread exists.
#include <string.h>

#include "engine/tempo.h"
#include "song/module_source.h"
#include "song/song.h"

Song song;

namespace {
int16_t empty_sample_data[3];
}

Sample empty_sample = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, empty_sample_data};

namespace {

// --- the XM layout --------------------------------------------------------

constexpr uint32_t MODULE_HEADER_READ = 336;  // the module header with its 256-entry order table
constexpr uint32_t HEADER_SIZE_BASE = 60;     // the header size counts from this offset
constexpr uint32_t ORDER_TABLE_OFFSET = 80;
constexpr uint32_t PATTERN_HEADER_READ = 9;
constexpr uint32_t INSTRUMENT_HEADER_READ = 33;          // first part, always read
constexpr uint32_t INSTRUMENT_HEADER_SHORTEST = 29;      // without the sample header size
constexpr uint32_t INSTRUMENT_HEADER_SECOND_READ = 208;  // sample map .. fadeout
constexpr uint32_t INSTRUMENT_HEADER_FULL = INSTRUMENT_HEADER_READ + INSTRUMENT_HEADER_SECOND_READ;  // 241
constexpr uint32_t SAMPLE_HEADER_MAX = 40;
constexpr uint32_t MAX_CHANNELS = 64;
constexpr uint32_t MAX_ROWS = 256;
constexpr uint32_t MAX_SAMPLES = 16;
constexpr uint32_t FILLER_ROWS = 64;
constexpr uint8_t PACKED_4BIT = 0xAD;        // the sample header's reserved byte for 4-bit deltas
constexpr uint32_t DELTA_TABLE_SIZE = 16;    // 4-bit packing: signed 8-bit deltas by nibble
constexpr uint32_t SPARE_VALUES = 3;         // data values kept behind every sample

uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A read the model is built from: all count bytes must arrive.
bool read_all(void* destination, uint32_t count) {
    return source_read(destination, int32_t(count)) == count;
}

// Whether the source still holds the bytes that must follow.
bool source_holds(uint64_t bytes) { return bytes <= source_bytes_left(); }

void reset_song_record() {
    song.pattern_table = nullptr;
    song.instrument_table = nullptr;
    song.voice_table = nullptr;
    song.channel_table = nullptr;
    song.tick_samples_left = 0;
    song.global_volume = 64;
    song.tick = 0;
    song.speed = 0;
    song.order = 0;
    song.row = 0;
    song.pattern_delay = 0;
    song.next_order.store(0, std::memory_order_relaxed);
    song.next_row.store(0, std::memory_order_relaxed);
    song.channel_count = 0;
    song.samples_per_tick = 0;
}

// E5y writes a sample's finetune, the shared empty sample's too: each song
// starts with it all zero again.
void reset_empty_sample() {
    int16_t* data = empty_sample.data;
    empty_sample = Sample{};
    empty_sample.data = data;
    memset(data, 0, SPARE_VALUES * sizeof(int16_t));
}

// The module header, decoded into the Song record. A module header
// shorter than 276 bytes may sit in a file of fewer than 336 bytes: then
// only the bytes up to the order entries that can play are needed, and the
// rest of the 336 reads as zero. Returns the file's pattern count, or -1.
int32_t read_module_header(uint32_t* header_size) {
    uint8_t header[MODULE_HEADER_READ] = {};
    const uint32_t got = source_read(header, int32_t(MODULE_HEADER_READ));
    *header_size = get32(header + 60);
    song.song_length = get16(header + 64);
    song.restart_position = get16(header + 66);
    song.file_channel_count = header[68];
    song.global_volume_slide = header[69];
    song.instrument_count = header[72];  // only the low byte counts
    song.song_flags = get16(header + 74);
    song.default_speed = get16(header + 76);
    song.default_bpm = get16(header + 78);
    memcpy(song.order_table, header + ORDER_TABLE_OFFSET, sizeof song.order_table);
    const uint16_t file_patterns = get16(header + 70);
    // the song must have patterns and a playable order list
    if (file_patterns == 0 || song.song_length == 0 || song.song_length > 256) return -1;
    if (got < ORDER_TABLE_OFFSET + song.song_length) return -1;
    return file_patterns;
}

// Voices, Channels, Pattern entries and Instruments in one block.
bool allocate_main_block(uint32_t channels) {
    const uint32_t instruments = song.instrument_count;
    const uint32_t size = uint32_t(2 * channels * sizeof(Voice) + channels * sizeof(Channel) +
                                   song.pattern_count * sizeof(Pattern) + instruments * sizeof(Instrument));
    uint8_t* block = static_cast<uint8_t*>(song_alloc(size));
    if (block == nullptr) return false;
    song.voice_table = reinterpret_cast<Voice*>(block);
    song.channel_table = reinterpret_cast<Channel*>(song.voice_table + 2 * channels);
    song.pattern_table = reinterpret_cast<Pattern*>(song.channel_table + channels);
    song.instrument_table = reinterpret_cast<Instrument*>(song.pattern_table + song.pattern_count);
    for (uint32_t c = 0; c < channels; ++c) {
        Voice* first = &song.voice_table[2 * c];
        first->step = uint64_t(1) << 32;  // 1.0 in 32.32
        song.channel_table[c].voice = first;
    }
    song.channel_count = int32_t(channels);
    return true;
}

// rows x channels packed Cells, one after another.
bool read_cells(Pattern& pattern, uint32_t channels) {
    const uint32_t cell_count = uint32_t(pattern.rows) * channels;
    if (!source_holds(cell_count)) return false;  // every packed cell is at least one byte
    Cell* cells = static_cast<Cell*>(song_alloc(cell_count * uint32_t(sizeof(Cell))));
    if (cells == nullptr) return false;
    pattern.cells = cells;
    const uint32_t instruments = song.instrument_count;
    for (uint32_t i = 0; i < cell_count; ++i) {
        uint8_t fields[5] = {};  // note, instrument, volume column, effect, param
        uint8_t first;
        if (!read_all(&first, 1)) return false;
        if (first & 0x80) {
            // bits 0-4 say which fields follow, in order; bits 5-6 are ignored
            for (int f = 0; f < 5; ++f)
                if (((first >> f) & 1) && !read_all(&fields[f], 1)) return false;
        } else {
            fields[0] = first;
            if (!read_all(fields + 1, 4)) return false;
        }
        if (fields[1] > instruments) fields[1] = 0;
        cells[i] = Cell{fields[0], fields[1], fields[2], fields[3], fields[4]};
    }
    return true;
}

// The patterns the file holds, each a 9-byte header (whatever its length
// field says) and, when its packed size is not 0, its cells.
bool read_patterns(uint32_t file_patterns, uint32_t channels) {
    for (uint32_t p = 0; p < file_patterns; ++p) {
        uint8_t header[PATTERN_HEADER_READ];
        if (!read_all(header, PATTERN_HEADER_READ)) return false;
        Pattern& pattern = song.pattern_table[p];
        pattern.rows = get16(header + 5);
        pattern.packed_size = get16(header + 7);
        if (pattern.packed_size == 0) continue;  // no cells; rows stay as read
        if (pattern.rows == 0 || pattern.rows > MAX_ROWS) return false;
        if (!read_cells(pattern, channels)) return false;
    }
    return true;
}

// The instrument header from the sample map to the fadeout.
void decode_instrument(Instrument& ins, const uint8_t* h) {
    memcpy(ins.sample_map, h, 96);
    for (int i = 0; i < ENVELOPE_POINTS; ++i) {
        ins.volume_points[i] = EnvelopePoint{get16(h + 96 + 4 * i), get16(h + 98 + 4 * i)};
        ins.panning_points[i] = EnvelopePoint{get16(h + 144 + 4 * i), get16(h + 146 + 4 * i)};
    }
    ins.volume_point_count = h[192];
    ins.panning_point_count = h[193];
    ins.volume_sustain = h[194];
    ins.volume_loop_start = h[195];
    ins.volume_loop_end = h[196];
    ins.panning_sustain = h[197];
    ins.panning_loop_start = h[198];
    ins.panning_loop_end = h[199];
    ins.volume_type = h[200];
    ins.panning_type = h[201];
    ins.vibrato_type = h[202];
    ins.vibrato_sweep = h[203];
    ins.vibrato_depth = h[204];
    ins.vibrato_rate = h[205];
    // settled once for playback
    ins.fadeout = uint16_t(2u * get16(h + 206));
    if (ins.volume_point_count < 2) ins.volume_type = 0;
    if (ins.panning_point_count < 2) ins.panning_type = 0;
}

// A Sample header from the sample header's bytes (unread ones 0).
Sample derive_sample(const uint8_t* w) {
    Sample s{};
    const uint8_t type = w[14];
    s.is_16bit = (type >> 4) & 1;
    uint32_t length = get32(w), loop_start = get32(w + 4), loop_length = get32(w + 8);
    if (s.is_16bit) {  // the file counts bytes, the model samples
        length >>= 1;
        loop_start >>= 1;
        loop_length >>= 1;
    }
    if (loop_start >= length) loop_start = length;
    if (loop_length > length - loop_start) loop_length = length - loop_start;
    s.loop_type = type & 3;
    if (s.loop_type == LOOP_NONE || loop_length == 0) {
        s.loop_type = LOOP_NONE;
        loop_start = 0;
        loop_length = length;
    }
    s.length = length;
    s.loop_start = loop_start;
    s.loop_length = loop_length;
    s.volume = w[12];
    s.finetune = int8_t(w[13]);
    s.panning = w[15];
    s.relative_note = int8_t(w[16]);
    s.packing = w[17];
    return s;
}

// Bytes of a Sample's data in the file.
uint64_t sample_data_bytes(const Sample& s) {
    if (s.packing == PACKED_4BIT) return DELTA_TABLE_SIZE + (uint64_t(s.length) + 1) / 2;
    return uint64_t(s.length) * (s.is_16bit ? 2 : 1);
}

// 8-bit value b as a 16-bit one: b in the high byte, low byte 0.
int16_t widen(uint8_t b) { return int16_t(uint16_t(b << 8)); }

// Reads and prepares one Sample's data in place in its block.
bool read_sample_data(Sample& s) {
    int16_t* data = s.data;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(data);
    const uint32_t length = s.length;
    if (s.packing == PACKED_4BIT) {
        // The packed bytes go to the upper part of the area and are decoded
        // forwards: each byte is read before the four it yields reach it.
        int8_t deltas[DELTA_TABLE_SIZE];
        if (!read_all(deltas, DELTA_TABLE_SIZE)) return false;
        const uint32_t packed = (length + 1) / 2;
        const uint8_t* in = bytes + 3 * packed;
        if (!read_all(bytes + 3 * packed, packed)) return false;
        uint8_t value = 0;  // 8-bit accumulator, wraps
        for (uint32_t j = 0; j < packed; ++j) {
            const uint8_t b = in[j];
            value = uint8_t(value + deltas[b & 15]);
            data[2 * j] = widen(value);
            value = uint8_t(value + deltas[b >> 4]);
            data[2 * j + 1] = widen(value);
        }
    } else {
        if (s.is_16bit) {
            if (!read_all(bytes, 2 * length)) return false;
            for (uint32_t i = 0; i < length; ++i)
                data[i] = int16_t(uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8));
        } else {
            // widened from the last value backwards, so nothing is
            // overwritten before it is read
            if (!read_all(bytes, length)) return false;
            for (uint32_t i = length; i-- > 0;) data[i] = widen(bytes[i]);
        }
        uint16_t sum = 0;  // 16-bit delta accumulator, wraps
        for (uint32_t i = 0; i < length; ++i) {
            sum = uint16_t(sum + uint16_t(data[i]));
            data[i] = int16_t(sum);
        }
    }
    // The value the mixer's interpolation meets at the loop end.
    if (length != 0) {
        const uint32_t end = s.loop_start + s.loop_length;
        if (s.loop_type == LOOP_FORWARD) data[end] = data[s.loop_start];
        else if (s.loop_type == LOOP_PINGPONG) data[end] = data[end - 1];
    }
    return true;
}

// An instrument's sample headers, then their data.
bool read_samples(Instrument& ins, uint32_t count, uint32_t header_size) {
    uint64_t data_bytes = 0;  // data of the samples allocated so far
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t w[SAMPLE_HEADER_MAX] = {};
        if (!read_all(w, header_size)) return false;
        const Sample header = derive_sample(w);
        if (header.length >= MAX_SAMPLE_LENGTH) return false;
        data_bytes += sample_data_bytes(header);
        if (!source_holds(uint64_t(count - 1 - i) * header_size + data_bytes)) return false;
        const uint32_t size = uint32_t(sizeof(Sample) + (header.length + SPARE_VALUES) * sizeof(int16_t));
        Sample* sample = static_cast<Sample*>(song_alloc(size));
        if (sample == nullptr) return false;
        *sample = header;
        sample->data = reinterpret_cast<int16_t*>(sample + 1);
        ins.samples[i] = sample;
    }
    for (uint32_t i = 0; i < count; ++i)
        if (!read_sample_data(*ins.samples[i])) return false;
    return true;
}

// The instruments, in file order.
bool read_instruments() {
    const uint32_t instrument_count = song.instrument_count;
    for (uint32_t index = 0; index < instrument_count; ++index) {
        Instrument& ins = song.instrument_table[index];
        uint8_t head[INSTRUMENT_HEADER_READ] = {};
        const uint32_t got = source_read(head, int32_t(INSTRUMENT_HEADER_READ));
        const uint32_t header_size = get32(head);
        const uint32_t count = head[27];
        const uint32_t sample_header_size = get32(head + 29);
        // The last 4 bytes (the sample header size) matter only with samples:
        // the last instrument, when it has none, may end the file after 29.
        const bool last = index + 1 == instrument_count;
        if (got < (count == 0 && last ? INSTRUMENT_HEADER_SHORTEST : INSTRUMENT_HEADER_READ)) return false;
        if (count != 0) {
            if (count > MAX_SAMPLES || sample_header_size > SAMPLE_HEADER_MAX) return false;
            uint8_t rest[INSTRUMENT_HEADER_SECOND_READ];
            if (!read_all(rest, INSTRUMENT_HEADER_SECOND_READ)) return false;
            decode_instrument(ins, rest);
        }
        const uint32_t header_read = count != 0 ? INSTRUMENT_HEADER_FULL : INSTRUMENT_HEADER_READ;
        // skip the header's unread tail; a shorter header seeks back. Only the
        // last instrument, without samples, may lack its tail: anything else
        // would be read from inside the skipped bytes.
        const bool skipped = source_seek(int32_t(header_size - header_read), false);
        if (count == 0 && last) break;
        if (!skipped) return false;
        if (count == 0) continue;
        if (!read_samples(ins, count, sample_header_size)) return false;
    }
    return true;
}

}  // namespace

int song_load() {
    reset_empty_sample();
    reset_song_record();
    source_open();

    uint32_t header_size = 0;
    const int32_t file_patterns = read_module_header(&header_size);
    if (file_patterns < 0) return 0;
    // where the first pattern header is; if the source refuses it, reading goes
    // on where the header read left off
    source_seek(int32_t(HEADER_SIZE_BASE + header_size), true);

    // every order position that can play names a Pattern entry
    int32_t highest = 0;
    for (uint32_t i = 0; i < song.song_length; ++i)
        if (song.order_table[i] > highest) highest = song.order_table[i];
    song.pattern_count = uint16_t(highest + 1 > file_patterns ? highest + 1 : file_patterns);

    const uint32_t channels = song.file_channel_count;
    if (channels == 0 || channels > MAX_CHANNELS) return 0;
    if (!source_holds(uint64_t(file_patterns) * PATTERN_HEADER_READ)) return 0;

    if (!allocate_main_block(channels)) return 0;
    set_tempo(song.default_bpm);
    song.global_volume = 64;
    song.speed = song.default_speed;

    if (!read_patterns(uint32_t(file_patterns), channels)) return 0;
    // filler patterns for ordered numbers the file does not hold,
    // highest number first
    for (int32_t p = highest; p >= file_patterns; --p) {
        Pattern& pattern = song.pattern_table[p];
        pattern.rows = FILLER_ROWS;
        pattern.packed_size = 0;
        pattern.cells = static_cast<Cell*>(song_alloc(FILLER_ROWS * channels * uint32_t(sizeof(Cell))));
        if (pattern.cells == nullptr) return 0;
    }

    // the clock starts at order 0, row 0 on the first tick
    song.tick_samples_left = 0;
    song.tick = 0;
    song.pattern_delay = 0;
    song.next_order.store(0, std::memory_order_relaxed);
    song.next_row.store(0, std::memory_order_relaxed);

    if (song.instrument_count == 0) return 1;
    return read_instruments() ? 1 : 0;
}
