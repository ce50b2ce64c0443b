# Cross-building for 64-bit Windows with Debian's MinGW-w64 compilers.
#
#   cmake -S . -B build/windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DQT_HOST_PATH=/usr \
#         -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
#
# The libraries come from the Windows SDK that scripts/windows-sdk.sh builds
# (`make windows-sdk`); its prefix is taken from the environment variable
# TAVREN_WINDOWS_SDK, or from the cache variable of the same name, and is
# ~/.cache/brisolm-tavren/windows-sdk otherwise.  The SDK's own packages are
# built with this file too.
#
# Debian packages: g++-mingw-w64-x86-64-posix (the posix threads flavour, in
# which std::thread works), libz-mingw-w64-dev (zlib in the MinGW sysroot).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_tavren_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_tavren_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_tavren_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_tavren_triple}-windres)

# The SDK prefix: the environment wins, so that one exported variable steers
# both the SDK's build and the program's.
if(NOT "$ENV{TAVREN_WINDOWS_SDK}" STREQUAL "")
  set(_tavren_sdk_default "$ENV{TAVREN_WINDOWS_SDK}")
else()
  set(_tavren_sdk_default "$ENV{HOME}/.cache/brisolm-tavren/windows-sdk")
endif()
set(TAVREN_WINDOWS_SDK "${_tavren_sdk_default}" CACHE PATH
    "Prefix of the Windows SDK (scripts/windows-sdk.sh)")
# try_compile() projects read this file again: hand them the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVREN_WINDOWS_SDK)

# Libraries, headers and CMake packages only from the MinGW sysroot and the
# SDK; programs (moc, rcc, pkg-config, nasm) from the build machine.  With
# PACKAGE ONLY a CMAKE_PREFIX_PATH is re-rooted under these roots, so the SDK
# has to be a root itself for Qt6Config and the others to be found.
set(CMAKE_FIND_ROOT_PATH /usr/${_tavren_triple} "${TAVREN_WINDOWS_SDK}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the SDK's .pc files (and MinGW's zlib.pc, which several
# of them require) and never the build machine's.  The .pc files hold
# absolute paths already, so no sysroot is prepended.
set(ENV{PKG_CONFIG_LIBDIR}
    "${TAVREN_WINDOWS_SDK}/lib/pkgconfig:${TAVREN_WINDOWS_SDK}/share/pkgconfig:/usr/${_tavren_triple}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
