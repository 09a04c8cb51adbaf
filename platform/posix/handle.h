// The kernel objects behind our layer's HANDLEs on POSIX hosts.
//
// Every object that CloseHandle may receive (an open file, a thread) begins
// with a LayerHandle: a kind tag that the operations check before they trust
// the rest of the object, and the routine that releases it. CloseHandle
// (handles.cpp) calls that routine; each kind lives in its own file.
#pragma once

#include <stdint.h>

enum LayerHandleKind : uint32_t {
    LAYER_HANDLE_FILE = 0x454C4946,    // "FILE"
    LAYER_HANDLE_THREAD = 0x44524854,  // "THRD"
};

struct LayerHandle {
    uint32_t kind;                      // LayerHandleKind
    void (*close)(LayerHandle* object); // releases the object (and frees it)
};

// The object behind a handle if it is of that kind, else null.
LayerHandle* layer_handle_of(void* handle, LayerHandleKind kind);
