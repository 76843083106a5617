# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DVEXO_BUILD_GUI=OFF -DVEXO_BUILD_BENCH=OFF
# ctest then runs the test programs under wine64 when it is installed.
set(VEXO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(VEXO_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(VEXO_WINE64 NAMES wine64)
  if(VEXO_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXO_WINE64})
  endif()
endif()
