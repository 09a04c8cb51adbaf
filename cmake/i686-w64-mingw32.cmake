# Cross build for 32-bit Windows with Debian's mingw-w64 (win32 thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORNA_MINGW_PREFIX i686-w64-mingw32)

set(CMAKE_C_COMPILER ${ORNA_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${ORNA_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${ORNA_MINGW_PREFIX}-windres)
set(CMAKE_ASM_COMPILER ${ORNA_MINGW_PREFIX}-gcc)

set(CMAKE_FIND_ROOT_PATH /usr/${ORNA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Small and self-contained: no DLL beyond Windows' own. Function sections with
# --gc-sections shrink the file; data sections would move zero-initialised
# statics (the output ring) out of .bss into the file, so they stay off.
# SSE2 arithmetic gives the pitch computation plain IEEE double precision
# (no x87 extended intermediates), as on every other build.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -ffunction-sections -fno-exceptions -fno-rtti")
set(CMAKE_C_FLAGS_INIT "-ffunction-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections -s")
