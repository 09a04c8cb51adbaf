// The module source's common part: the operation table, selection, the
// memory read shared by the memory and resource kinds, and the seek.
// Plain computation over the source state; the file and resource kinds,
// which call the platform, are in module_source_platform.cpp.
#include "song/module_source.h"

#include <string.h>

ModuleSource module_source;

namespace {

uint32_t no_operation(void*, int32_t) { return 0; }

// Memory read, for the memory and resource kinds: copies what the image
// still holds and advances read_position by the full count, so a read past
// the end leaves read_position beyond source_size and later reads copy
// nothing. Returns the bytes copied.
uint32_t memory_read(void* destination, int32_t count) {
    ModuleSource& s = module_source;
    const int64_t position = s.read_position;
    const int64_t n = position + count < int64_t(s.source_size) ? count : int64_t(s.source_size) - position;
    if (n <= 0) return 0;
    memcpy(destination, reinterpret_cast<const uint8_t*>(s.source_base) + position, size_t(n));
    s.read_position += uint32_t(count);
    return uint32_t(n);
}

// The three {open, read, close} triples overlap in one table of eight
// entries: resource = 0..2, memory = 2..4, file = 5..7.
const SourceOperation operation_table[8] = {
    resource_open,  // 0: resource kind 0..2
    memory_read,    // 1
    no_operation,   // 2: memory kind 2..4
    memory_read,    // 3
    no_operation,   // 4
    file_open,      // 5: file kind 5..7
    file_read,      // 6
    file_close,     // 7
};

constexpr int triple_start[3] = {0, 2, 5};  // by SourceKind

}  // namespace

SourceKind source_kind_for_flags(uint32_t flags) {
    if (flags & 1) return SOURCE_MEMORY;
    if (flags & 2) return SOURCE_FILE;
    return SOURCE_RESOURCE;
}

void source_select(SourceKind kind, const void* module, uintptr_t second, uint8_t* cache) {
    ModuleSource& s = module_source;
    const int first = triple_start[kind <= SOURCE_FILE ? kind : SOURCE_MEMORY];
    s.open = operation_table[first];
    s.read = operation_table[first + 1];
    s.close = operation_table[first + 2];
    s.source_size = uint32_t(second);
    s.source_end = uint32_t(second);
    s.module_handle = second;
    s.read_position = 0;
    s.source_base = reinterpret_cast<uintptr_t>(module);
    s.module = module;
    s.file_handle = nullptr;
    s.cache = cache;
    s.cache_valid = 0;
}

bool source_seek(int32_t distance, bool absolute) {
    ModuleSource& s = module_source;
    // 32-bit arithmetic as the position has: a target that is negative as a
    // signed value, or beyond source_size, is refused.
    const uint32_t target = absolute ? uint32_t(distance) : s.read_position + uint32_t(distance);
    if (int32_t(target) < 0 || target > s.source_size) return false;
    s.read_position = target;
    return true;
}

uint32_t source_bytes_left() {
    const ModuleSource& s = module_source;
    return s.read_position < s.source_end ? s.source_end - s.read_position : 0;
}
