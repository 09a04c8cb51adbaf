// libFuzzer entry: every input is played as a memory module (module_harness).
#include <stddef.h>
#include <stdint.h>

#include "fuzz/module_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    play_module_bytes(data, size);
    return 0;
}
