#!/usr/bin/env bash
# Builds vexo.exe and the console program vexo-cli.exe for 32-bit and 64-bit
# Windows with MinGW-w64 and packs each pair with a short Japanese read-me:
#   dist/vexo-<version>-win32.zip, dist/vexo-<version>-win64.zip
# The programs are linked statically, so they need nothing beside them.
# Installs the compilers and zip first when they are missing (Debian; needs
# root for that).
#
#   scripts/windows-package.sh          # build dirs build-pkg-win32, build-pkg-win64
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${BUILD_JOBS:-2}"

. scripts/install-missing.sh
install_missing mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 zip

version="$(sed -n 's/^project(vexo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[[ -n $version ]] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
mkdir -p dist

for arch in i686 x86_64; do
  bits=$([[ $arch == x86_64 ]] && echo 64 || echo 32)
  dir=build-pkg-win$bits
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DVEXO_BUILD_GUI=OFF -DVEXO_BUILD_TESTS=OFF -DVEXO_BUILD_BENCH=OFF >/dev/null
  cmake --build "$dir" --target vexo vexo-cli -j"$jobs"

  stage="$(mktemp -d)"
  "$arch-w64-mingw32-strip" -o "$stage/vexo.exe" "$dir/app/vexo.exe"
  "$arch-w64-mingw32-strip" -o "$stage/vexo-cli.exe" "$dir/app/cli/vexo-cli.exe"
  # The read-me in UTF-8 with a byte-order mark and CRLF line ends, so that
  # Notepad of any Windows shows the Japanese text.
  {
    printf '\xEF\xBB\xBF'
    sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' scripts/package/readme-ja.txt
  } >"$stage/readme.txt"
  out="dist/vexo-$version-win$bits.zip"
  rm -f "$out"
  (cd "$stage" && zip -q -X -9 "$OLDPWD/$out" vexo.exe vexo-cli.exe readme.txt)
  rm -rf "$stage"
  echo "$out"
done
