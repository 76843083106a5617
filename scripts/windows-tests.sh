#!/usr/bin/env bash
# Cross-builds the engine and its tests for 64-bit and 32-bit Windows with
# MinGW-w64 and runs the 64-bit tests under wine64 in a fresh, throw-away
# Wine prefix. Installs the compilers and Wine first when they are missing
# (Debian; needs root for that).
#
#   scripts/windows-tests.sh            # build dirs build-win64, build-win32
#   BUILD_JOBS=1 scripts/windows-tests.sh
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${BUILD_JOBS:-2}"

need=()
for pkg in mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if ((${#need[@]})); then
  echo "Installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # The package lists are read again only when they are too old to have them.
  if ! apt-get install -y -qq "${need[@]}" >/dev/null 2>&1; then
    apt-get update -qq
    apt-get install -y -qq "${need[@]}" >/dev/null
  fi
fi

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
cleanup() {
  WINEPREFIX="$prefix" "$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
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
# The 64-bit toolchain file makes wine64 the emulator ctest runs the tests with.
ctest --test-dir build-win64 --output-on-failure --timeout 600
