#!/usr/bin/env bash
# The emulated machine, for hosts whose kernel runs no 32-bit code: a 64-bit Debian 12 guest under
# qemu-system-x86_64 (software emulation) whose kernel does, so the shipped i686 zt4gac.exe runs there
# under Wine, in a 32-bit prefix and under WoW64.
#
#   scripts/guest.sh image           builds the image unless a sound one is cached; prints its folder
#   scripts/guest.sh run DIR LIMIT   boots it with DIR as /job, runs /job/job.sh as root and waits at most
#                                    LIMIT s for it to power off; exits with the job's status (its output
#                                    DIR/job.log, the console DIR/console.log), or fails saying why
#   scripts/guest.sh mirror          the Debian mirror an image is built from
#
# The files of scripts/guest/ make the image, and their hash names its folder in ZT4GAC_GUEST_CACHE
# (default build/guest). It counts once its stamp is written, last, and its disk checks clean.
set -euo pipefail

GUEST_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly GUEST_REPO GUEST_DEF=$GUEST_REPO/scripts/guest
readonly GUEST_CACHE=${ZT4GAC_GUEST_CACHE:-$GUEST_REPO/build/guest}

# The Debian mirror: ZT4GAC_GUEST_MIRROR, else the host apt's first source of bookworm's main, one-line
# (sources.list, *.list) or deb822 (*.sources), else Debian's own.
guest_mirror() {
  local list='' parts='' mirror=${ZT4GAC_GUEST_MIRROR:-}
  eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d 2>/dev/null)"
  [[ -n $mirror ]] || mirror=$({
    awk '$1 == "deb" { i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
      if ($(i + 1) == "bookworm" && (" " $0 " ") ~ / main /) print $i }' "$list" "${parts%/}"/*.list
    awk 'BEGIN { RS = ""; FS = "\n" }
      { split("", field); for (i = 1; i <= NF; i++) if ($i ~ /^[A-Za-z-]+:/)
          field[substr($i, 1, index($i, ":") - 1)] = " " substr($i, index($i, ":") + 1) " "
        if (field["Types"] ~ /[ \t]deb[ \t]/ && field["Suites"] ~ /[ \t]bookworm[ \t]/ &&
            field["Components"] ~ /[ \t]main[ \t]/ && field["Enabled"] !~ /no/) {
          split(field["URIs"], uri, " "); print uri[1] } }' "${parts%/}"/*.sources
  } 2>/dev/null </dev/null | head -1 || true)
  echo "${mirror:-http://deb.debian.org/debian}"
}

image_key() { (cd "$GUEST_DEF" && sha256sum -- *) | sha256sum | cut -c1-16; }

# image_sound DIR: the stamp is there with this key, and the disk's file system checks clean.
image_sound() {
  [[ -f $1/stamp && $(<"$1/stamp") == "$(image_key)" && -s $1/vmlinuz && -s $1/initrd.img ]] &&
    e2fsck -fn "$1/root.img" >/dev/null 2>&1
}

# build_image DIR: the disk, then its first boot; everything below DIR.tmp goes when it is done.
build_image() {
  local dir=$1 work=$1.tmp
  rm -rf "$dir" "$work"
  mkdir -p "$work"
  bash "$GUEST_DEF/build-image.sh" "$work" "$(guest_mirror)" || return 1
  echo "guest image: its first boot makes the Wine prefixes" >&2
  cp "$GUEST_DEF/make-prefixes.sh" "$work/job.sh" && cp "$GUEST_DEF/wine-prefix.sh" "$work/"
  boot "$work" "$work" 1800 off || { echo "guest image: no Wine prefixes; the end of that job's output:" >&2
    tail "$work/job.log" >&2; return 1; }
  mkdir -p "$dir" && mv "$work/vmlinuz" "$work/initrd.img" "$work/root.img" "$dir/"
  rm -rf "$work"
  image_key >"$dir/stamp"
}

guest_image() {
  local dir
  dir=$GUEST_CACHE/image-$(image_key)
  if ! image_sound "$dir"; then
    # Images of another key are stale: what makes them changed since.
    rm -rf "$GUEST_CACHE"/image-*
    build_image "$dir" || { echo "guest image: the build failed" >&2; return 1; }
    image_sound "$dir" || { echo "guest image: the image built is not sound" >&2; return 1; }
  fi
  echo "$dir"
}

# boot IMAGE DIR LIMIT SNAPSHOT: boots IMAGE's kernel and disk (a snapshot when SNAPSHOT is on,
# else written) with DIR as /job, and returns as the top says for `run`.
boot() {
  local image=$1 share=$2 limit=$3 snapshot=$4 status=0
  rm -f "$share/job.status" "$share/job.log"
  # In the caller's process group, so that the caller's own time limit ends the machine too.
  timeout --foreground --kill-after=10 "$limit" qemu-system-x86_64 -nographic -no-reboot -m 8G -smp 2 \
    -cpu max,-smap,-smep -accel tcg,thread=multi \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 panic=-1 quiet init=/sbin/zt4gac-guest-init" \
    -drive "file=$image/root.img,format=raw,if=virtio,snapshot=$snapshot" \
    -virtfs "local,path=$share,mount_tag=job,security_model=none" \
    -net none </dev/null >"$share/console.log" 2>&1 || status=$?
  local late='' && ((status != 124 && status != 137)) || late=", no power-off within $limit s"
  if ! grep -q 'zt4gac-guest: up' "$share/console.log"; then
    echo "guest: it did not come up (qemu exit $status$late); the end of its console:" >&2
    tail -30 "$share/console.log" >&2; return 1
  elif [[ -n $late ]]; then
    echo "guest: the job did not finish within $limit s; the end of its output:" >&2
    tail -30 "$share/job.log" >&2; return 1
  elif [[ ! -s $share/job.status ]]; then
    echo "guest: the job's status did not come back (qemu exit $status); the end of its console:" >&2
    tail -30 "$share/console.log" >&2; return 1
  fi
  return "$(<"$share/job.status")"
}

# guest_run DIR LIMIT: see the top. The disk is a snapshot: what the guest writes never reaches
# the cached image.
guest_run() {
  local image
  image=$(guest_image) || return 1
  [[ -f $1/job.sh ]] || { echo "guest: $1/job.sh is missing" >&2; return 1; }
  boot "$image" "$1" "$2" on
}

case ${1:-} in
  image) guest_image ;;
  mirror) guest_mirror ;;
  run)
    (($# == 3)) || { echo "usage: scripts/guest.sh run DIR LIMIT" >&2; exit 2; }
    guest_run "$(realpath "$2")" "$3"
    ;;
  *) echo "usage: scripts/guest.sh image | run DIR LIMIT | mirror" >&2; exit 2 ;;
esac
