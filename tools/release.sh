#!/usr/bin/env bash
# Builds every release artefact of this commit and their checksum list: the
# Linux .tar.gz (static) and .deb, the Windows .zip and installer for 64
# and 32 bits, and the browser page, in OUT (by default release/), with
# SHA256SUMS beside them. Needs the packages that .ci/run installs
# (mingw-w64, nsis, emscripten, npm's registry). The time stamps
# come from SOURCE_DATE_EPOCH, by default the commit's date: two runs of one
# commit, in any folders, give the same bytes.
# Usage: tools/release.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-release}
mkdir -p "$out"
rm -f "$out"/cdmg2csv* "$out"/SHA256SUMS
for target in linux windows-x86_64 windows-i686; do
  folder=build-release-$target
  toolchain=()
  [ "$target" = linux ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="cmake/mingw-${target#windows-}.cmake")
  cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=Release -DCDMG_BUILD_TESTS=OFF -DCDMG_BUILD_BENCH=OFF \
    "${toolchain[@]}" >/dev/null
  cmake --build "$folder" -j2 >/dev/null
  rm -rf "$folder/packages"
  cpack --config "$folder/CPackConfig.cmake" -B "$folder/packages" >/dev/null
  find "$folder/packages" -maxdepth 1 -type f -name 'cdmg2csv*' -exec cp {} "$out/" \;
done
# The page: one HTML file, named with the version.
emcmake cmake -S . -B build-release-web -DCMAKE_BUILD_TYPE=Release -DCDMG_BUILD_TESTS=OFF >/dev/null
cmake --build build-release-web -j2 >/dev/null
version=$(awk '$1 == "project(cdmg2csv" && $2 == "VERSION" {print $3}' CMakeLists.txt)
cp build-release-web/cdmg2csv.html "$out/cdmg2csv-$version.html"
cd "$out"
sha256sum cdmg2csv* >SHA256SUMS
cat SHA256SUMS
