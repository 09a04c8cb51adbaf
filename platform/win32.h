// The one switch between the real Win32 headers and our own layer.
//
// Platform-facing code (the module sources, the player's device and thread
// code, the viewer) includes this header and nothing else of the platform.
// On Windows it yields <windows.h> and <mmsystem.h>; on every other host it
// yields our declarations of the same names, implemented in platform/posix
// (heaps, files, resources, threads) and platform/sdl (windows, drawing,
// timers, wave-out audio).
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#else
#include "platform/layer/types.h"
#include "platform/layer/kernel.h"
#include "platform/layer/winmm.h"
#include "platform/layer/user.h"
#endif
