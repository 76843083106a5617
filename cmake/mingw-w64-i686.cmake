# Cross build for 32-bit Windows with Debian's MinGW-w64 compilers:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
#         -DVEXO_BUILD_GUI=OFF -DVEXO_BUILD_BENCH=OFF
# The programs are built only; running them needs a 32-bit capable Windows
# or Wine.
set(VEXO_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
