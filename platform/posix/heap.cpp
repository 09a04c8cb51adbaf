// Private heaps over the C allocator: HeapCreate, HeapAlloc, HeapDestroy.
//
// A heap keeps every block it handed out on a list, so HeapDestroy frees
// them all at once; there is no HeapFree (nothing in the program frees a
// block by itself). A nonzero maximum size makes the heap fixed: its blocks
// may total at most that many bytes, and HeapAlloc returns null beyond.
// Access is serialized by a lock unless the heap or the call says
// HEAP_NO_SERIALIZE (the caller then guarantees one thread at a time).
#include <mutex>
#include <new>
#include <stdlib.h>
#include <string.h>

#include "platform/layer/kernel.h"

namespace {

struct HeapBlock {
    HeapBlock* next;
    // the caller's bytes follow, aligned for any type
    alignas(alignof(max_align_t)) unsigned char bytes[1];
};

constexpr size_t BLOCK_OVERHEAD = offsetof(HeapBlock, bytes);

struct Heap {
    uint32_t magic;          // HEAP_MAGIC while the heap lives
    DWORD options;           // HeapCreate's flOptions
    SIZE_T maximum;          // 0 = growable, else the most bytes the blocks may total
    SIZE_T used;             // bytes handed out so far
    HeapBlock* blocks;       // newest first
    std::mutex lock;
};

constexpr uint32_t HEAP_MAGIC = 0x50414548;  // "HEAP"

Heap* heap_of(HANDLE handle) {
    Heap* heap = static_cast<Heap*>(handle);
    return heap != nullptr && heap->magic == HEAP_MAGIC ? heap : nullptr;
}

LPVOID allocate(Heap* heap, DWORD flags, SIZE_T size) {
    if (heap->maximum != 0 && (size > heap->maximum || heap->used > heap->maximum - size)) return nullptr;
    if (size > SIZE_MAX - BLOCK_OVERHEAD) return nullptr;
    const size_t total = BLOCK_OVERHEAD + (size == 0 ? 1 : size);
    HeapBlock* block = static_cast<HeapBlock*>((flags & HEAP_ZERO_MEMORY) ? calloc(1, total) : malloc(total));
    if (block == nullptr) return nullptr;
    block->next = heap->blocks;
    heap->blocks = block;
    heap->used += size;
    return block->bytes;
}

}  // namespace

HANDLE WINAPI HeapCreate(DWORD flOptions, SIZE_T /*dwInitialSize*/, SIZE_T dwMaximumSize) {
    Heap* heap = new (std::nothrow) Heap();
    if (heap == nullptr) return nullptr;
    heap->magic = HEAP_MAGIC;
    heap->options = flOptions;
    heap->maximum = dwMaximumSize;
    return heap;
}

LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    Heap* heap = heap_of(hHeap);
    if (heap == nullptr) return nullptr;
    if ((dwFlags | heap->options) & HEAP_NO_SERIALIZE) return allocate(heap, dwFlags, dwBytes);
    std::lock_guard<std::mutex> guard(heap->lock);
    return allocate(heap, dwFlags, dwBytes);
}

BOOL WINAPI HeapDestroy(HANDLE hHeap) {
    Heap* heap = heap_of(hHeap);
    if (heap == nullptr) return FALSE;
    for (HeapBlock* block = heap->blocks; block != nullptr;) {
        HeapBlock* next = block->next;
        free(block);
        block = next;
    }
    heap->magic = 0;
    delete heap;
    return TRUE;
}
