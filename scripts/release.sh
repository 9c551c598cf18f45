#!/usr/bin/env bash
# Builds the release archive an installer team downloads, from the windows-x86 preset:
# zt4gac.exe, CALLING.txt and the example package's source, in a ZIP named after the
# project version, with its SHA-256 in a file beside it. Prints the archive's path and that
# line (`sha256sum -c` reads it in the archive's folder).
#
# Two runs from one commit give the same archive bytes, in any folder and as any user: the
# exe is the same bytes already, and the archive holds nothing of the machine. Every entry
# has the time that scripts/lib/source-date.sh gives (SOURCE_DATE_EPOCH, else the commit
# time, else a fixed date), in UTC; modes 0644, 0755 for the exe, scripts and folders; names
# in byte order; and no owner ids or extra time fields (`zip -X`). CPack's ZIP, and
# `cmake -E tar --format=zip`, store each file's own time and the builder's uid and gid.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

readonly PRESET=windows-x86
readonly BUILD_DIR=build/$PRESET
readonly STAGE_DIR=$BUILD_DIR/release-stage
readonly OUT_DIR=$BUILD_DIR/release

source scripts/lib/packages.sh
source scripts/lib/source-date.sh

main() {
  apt_install_missing cmake ninja-build g++-mingw-w64-i686 zip >&2
  local epoch
  epoch=$(source_date_epoch .)
  cmake --preset "$PRESET" >&2
  cmake --build --preset "$PRESET" -j 2 --target zt4gac >&2

  local name archive
  name=$(sed -n 's/^ZT4GAC_RELEASE_NAME:INTERNAL=//p' "$BUILD_DIR/CMakeCache.txt")
  [[ -n $name ]] || { echo "no ZT4GAC_RELEASE_NAME in $BUILD_DIR/CMakeCache.txt" >&2; return 1; }
  rm -rf "$STAGE_DIR" "$OUT_DIR"
  mkdir -p "$OUT_DIR"
  cmake --install "$BUILD_DIR" --prefix "$STAGE_DIR/$name" >&2
  archive=$PWD/$OUT_DIR/$name.zip

  # The builder's umask and the checkout's modes do not reach the archive.
  (
    cd "$STAGE_DIR"
    find "$name" -type d -exec chmod 0755 {} +
    find "$name" -type f -exec chmod 0644 {} +
    find "$name" -type f \( -name '*.exe' -o -name '*.sh' \) -exec chmod 0755 {} +
    find "$name" -exec touch -h -d "@$epoch" {} +
    # Entry times are DOS times, in local time: UTC here. ZIPOPT would add the caller's options.
    find "$name" -mindepth 1 | LC_ALL=C sort |
      TZ=UTC env -u ZIPOPT -u ZIP zip -q -X -@ "$archive"
  )
  (cd "$OUT_DIR" && sha256sum "$name.zip" >"$name.zip.sha256")

  echo "$OUT_DIR/$name.zip"
  cat "$OUT_DIR/$name.zip.sha256"
}

main "$@"
