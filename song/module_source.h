// Module sources: where song_load reads a module from. Three kinds, one
// read position, and a common seek:
//   memory   - a byte buffer (module = its address, second = its size)
//   resource - an RT_RCDATA resource (module = name or id, second = module handle)
//   file     - a path (module = zero-terminated path), read through an
//              8192-byte cache that borrows the MixBuffer's storage.
//
// The three {open, read, close} triples lie in one table of eight entries
// and overlap (see module_source.cpp). player_start selects a triple and sets
// the state; song_load opens, reads and seeks; player_start closes.
#pragma once

#include <stdint.h>

constexpr uint32_t MODULE_CACHE_SIZE = 8192;

enum SourceKind : uint8_t {
    SOURCE_RESOURCE = 0,
    SOURCE_MEMORY = 1,
    SOURCE_FILE = 2,
};

struct ModuleSource {
    uint32_t source_size;      // bytes in the source; file kind: all ones (never looked up)
    uint32_t read_position;    // offset of the next read
    uintptr_t source_base;     // memory/resource: address of byte 0;
                               // file: offset of the cache window (multiple of 8192), 1 = none
    void* file_handle;         // file kind: the open file
    const void* module;        // player_start's module argument (address, name/id or path)
    uint8_t* cache;            // MODULE_CACHE_SIZE bytes borrowed from the MixBuffer
    uint32_t cache_valid;      // bytes of the cache window the file actually holds
    // The selected triple. read returns the bytes it delivered (the loader
    // fails a load on a short read where it needs the bytes).
    void (*open)();
    uint32_t (*read)(void* destination, int32_t count);
    void (*close)();
};

extern ModuleSource module_source;

// Selects the operations for a kind and sets the state as player_start does:
// read_position 0, source_size = second, source_base = module.
void source_select(SourceKind kind, const void* module, uintptr_t second, uint8_t* cache);

inline void source_open() { module_source.open(); }
inline uint32_t source_read(void* destination, int32_t count) {
    return module_source.read(destination, count);
}
inline void source_close() { module_source.close(); }

// Moves the read position: to distance when absolute, else by distance.
// A target below 0 (signed) or above source_size (unsigned) is refused.
void source_seek(int32_t distance, bool absolute);
