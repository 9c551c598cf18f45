# shellcheck shell=bash disable=SC2034  # the lists are read by the scripts that source this file
# Package installation shared by the project's scripts (sourced, not run). Everything comes
# from Debian's archive; `apt-get update` runs only when something is missing.

# What each part of the work needs from Debian's archive, decided here for every script.
# The host build and the Windows one, whose platform test compiles GoogleTest's sources.
readonly BUILD_PACKAGES=(cmake ninja-build g++ g++-mingw-w64-i686 googletest)
readonly HOST_TEST_PACKAGES=(libgtest-dev libbenchmark-dev valgrind)
# The fuzz targets and the sanitizer builds of clang.
readonly CLANG_PACKAGES=(clang libclang-rt-14-dev)
readonly ANALYSIS_PACKAGES=(clang-tidy cppcheck)
readonly RELEASE_PACKAGES=(zip unzip osslsigncode openssl)
# Wine, the test assemblies (Mono), the x86_64 build that stands in where no 32-bit code runs, the packages (wixl).
readonly WINE_PACKAGES=(wine wine32:i386 wine64 mono-mcs mono-devel g++-mingw-w64-x86-64-win32 wixl msitools)
# The emulated guest's machine and what builds its image (scripts/guest.sh).
readonly GUEST_PACKAGES=(qemu-system-x86 debootstrap e2fsprogs)

as_root() {
  if [[ $(id -u) -eq 0 ]]; then
    "$@"
  else
    sudo "$@"
  fi
}

is_installed() {
  [[ $(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) == installed ]]
}

# Adds the i386 architecture (for wine32) unless it is there already.
ensure_i386_architecture() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
}

# Installs the packages that are missing.
apt_install_missing() {
  local missing=() package
  for package in "$@"; do
    is_installed "$package" || missing+=("$package")
  done
  if [[ ${#missing[@]} -eq 0 ]]; then
    echo "all present: $*"
    return 0
  fi
  echo "installing: ${missing[*]}"
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}
