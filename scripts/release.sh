#!/usr/bin/env bash
# Builds the release archive an installer team downloads, from the windows-x86 preset:
# zt4gac.exe, CALLING.txt, the example package's source and THIRD-PARTY-NOTICES.txt (what the
# exe carries of the toolchain's runtimes, and their terms), in a ZIP named after the project
# version, with its SHA-256 in a file beside it. Prints the archive's path and that line
# (`sha256sum -c` reads it in the archive's folder).
#
# zt4gac.exe is signed (Authenticode, SHA-256, by osslsigncode) when the release manager names
# a key and its certificates, and left unsigned, saying so, when not:
#   ZT4GAC_SIGN_PKCS12         a PKCS#12 file with the key and the certificate chain, or
#   ZT4GAC_SIGN_KEY            a PEM private key, with
#   ZT4GAC_SIGN_CERTS          its PEM certificate and the chain above it;
#   ZT4GAC_SIGN_PASSWORD       the password of either (optional);
#   ZT4GAC_SIGN_TIMESTAMP_URL  an RFC 3161 timestamp server (optional).
# The signing time is the source date below, so without a timestamp server two signed runs
# with one key give the same archive too; a timestamp differs on every run.
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

# What of the toolchain's runtime libraries the link puts into zt4gac.exe: "PIECE|TERMS|LIBRARIES",
# LIBRARIES as the compiler names them; the notice finds the package that holds each.
readonly STATIC_PIECES=(
  'libstdc++, the C++ runtime|GPL-3.0-or-later WITH GCC-exception-3.1|libstdc++.a'
  "libgcc, the compiler's support library|GPL-3.0-or-later WITH GCC-exception-3.1|libgcc.a libgcc_eh.a"
  "libssp, the stack protector's runtime|GPL-3.0-or-later WITH GCC-exception-3.1|libssp.a libssp_nonshared.a"
  "the mingw-w64 runtime (start-up code, libmingw32, libmingwex, libmoldname, libmsvcrt)|ZPL-2.1, and the \
terms its copyright file lists per part|crt2.o libmingw32.a libmingwex.a libmoldname.a libmsvcrt.a"
)

# write_notices COMPILER FILE: the notice of what the exe carries statically, and after it the
# copyright files of the packages that hold those libraries, verbatim, each once.
write_notices() {
  local compiler=$1 piece terms libraries library path package copyright files=()
  local -A packages=()
  {
    echo "THIRD-PARTY NOTICES FOR zt4gac.exe"
    echo
    echo "zt4gac.exe is linked statically with parts of its compiler's runtime libraries; it"
    echo "loads no DLL of theirs. What it carries, with the Debian package each came from:"
    for piece in "${STATIC_PIECES[@]}"; do
      IFS='|' read -r piece terms libraries <<<"$piece"
      echo
      echo "- $piece"
      echo "  Terms: $terms"
      for library in $libraries; do
        path=$(realpath -e "$("$compiler" -print-file-name="$library")") &&
          package=$(dpkg -S "$path" | cut -d: -f1) &&
          copyright=$(realpath -e "/usr/share/doc/$package/copyright") || {
          echo "notices: no package, or no copyright file, for $library of $compiler" >&2
          return 1
        }
        echo "  $library: $package $(dpkg-query -W -f='${Version}' "$package")"
        [[ -v packages[$copyright] ]] || files+=("$copyright")
        [[ ${packages[$copyright]:-} == *"$package"* ]] || packages[$copyright]+=" $package"
      done
    done
    echo
    echo "GPL-3.0-or-later WITH GCC-exception-3.1: the GNU General Public License, version 3 or"
    echo "later (its text: https://www.gnu.org/licenses/gpl-3.0.txt), with version 3.1 of the GCC"
    echo "Runtime Library Exception, whose text is in the GCC copyright file below, under"
    echo "\"GCC RUNTIME LIBRARY EXCEPTION\". It lets a program compiled by GCC carry these"
    echo "libraries under terms of its own choice."
    echo "The paths under /usr/share/common-licenses/ that the files below name are those of a"
    echo "Debian system: https://www.gnu.org/licenses/ has the same texts."
    for copyright in "${files[@]}"; do
      echo
      echo "==== $copyright (of${packages[$copyright]}) ===="
      echo
      cat "$copyright"
    done
  } >"$2"
}

# sign_exe EPOCH EXE: signs EXE in place with the key and certificates the environment names
# (above), or says on standard error that the release is unsigned.
sign_exe() {
  local key=()
  if [[ -n ${ZT4GAC_SIGN_PKCS12:-} && -z ${ZT4GAC_SIGN_KEY:-}${ZT4GAC_SIGN_CERTS:-} ]]; then
    key=(-pkcs12 "$ZT4GAC_SIGN_PKCS12")
  elif [[ -z ${ZT4GAC_SIGN_PKCS12:-} && -n ${ZT4GAC_SIGN_KEY:-} && -n ${ZT4GAC_SIGN_CERTS:-} ]]; then
    key=(-certs "$ZT4GAC_SIGN_CERTS" -key "$ZT4GAC_SIGN_KEY")
  elif [[ -z ${ZT4GAC_SIGN_PKCS12:-}${ZT4GAC_SIGN_KEY:-}${ZT4GAC_SIGN_CERTS:-} ]]; then
    echo "release: zt4gac.exe is NOT signed (no ZT4GAC_SIGN_PKCS12, nor ZT4GAC_SIGN_KEY and ZT4GAC_SIGN_CERTS)" >&2
    return 0
  else
    echo "release: name either ZT4GAC_SIGN_PKCS12, or ZT4GAC_SIGN_KEY and ZT4GAC_SIGN_CERTS" >&2
    return 1
  fi
  # The password goes through standard input, not the command line, where ps would show it.
  [[ -z ${ZT4GAC_SIGN_PASSWORD:-} ]] || key+=(-readpass /dev/stdin)
  [[ -z ${ZT4GAC_SIGN_TIMESTAMP_URL:-} ]] || key+=(-ts "$ZT4GAC_SIGN_TIMESTAMP_URL")
  osslsigncode sign "${key[@]}" -h sha256 -time "$1" -in "$2" -out "$2.signed" <<<"${ZT4GAC_SIGN_PASSWORD:-}" >&2 &&
    mv "$2.signed" "$2" && echo "release: zt4gac.exe signed ($(osslsigncode -v | head -n 1))" >&2
}

main() {
  apt_install_missing "${BUILD_PACKAGES[@]}" "${RELEASE_PACKAGES[@]}" >&2
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
  write_notices "$(sed -n 's/^ZT4GAC_RELEASE_COMPILER:INTERNAL=//p' "$BUILD_DIR/CMakeCache.txt")" \
    "$STAGE_DIR/$name/THIRD-PARTY-NOTICES.txt"
  sign_exe "$epoch" "$STAGE_DIR/$name/zt4gac.exe"
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
