// The module source kinds that call the platform: the resource kind (an
// RT_RCDATA resource of an executable module) and the file kind (a path,
// read through an 8192-byte cache that borrows the MixBuffer's storage).
#include "platform/win32.h"
#include "song/module_source.h"

#include <string.h>

namespace {

constexpr uint32_t NO_WINDOW = 1;  // source_base value: the cache holds no window

// Reads count bytes at a file offset straight into destination. Returns the
// bytes delivered: 0 when the position cannot be set, fewer than count at
// the end of the file. Undelivered bytes keep what they held.
uint32_t file_read_at(uint32_t offset, uint32_t count, void* destination) {
    HANDLE file = static_cast<HANDLE>(module_source.file_handle);
    LONG high = 0;  // offsets are 32-bit unsigned; the high part keeps them positive
    if (SetFilePointer(file, LONG(offset), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return 0;
    DWORD delivered = 0;
    if (!ReadFile(file, destination, count, &delivered, nullptr)) return 0;
    return delivered;
}

}  // namespace

// Resource open: find the RT_RCDATA resource named by player_start's module
// argument in the module handle it gave; its size becomes source_size and
// its bytes the image. The resource is neither locked nor freed: a loaded
// resource's handle is the address of its bytes. A resource that cannot be
// found gives size 0, so every read copies nothing.
uint32_t resource_open(void*, int32_t) {
    ModuleSource& s = module_source;
    HMODULE handle = reinterpret_cast<HMODULE>(s.module_handle);
    HRSRC found = FindResourceA(handle, static_cast<LPCSTR>(s.module), RT_RCDATA);
    s.source_size = found ? SizeofResource(handle, found) : 0;
    HGLOBAL loaded = found ? LoadResource(handle, found) : nullptr;
    if (loaded == nullptr) s.source_size = 0;
    s.source_end = s.source_size;
    s.source_base = reinterpret_cast<uintptr_t>(loaded);
    s.read_position = 0;
    return 0;
}

// File open: a file that cannot be opened leaves the invalid handle, which
// makes every later read deliver nothing. source_size is all ones, so seeks
// are refused only below 0; the file's size is looked up once, for
// source_bytes_left.
uint32_t file_open(void*, int32_t) {
    ModuleSource& s = module_source;
    HANDLE file = CreateFileA(static_cast<LPCSTR>(s.module), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    s.file_handle = file;
    s.source_size = 0xFFFFFFFFu;
    s.source_base = NO_WINDOW;
    s.cache_valid = 0;
    s.source_end = 0;
    if (file != INVALID_HANDLE_VALUE) {
        LONG high = 0;
        const DWORD low = SetFilePointer(file, 0, &high, FILE_END);
        if (low != INVALID_SET_FILE_POINTER) s.source_end = high != 0 ? 0xFFFFFFFFu : low;
    }
    return 0;
}

uint32_t file_close(void*, int32_t) {
    ModuleSource& s = module_source;
    if (s.file_handle != nullptr && s.file_handle != INVALID_HANDLE_VALUE) CloseHandle(s.file_handle);
    s.file_handle = nullptr;
    return 0;
}

// Cached file read: the head of a read comes from the current 8192-byte
// window, its aligned middle straight from the file, and its tail from a
// freshly filled window. A read that ends on a multiple of 8192 still fills
// the following window. Returns the bytes the file delivered.
uint32_t file_read(void* destination, int32_t count) {
    ModuleSource& s = module_source;
    uint8_t* out = static_cast<uint8_t*>(destination);
    uint32_t delivered = 0;
    // Positions are 32-bit: a read never runs past the last one.
    if (count > 0 && uint64_t(s.read_position) + uint64_t(count) > 0xFFFFFFFFu)
        count = int32_t(0xFFFFFFFFu - s.read_position);
    while (count > 0) {
        // 1. the part that lies in the window
        if (s.source_base <= s.read_position && s.read_position < uint64_t(s.source_base) + MODULE_CACHE_SIZE) {
            const uint32_t offset = s.read_position - uint32_t(s.source_base);
            const uint32_t k = uint32_t(count) < MODULE_CACHE_SIZE - offset ? uint32_t(count)
                                                                            : MODULE_CACHE_SIZE - offset;
            memcpy(out, s.cache + offset, k);
            if (offset < s.cache_valid) delivered += (s.cache_valid - offset < k ? s.cache_valid - offset : k);
            s.read_position += k;
            out += k;
            count -= int32_t(k);
            if (count == 0) break;
        }
        // 2. the aligned middle, straight from the file
        const uint32_t end = (s.read_position + uint32_t(count)) & ~(MODULE_CACHE_SIZE - 1);
        if (end > s.read_position) {
            const uint32_t n = end - s.read_position;
            delivered += file_read_at(s.read_position, n, out);
            out += n;
            count -= int32_t(n);
            s.read_position = end;
        }
        // 3. a fresh window at the position (also when the read is over)
        s.source_base = s.read_position & ~(MODULE_CACHE_SIZE - 1);
        s.cache_valid = file_read_at(uint32_t(s.source_base), MODULE_CACHE_SIZE, s.cache);
    }
    return delivered;
}
