#!/usr/bin/env bash
# Cross-builds the engine, the Win32 program vexo.exe and their tests for
# 64-bit and 32-bit Windows with MinGW-w64 and runs the 64-bit tests under
# wine64 in a fresh, throw-away Wine prefix, on an X display (a private Xvfb
# when DISPLAY is not set). Installs the compilers, Wine and Xvfb first when
# they are missing (Debian; needs root for that).
#
#   scripts/windows-tests.sh            # build dirs build-win64, build-win32
#   BUILD_JOBS=1 scripts/windows-tests.sh
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${BUILD_JOBS:-2}"

. scripts/install-missing.sh
install_missing mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 xvfb fonts-noto-cjk

wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine="$(command -v wine64)"

for arch in x86_64 i686; do
  dir=build-win$([[ $arch == x86_64 ]] && echo 64 || echo 32)
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" \
    -DVEXO_BUILD_GUI=OFF -DVEXO_BUILD_BENCH=OFF >/dev/null
  cmake --build "$dir" -j"$jobs"
done
# The 32-bit programs are only built: this kernel runs no 32-bit Windows code.

prefix="$(mktemp -d "${TMPDIR:-/tmp}/vexo-wine.XXXXXX")"
xvfb_pid=
cleanup() {
  WINEPREFIX="$prefix" "$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
  if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# The window tests need an X display for Wine's windows.
if [[ -z ${DISPLAY:-} ]]; then
  for n in $(seq 90 120); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    break
  done
  for _ in $(seq 50); do
    [[ -e /tmp/.X11-unix/X${DISPLAY#:} ]] && break
    sleep 0.1
  done
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko installer prompts when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
echo "Creating a Wine prefix in $prefix"
timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || {
  echo "wineboot failed or timed out" >&2
  exit 1
}
# Drive R: is a CD-ROM drive with no disc in it, for the "disk not ready"
# case. Wine reads the drive types when it starts, hence the restart.
if "$wine" 'C:\windows\system32\reg.exe' add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f \
  >/dev/null 2>&1; then
  "$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true
  "$(dirname "$wine")/wineserver" -w >/dev/null 2>&1 || true
  ln -sfn "$prefix/no-disc" "$prefix/dosdevices/r:"
  export VEXO_TEST_EMPTY_DRIVE=R:
fi
# Message boxes use Wine's own dialog font, which has no Japanese; link it to
# a font that has, as a Japanese Windows does.
"$wine" 'C:\windows\system32\reg.exe' add \
  'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v Tahoma /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK JP' /f >/dev/null 2>&1 || true
# The 64-bit toolchain file makes wine64 the emulator ctest runs the tests with.
ctest --test-dir build-win64 --output-on-failure --timeout 600
# The engine's tests once more without the empty drive: the drive tests
# that need it skip, and nothing they leave behind may upset the rest.
if ! env -u VEXO_TEST_EMPTY_DRIVE timeout 600 "$wine" build-win64/tests/engine/engine_tests.exe \
  >build-win64/engine_tests_without_empty_drive.log 2>&1; then
  cat build-win64/engine_tests_without_empty_drive.log
  echo "engine tests failed without VEXO_TEST_EMPTY_DRIVE" >&2
  exit 1
fi
