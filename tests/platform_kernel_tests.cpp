// Our Win32 layer's kernel services on POSIX: private heaps, files and the
// program's linked resources, as the program's callers use them.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/win32.h"

TEST(Heap, ZeroedAlignedBlocksUntilDestroyed) {
    HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, 0, 0);
    ASSERT_NE(heap, nullptr);
    for (SIZE_T size : {SIZE_T(0), SIZE_T(1), SIZE_T(40), SIZE_T(100000)}) {
        uint8_t* block = static_cast<uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, size));
        ASSERT_NE(block, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(max_align_t), 0u);
        for (SIZE_T i = 0; i < size; ++i) ASSERT_EQ(block[i], 0) << size;
        memset(block, 0x5A, size);
    }
    // thousands of blocks go at once (the sanitizers check that none leaks)
    for (int i = 0; i < 5000; ++i) ASSERT_NE(HeapAlloc(heap, HEAP_ZERO_MEMORY | HEAP_NO_SERIALIZE, 64), nullptr);
    EXPECT_TRUE(HeapDestroy(heap));
    EXPECT_EQ(HeapAlloc(nullptr, HEAP_ZERO_MEMORY, 8), nullptr);
    EXPECT_FALSE(HeapDestroy(nullptr));
}

// A heap with a maximum size hands out at most that many bytes in all.
TEST(Heap, MaximumSizeLimitsTheTotal) {
    HANDLE heap = HeapCreate(0, 0, 1000);
    EXPECT_NE(HeapAlloc(heap, HEAP_ZERO_MEMORY, 600), nullptr);
    EXPECT_EQ(HeapAlloc(heap, HEAP_ZERO_MEMORY, 401), nullptr);
    EXPECT_NE(HeapAlloc(heap, HEAP_ZERO_MEMORY, 400), nullptr);
    EXPECT_EQ(HeapAlloc(heap, HEAP_ZERO_MEMORY, 1), nullptr);
    EXPECT_EQ(HeapAlloc(heap, HEAP_ZERO_MEMORY, SIZE_MAX), nullptr);
    HeapDestroy(heap);
    HANDLE growable = HeapCreate(0, 0, 0);
    EXPECT_EQ(HeapAlloc(growable, HEAP_ZERO_MEMORY, SIZE_MAX), nullptr);
    HeapDestroy(growable);
}

namespace {

std::string temp_file_with(const char* text) {
    char name[] = "/tmp/orna_kernel_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return {};
    const ssize_t n = write(fd, text, strlen(text));
    close(fd);
    return n == ssize_t(strlen(text)) ? name : "";
}

HANDLE open_for_reading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TEST(Files, ReadSeekAndClose) {
    const std::string path = temp_file_with("0123456789");
    ASSERT_FALSE(path.empty());
    HANDLE file = open_for_reading(path.c_str());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char out[16] = {};
    DWORD got = 99;
    EXPECT_TRUE(ReadFile(file, out, 4, &got, nullptr));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(memcmp(out, "0123", 4), 0);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), 10u);
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_END), 10u);
    EXPECT_EQ(high, 0);
    EXPECT_EQ(SetFilePointer(file, 7, nullptr, FILE_BEGIN), 7u);
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_CURRENT), 6u);
    // a position before the start fails and leaves the pointer
    EXPECT_EQ(SetFilePointer(file, -7, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_TRUE(ReadFile(file, out, 16, &got, nullptr));  // the end gives what is left
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(memcmp(out, "6789", 4), 0);
    EXPECT_TRUE(ReadFile(file, out, 16, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(SetFilePointer(file, 100, nullptr, FILE_BEGIN), 100u);  // past the end is allowed
    EXPECT_TRUE(ReadFile(file, out, 16, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(CloseHandle(file));
    unlink(path.c_str());
}

TEST(Files, WhatCannotBeOpenedGivesTheInvalidHandle) {
    EXPECT_EQ(open_for_reading("/nonexistent/orna/file"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_for_reading("/tmp"), INVALID_HANDLE_VALUE);  // a directory
    EXPECT_EQ(open_for_reading(nullptr), INVALID_HANDLE_VALUE);
    DWORD got = 5;
    char out[4];
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, out, 4, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(SetFilePointer(INVALID_HANDLE_VALUE, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(CloseHandle(nullptr));
}

// Resources are found by type and by integer id or name (without case, or
// "#id"); a loaded resource is the address of its bytes.
TEST(Resources, FindSizeLoad) {
    static const uint8_t first[] = {1, 2, 3};
    static const uint8_t second[] = {4, 5};
    static const uint8_t shadow[] = {9};
    ASSERT_TRUE(layer_add_resource(RT_RCDATA, MAKEINTRESOURCEA(4101), first, sizeof first));
    ASSERT_TRUE(layer_add_resource(RT_RCDATA, "Skin", second, sizeof second));
    ASSERT_TRUE(layer_add_resource(RT_BITMAP, MAKEINTRESOURCEA(4101), shadow, sizeof shadow));
    HMODULE program = GetModuleHandleA(nullptr);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);

    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(4101), RT_RCDATA);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(program, found), 3u);
    HGLOBAL loaded = LoadResource(program, found);
    EXPECT_EQ(loaded, static_cast<const void*>(first));
    EXPECT_EQ(LockResource(loaded), static_cast<const void*>(first));
    FreeResource(loaded);
    EXPECT_EQ(FindResourceA(nullptr, "#4101", RT_RCDATA), found);
    EXPECT_EQ(SizeofResource(nullptr, FindResourceA(nullptr, MAKEINTRESOURCEA(4101), RT_BITMAP)), 1u);
    EXPECT_EQ(SizeofResource(nullptr, FindResourceA(nullptr, "SKIN", RT_RCDATA)), 2u);

    // the latest entry of a type and name wins
    ASSERT_TRUE(layer_add_resource(RT_RCDATA, "skin", shadow, sizeof shadow));
    EXPECT_EQ(LoadResource(nullptr, FindResourceA(nullptr, "Skin", RT_RCDATA)), static_cast<const void*>(shadow));

    EXPECT_EQ(FindResourceA(program, MAKEINTRESOURCEA(4102), RT_RCDATA), nullptr);
    EXPECT_EQ(FindResourceA(program, "Skin", RT_BITMAP), nullptr);
    EXPECT_EQ(FindResourceA(reinterpret_cast<HMODULE>(&found), MAKEINTRESOURCEA(4101), RT_RCDATA), nullptr);
    EXPECT_EQ(SizeofResource(program, nullptr), 0u);
    EXPECT_EQ(LoadResource(program, nullptr), nullptr);
}
