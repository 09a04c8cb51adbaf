// CloseHandle: one entry point for every kind of kernel object our layer
// hands out (see handle.h).
#include "platform/posix/handle.h"

#include "platform/layer/kernel.h"

LayerHandle* layer_handle_of(void* handle, LayerHandleKind kind) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    LayerHandle* object = static_cast<LayerHandle*>(handle);
    return object->kind == kind ? object : nullptr;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (hObject == nullptr || hObject == INVALID_HANDLE_VALUE) return FALSE;
    LayerHandle* object = static_cast<LayerHandle*>(hObject);
    if (object->kind != LAYER_HANDLE_FILE && object->kind != LAYER_HANDLE_THREAD) return FALSE;
    object->close(object);
    return TRUE;
}
