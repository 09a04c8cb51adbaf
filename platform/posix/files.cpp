// Files over POSIX: CreateFileA (open an existing file for reading),
// SetFilePointer, ReadFile. A file handle is a LayerHandle (handle.h) with
// the file descriptor; CloseHandle closes it.
#include <errno.h>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/layer/kernel.h"
#include "platform/posix/handle.h"

namespace {

struct LayerFile {
    LayerHandle header;  // kind LAYER_HANDLE_FILE
    int descriptor;
};

void close_file(LayerHandle* object) {
    LayerFile* file = reinterpret_cast<LayerFile*>(object);
    close(file->descriptor);
    file->header.kind = 0;
    delete file;
}

LayerFile* file_of(HANDLE handle) {
    return reinterpret_cast<LayerFile*>(layer_handle_of(handle, LAYER_HANDLE_FILE));
}

}  // namespace

// Opens lpFileName for reading. Only what the program asks for is provided:
// GENERIC_READ with OPEN_EXISTING on a regular file; anything else, or a
// file that cannot be opened, gives INVALID_HANDLE_VALUE.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/) {
    if (lpFileName == nullptr || dwDesiredAccess != GENERIC_READ || dwCreationDisposition != OPEN_EXISTING)
        return INVALID_HANDLE_VALUE;
    const int descriptor = open(lpFileName, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return INVALID_HANDLE_VALUE;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return INVALID_HANDLE_VALUE;
    }
    LayerFile* file = new (std::nothrow) LayerFile{{LAYER_HANDLE_FILE, close_file}, descriptor};
    if (file == nullptr) {
        close(descriptor);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

// Moves the file pointer. Without lpDistanceToMoveHigh the distance is a
// signed 32-bit value; with it, the two parts form a signed 64-bit one and
// the high part of the new position is stored back. A position before the
// start fails with INVALID_SET_FILE_POINTER and leaves the pointer.
DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
    LayerFile* file = file_of(hFile);
    if (file == nullptr) return INVALID_SET_FILE_POINTER;
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr)
        distance = int64_t(uint64_t(uint32_t(*lpDistanceToMoveHigh)) << 32 | uint32_t(lDistanceToMove));
    int whence;
    switch (dwMoveMethod) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: return INVALID_SET_FILE_POINTER;
    }
    const off_t position = lseek(file->descriptor, off_t(distance), whence);
    if (position < 0) return INVALID_SET_FILE_POINTER;
    if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = LONG(uint64_t(position) >> 32);
    else if (uint64_t(position) > 0xFFFFFFFFu) return INVALID_SET_FILE_POINTER;
    return DWORD(uint64_t(position));
}

// Reads up to nNumberOfBytesToRead bytes at the file pointer. At the end of
// the file it succeeds with fewer bytes (0 once nothing is left).
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED /*lpOverlapped*/) {
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    LayerFile* file = file_of(hFile);
    if (file == nullptr || (lpBuffer == nullptr && nNumberOfBytesToRead != 0)) return FALSE;
    char* out = static_cast<char*>(lpBuffer);
    DWORD total = 0;
    while (total < nNumberOfBytesToRead) {
        const ssize_t n = read(file->descriptor, out + total, nNumberOfBytesToRead - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = total;
            return FALSE;
        }
        if (n == 0) break;
        total += DWORD(n);
    }
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = total;
    return TRUE;
}
