#!/usr/bin/env bash
# Builds the release archive an installer team downloads, from the windows-x86 preset:
# zt4gac.exe, CALLING.txt and the example package's source, in a ZIP named after the
# project version, with its SHA-256 in a file beside it. Prints the archive's path and that
# line (`sha256sum -c` reads it). Two builds of one commit give the same zt4gac.exe.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

readonly PRESET=windows-x86
readonly BUILD_DIR=build/$PRESET
readonly OUT_DIR=$BUILD_DIR/release

source scripts/lib/packages.sh

main() {
  apt_install_missing cmake ninja-build g++-mingw-w64-i686 >&2
  cmake --preset "$PRESET" >&2
  cmake --build --preset "$PRESET" -j 2 --target zt4gac >&2
  rm -rf "$OUT_DIR"
  cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$OUT_DIR" >&2

  local archive
  archive=$(find "$OUT_DIR" -maxdepth 1 -name '*.zip' -print)
  echo "$archive"
  cat "$archive.sha256"
}

main "$@"
