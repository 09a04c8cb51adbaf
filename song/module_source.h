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
// Everything runs on the thread that loads; nothing here is locked.
#pragma once

#include <stdint.h>

constexpr uint32_t MODULE_CACHE_SIZE = 8192;

enum SourceKind : uint8_t {
    SOURCE_RESOURCE = 0,
    SOURCE_MEMORY = 1,
    SOURCE_FILE = 2,
};

// Every entry of the operation table has the read's shape, so the kinds'
// triples can overlap in one table: open and close ignore their arguments
// and return 0; read returns the bytes it delivered.
typedef uint32_t (*SourceOperation)(void* destination, int32_t count);

struct ModuleSource {
    uint32_t source_size;      // bytes in the source; file kind: all ones (never looked up)
    uint32_t read_position;    // offset of the next read; may run past source_size
    uintptr_t source_base;     // memory/resource: address of byte 0;
                               // file: offset of the cache window (multiple of 8192), 1 = none
    uintptr_t module_handle;   // resource kind: player_start's second argument, the module handle
    uint32_t source_end;       // bytes the source really holds (the file's size, found at open)
    void* file_handle;         // file kind: the open file (kept apart from stop_requested)
    const void* module;        // player_start's module argument (address, name/id or path)
    uint8_t* cache;            // MODULE_CACHE_SIZE bytes borrowed from the MixBuffer
    uint32_t cache_valid;      // bytes of the cache window the file actually delivered
    // The selected triple. read returns the bytes it delivered (the loader
    // fails a load on a short read where it needs the bytes).
    SourceOperation open;
    SourceOperation read;
    SourceOperation close;
};

extern ModuleSource module_source;

// Selects the operations for a kind and sets the state as player_start does:
// read_position 0, source_size = second, source_base = module. cache is the
// file kind's 8192-byte cache (player_start passes the MixBuffer); the other
// kinds ignore it.
void source_select(SourceKind kind, const void* module, uintptr_t second, uint8_t* cache);

// The kind player_start selects for its flags: PLAY_FROM_MEMORY (1) first,
// then PLAY_FROM_FILE (2), else the resource kind.
SourceKind source_kind_for_flags(uint32_t flags);

inline void source_open() { module_source.open(nullptr, 0); }
inline uint32_t source_read(void* destination, int32_t count) {
    return module_source.read(destination, count);
}
inline void source_close() { module_source.close(nullptr, 0); }

// Moves the read position: to distance when absolute, else by distance.
// A target below 0 (signed) or above source_size (unsigned) is refused.
// The file cache window is not touched. Returns whether the seek was taken.
bool source_seek(int32_t distance, bool absolute);

// Bytes the source still holds from read_position on (0 past the end).
// The loader asks before it allocates room for data that must follow.
uint32_t source_bytes_left();

// The operations of each kind; defined in module_source_platform.cpp
// (file and resource kinds, which call the platform) and module_source.cpp.
uint32_t resource_open(void*, int32_t);
uint32_t file_open(void*, int32_t);
uint32_t file_read(void* destination, int32_t count);
uint32_t file_close(void*, int32_t);
