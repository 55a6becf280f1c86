# Cross build for 64-bit Windows with mingw-w64 (posix thread model), run through Wine.
#
#   cmake -S . -B build/windows-release -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DKELVORINE_WIN_DEPS=<prefix>
#
# KELVORINE_WIN_DEPS is the install prefix of libpng, libogg, libvorbis and googletest built for
# mingw (scripts/build-windows.sh builds and caches it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELVORINE_MINGW x86_64-w64-mingw32)
# The plain compiler names use the win32 thread model, which has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${KELVORINE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVORINE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVORINE_MINGW}-windres)
set(CMAKE_AR ${KELVORINE_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KELVORINE_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

# Try-compile projects see the dependency prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KELVORINE_WIN_DEPS)
if(NOT KELVORINE_WIN_DEPS AND DEFINED ENV{KELVORINE_WIN_DEPS})
  set(KELVORINE_WIN_DEPS $ENV{KELVORINE_WIN_DEPS})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${KELVORINE_MINGW})
if(KELVORINE_WIN_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KELVORINE_WIN_DEPS})
  list(APPEND CMAKE_PREFIX_PATH ${KELVORINE_WIN_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: no libwinpthread-1.dll, libstdc++-6.dll or zlib1.dll beside it.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and build-time tools (the shader compiler) run under Wine.
find_program(KELVORINE_WINE NAMES wine)
if(KELVORINE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KELVORINE_WINE})
endif()
