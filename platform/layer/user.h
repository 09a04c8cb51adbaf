// Windows, messages and drawing of our Win32 layer (user32 and gdi32 names),
// implemented over SDL2 in platform/sdl.
#pragma once

#include "platform/layer/types.h"
