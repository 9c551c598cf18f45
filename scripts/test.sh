#!/usr/bin/env bash
# The one test command, locally and in CI (root on a fresh Debian 12 that reaches only
# Debian's archive): installs what is missing, builds every preset, runs every suite,
# prints a summary and exits non-zero when anything failed.
#
# Every step runs on even when an earlier one failed, so one run shows all failures.
# New steps: write a function, then add a `run_step` line to `main` at the marked place.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

readonly JOBS=2
# The release's zt4gac.exe signed with a throwaway CA's key (signed_release): what the Wine suite runs.
readonly SIGNED_EXE=build/signing/zt4gac.exe

source scripts/lib/packages.sh
source scripts/lib/steps.sh
source scripts/lib/source-date.sh

# ---- steps -------------------------------------------------------------------------------

# Everything every step needs, in one pass over the archive rather than one per step (the
# static-analysis and fuzz scripts still install their own when run alone).
install_packages() {
  ensure_i386_architecture
  apt_install_missing "${BUILD_PACKAGES[@]}" "${HOST_TEST_PACKAGES[@]}" "${CLANG_PACKAGES[@]}" \
    "${ANALYSIS_PACKAGES[@]}" "${RELEASE_PACKAGES[@]}" "${WINE_PACKAGES[@]}" "${GUEST_PACKAGES[@]}"
}

# Configures and builds one host preset and runs its unit tests (the sanitizer preset's
# test preset sets ASAN_OPTIONS=detect_leaks=1:halt_on_error=1).
build_and_test_host() {
  local preset=$1
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$JOBS"
  ctest --preset "$preset" -j "$JOBS"
  # One short pass of each benchmark proves they still run; the figures come from Release builds.
  if [[ $preset == host ]]; then
    "build/$preset/bench/zt4gac_bench" --benchmark_min_time=0.001
  fi
}

# Runs the host build's unit tests once more under valgrind's memcheck, which sees what the
# sanitizers cannot: a read of memory nothing wrote, in the build without sanitizers that ships
# the same code. Any memcheck error fails the step (exit 99), and so does a definite leak; what
# dlopen and the runtime keep until exit is reachable and no error.
memcheck_host_tests() {
  valgrind --quiet --tool=memcheck --error-exitcode=99 --track-origins=yes --num-callers=30 \
    --leak-check=full --errors-for-leak-kinds=definite build/host/tests/zt4gac_tests --gtest_brief=1
}

# Cross-builds zt4gac.exe and checks what the installer will ship: the image rules
# (scripts/check-image.sh), the same bytes from a second clean build, the same release archive.
build_windows() {
  cmake --preset windows-x86
  cmake --build --preset windows-x86 -j "$JOBS"

  # What the installer will ship, against the rules a security review of a Windows binary applies.
  local exe=build/windows-x86/src/zt4gac.exe
  bash scripts/check-image.sh "$exe"

  # The same commit builds the same bytes: a clean build of a copy of the sources, in other
  # folders (so an embedded path would show too), gives an identical zt4gac.exe.
  copy=$(mktemp -d)  # not local: the trap reads it when the step's subshell exits
  trap 'rm -rf "$copy"' EXIT
  cp -r CMakeLists.txt CMakePresets.json cmake src resources installer examples tests scripts "$copy/"
  (cd "$copy" && cmake --preset windows-x86 >/dev/null &&
    cmake --build --preset windows-x86 -j "$JOBS" --target zt4gac >/dev/null)
  cmp "$exe" "$copy/build/windows-x86/src/zt4gac.exe" || { echo "two clean builds of $exe differ" >&2; return 1; }
  echo "identical bytes in a second clean build: $(sha256sum "$exe")"

  # And the same release archive (scripts/release.sh: the tool, CALLING.txt, the include, its README
  # and its wixl build, and the example package), to the byte. The copy has no git history, so both take
  # the date from here.
  SOURCE_DATE_EPOCH=$(source_date_epoch .)
  export SOURCE_DATE_EPOCH
  local release copy_release archive entries file
  release=$(release_archive .) || return 1
  copy_release=$(release_archive "$copy") || return 1
  archive=$(head -n 1 <<<"$release")
  cmp "$archive" "$(head -n 1 <<<"$copy_release")" ||
    { echo "the release archives of the two builds differ" >&2; return 1; }
  [[ $(tail -n 1 <<<"$release") == $(tail -n 1 <<<"$copy_release") ]] ||
    { printf 'the SHA-256 lines differ:\n%s\n%s\n' "$release" "$copy_release" >&2; return 1; }
  entries=$(cmake -E tar tf "$archive")
  for file in zt4gac.exe CALLING.txt THIRD-PARTY-NOTICES.txt zt4gac.wxi README.md zt4gac-wixl.sh \
    examples/installer/zt4gac-example.wxs; do
    grep -q "/$file\$" <<<"$entries" || { echo "the release archive lacks $file" >&2; return 1; }
  done
  echo "identical release archive from both builds: $(tail -n 1 <<<"$release")"

  # The notice names each runtime library linked into the exe, and carries their terms.
  local notice piece
  notice=$(unzip -p "$archive" '*/THIRD-PARTY-NOTICES.txt')
  for piece in '^- libstdc++, ' '^- libgcc, ' '^- libssp, ' '^- the mingw-w64 runtime ' \
    '^GCC RUNTIME LIBRARY EXCEPTION$' 'https://www.gnu.org/licenses/gpl-3.0.txt' 'the mingw-w64 project'; do
    grep -q -- "$piece" <<<"$notice" || { echo "THIRD-PARTY-NOTICES.txt lacks \"$piece\"" >&2; return 1; }
  done
  echo "THIRD-PARTY-NOTICES.txt names libstdc++, libgcc, libssp and the mingw-w64 runtime, with their terms"
}

# A throwaway CA in DIR (ca.pem) and a code-signing certificate it issued: signer.key and chain.pem
# (the signer's certificate, then the CA's) as PEM, and the same in signer.p12 (password "test").
make_test_signer() {
  local dir=$1
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/ca.key" -out "$dir/ca.pem" -days 3650 \
    -subj '/CN=zt4gac test CA' -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign &&
    openssl req -newkey rsa:2048 -nodes -keyout "$dir/signer.key" -out "$dir/signer.csr" \
      -subj '/CN=zt4gac test signer' &&
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
      >"$dir/ext" &&
    openssl x509 -req -in "$dir/signer.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -set_serial 2 -days 3650 \
      -extfile "$dir/ext" -out "$dir/signer.pem" &&
    cat "$dir/signer.pem" "$dir/ca.pem" >"$dir/chain.pem" &&
    openssl pkcs12 -export -inkey "$dir/signer.key" -in "$dir/signer.pem" -certfile "$dir/ca.pem" \
      -passout pass:test -out "$dir/signer.p12"
}

# The release as a release manager signs it (scripts/release.sh), with a throwaway CA's key: two
# signed runs, with the key as PKCS#12 and then as PEM, give the same archive; its exe verifies
# against that CA, and with the signature removed is the built exe to the byte. Leaves the signed
# exe as SIGNED_EXE.
signed_release() {
  local dir=${SIGNED_EXE%/*} exe=build/windows-x86/src/zt4gac.exe release
  rm -rf "$dir" && mkdir -p "$dir"
  make_test_signer "$dir" >"$dir/openssl.log" 2>&1 || { cat "$dir/openssl.log" >&2 && return 1; }
  SOURCE_DATE_EPOCH=$(source_date_epoch .)
  export SOURCE_DATE_EPOCH
  release=$(ZT4GAC_SIGN_PKCS12=$dir/signer.p12 ZT4GAC_SIGN_PASSWORD=test release_archive .) || return 1
  cp "$(head -n 1 <<<"$release")" "$dir/pkcs12.zip"
  release=$(ZT4GAC_SIGN_KEY=$dir/signer.key ZT4GAC_SIGN_CERTS=$dir/chain.pem release_archive .) || return 1
  cmp "$dir/pkcs12.zip" "$(head -n 1 <<<"$release")" ||
    { echo "two signed runs with one key give different archives" >&2; return 1; }
  echo "identical signed archive from the key as PKCS#12 and as PEM: $(tail -n 1 <<<"$release")"

  unzip -p "$dir/pkcs12.zip" '*/zt4gac.exe' >"$SIGNED_EXE"
  osslsigncode verify -CAfile "$dir/ca.pem" -in "$SIGNED_EXE" >"$dir/verify.log" 2>&1 ||
    { cat "$dir/verify.log" >&2 && echo "the signed exe does not verify against the test CA" >&2 && return 1; }
  grep -q '^Message digest algorithm *: SHA256' "$dir/verify.log" || { echo "not signed with SHA-256" >&2; return 1; }
  echo "verifies against the test CA ($(osslsigncode -v | sed -n '1s/,.*//p')), SHA-256," \
    "$(grep -m 1 -o 'Signing time: .*' "$dir/verify.log")"
  osslsigncode remove-signature -in "$SIGNED_EXE" -out "$dir/unsigned.exe" >/dev/null
  cmp "$dir/unsigned.exe" "$exe" || { echo "the signed exe, its signature removed, is not $exe" >&2; return 1; }
  echo "its signature removed, the built exe to the byte: $(sha256sum "$exe")"
}

# release_archive DIR: runs DIR's release script and prints the archive's absolute path and its
# SHA-256 line; the script's build output shows only when it fails.
release_archive() {
  local dir=$1 out status=0
  mkdir -p "$dir/build"
  out=$(bash "$dir/scripts/release.sh" 2>"$dir/build/release.log") || status=$?
  if [[ $status -ne 0 ]]; then
    cat "$dir/build/release.log" >&2
    return "$status"
  fi
  printf '%s\n' "$(cd "$dir" && realpath "$(head -n 1 <<<"$out")")" "$(tail -n 1 <<<"$out")"
}



# ---- driver ------------------------------------------------------------------------------

main() {
  run_step "install packages" install_packages
  if [[ ${STEP_RESULTS[0]} == FAIL* ]]; then
    print_summary Summary || true
    exit 1
  fi

  # The emulated guest's image, when the Wine step needs it and has none cached, is built while the
  # host steps run: most of it is waiting for the archive.
  source scripts/wine-lab.sh
  local where image_builder=
  where=$(wine_where)
  if [[ $where == guest ]]; then
    mkdir -p build
    bash scripts/guest.sh image >build/guest-image.log 2>&1 &
    image_builder=$!
  fi

  run_step "host: build + unit tests" build_and_test_host host
  run_step "host: unit tests under memcheck" memcheck_host_tests
  run_step "host-asan: build + unit tests" build_and_test_host host-asan
  run_step "windows-x86: build + checks" build_windows
  run_step "signed release: same bytes, verifies, unsigns to the built exe" signed_release

  # Before the Wine suite, so that they run while the guest's image may still be building.
  run_step "static analysis: clang-tidy + cppcheck" bash scripts/static-analysis.sh
  run_step "fuzz targets (bounded)" bash scripts/fuzz.sh

  # The signed exe under Wine where it runs here (scripts/wine-step.sh decides, ZT4GAC_WINE_WHERE
  # forces). The guest's own run checks the image again, and builds it anew if the build above failed.
  [[ -z $image_builder ]] || wait "$image_builder" || cat build/guest-image.log
  local what='signed i686 exe, 32-bit prefix + WoW64'
  [[ $where != x86_64 ]] || what='x86_64 build (not shipped), 64-bit prefix'
  run_step "wine suite ($where): $what" bash scripts/wine-step.sh --tool "$SIGNED_EXE"

  if print_summary Summary; then
    echo "all steps passed"
  else
    echo "FAILED"
    exit 1
  fi
}

main "$@"
