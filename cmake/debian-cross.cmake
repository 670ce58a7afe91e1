# SPDX-License-Identifier: Zlib
# Cross-compiling for another Debian architecture with Debian's own cross
# toolchain (crossbuild-essential-ARCH) and the architecture's -dev packages.
# The architecture is the environment's QUORVANTEL_ARCH (arm64, armhf, i386,
# riscv64, ...); dpkg-architecture names everything else from it.
set(arch $ENV{QUORVANTEL_ARCH})
if(NOT arch)
  message(FATAL_ERROR "QUORVANTEL_ARCH is not set: say which Debian architecture to build for")
endif()
foreach(variable IN ITEMS GNU_TYPE GNU_CPU MULTIARCH)
  execute_process(COMMAND dpkg-architecture -a${arch} -qDEB_HOST_${variable}
    OUTPUT_VARIABLE ${variable} OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
endforeach()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${GNU_CPU})
set(CMAKE_C_COMPILER ${GNU_TYPE}-gcc)
set(CMAKE_CXX_COMPILER ${GNU_TYPE}-g++)
# Libraries from the architecture's multiarch folder, as Debian installs them;
# pkg-config through the architecture's own wrapper.
set(CMAKE_LIBRARY_ARCHITECTURE ${MULTIARCH})
set(PKG_CONFIG_EXECUTABLE ${GNU_TYPE}-pkg-config CACHE FILEPATH "pkg-config for ${arch}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
