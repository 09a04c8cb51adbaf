// The program's entry point on hosts without Win32: checks that there is a
// screen, registers the resources linked into the program (see
// embed_resources.cmake), then calls WinMain as the system would and exits
// with its result.
#include <stdint.h>
#include <stdio.h>

#include "platform/sdl/layer_internal.h"

// One linked resource: its bytes are at layer_resource_blob + offset.
struct EmbeddedResource {
    uint32_t type;  // RT_BITMAP, RT_RCDATA, RT_GROUP_ICON, ...
    uint32_t id;
    uint32_t offset;
    uint32_t size;
};

extern "C" const unsigned char layer_resource_blob[];
extern "C" const EmbeddedResource layer_embedded_resources[];
extern "C" const uint32_t layer_embedded_resource_count;

int main()
{
    // Without a screen the program could only run unseen: say so and stop.
    const char* why = "";
    if (!layer::host_display_available(&why)) {
        fprintf(stderr, "orna-viewer: no display to open the window on (%s)\n", why);
        return 1;
    }
    for (uint32_t i = 0; i < layer_embedded_resource_count; i++) {
        const EmbeddedResource& r = layer_embedded_resources[i];
        layer_add_resource(MAKEINTRESOURCEA(r.type), MAKEINTRESOURCEA(r.id), layer_resource_blob + r.offset, r.size);
    }
    char command_line[] = "";
    return WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWNORMAL);
}
