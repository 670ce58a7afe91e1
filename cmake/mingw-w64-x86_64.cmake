# SPDX-License-Identifier: Zlib
# Cross-compiling for 64-bit Windows with Debian's mingw-w64.
# QUORVANTEL_SDL_PREFIX names where SDL 1.2 for Windows was installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_RC_COMPILER ${triple}-windres)

# Look for headers and libraries in the target's trees only, programs on the host.
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${QUORVANTEL_SDL_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
