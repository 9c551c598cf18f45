#!/usr/bin/env bash
# The emulated machine: a 64-bit Debian 12 guest under qemu-system-x86_64 (software emulation),
# for hosts whose kernel runs no 32-bit code. Its kernel does, so the shipped i686 zt4gac.exe
# runs there under Wine's 32-bit loader, in a 32-bit prefix and under WoW64.
#
#   scripts/guest.sh image                 builds the image unless a sound one is cached; prints its folder
#   scripts/guest.sh run DIR LIMIT         boots the guest with DIR shared as /job, runs /job/job.sh as
#                                          root, and waits at most LIMIT seconds for it to power off
#
# `run` fails, saying why, when the guest does not come up, /job/job.sh does not finish within
# LIMIT or its status does not come back; else it exits with the job's status. The job's output
# is DIR/job.log, the guest's console DIR/console.log.
#
# The image comes from Debian's archive only (debootstrap, then the packages of
# scripts/guest-packages.txt), made without loop devices or mounts of its own: mke2fs writes
# the folder into the disk image. It lives in ZT4GAC_GUEST_CACHE (default build/guest), in a
# folder named by the hash of this script and the package list; it counts only once its
# stamp is written, after everything else, and a guest that does not come up takes the stamp
# away, so a stale, partial or broken image is built anew.
set -euo pipefail

readonly GUEST_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly GUEST_PACKAGES=$GUEST_REPO/scripts/guest-packages.txt
readonly GUEST_CACHE=${ZT4GAC_GUEST_CACHE:-$GUEST_REPO/build/guest}
readonly MIRROR=${ZT4GAC_GUEST_MIRROR:-http://deb.debian.org/debian}
# The guest's first program: mounts what Wine needs, then the host's folder, runs the job and
# powers off. "zt4gac-guest: up" on the console tells the host the guest booted.
readonly GUEST_INIT='#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
mount -t proc proc /proc 2>/dev/null; mount -t sysfs sys /sys 2>/dev/null; mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs shm /dev/shm; mount -t tmpfs tmp /tmp
hostname zt4gac-guest
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576 job /job; then
  echo "zt4gac-guest: up, $(nproc) processors, $(wine --version)"
  bash /job/job.sh >/job/job.log 2>&1
  echo $? >/job/job.status
  sync; umount /job
else
  echo "zt4gac-guest: the host folder could not be mounted"
fi
mount -o remount,ro / 2>/dev/null; sync
echo o >/proc/sysrq-trigger
sleep 60'

# The image's last part, made by its first boot: a fresh Wine prefix of each kind, below
# /opt/zt4gac-wine as the Wine lab keeps its templates (KIND-VERSION), since wineboot alone takes
# minutes under emulation. Both at once, one a processor.
readonly TEMPLATES_JOB='export WINEDEBUG=-all
version=$(wine --version | tr -c "A-Za-z0-9.\n" _)
mkdir -p /opt/zt4gac-wine
make() {
  export WINEPREFIX=/opt/zt4gac-wine/$1-$version WINEARCH=$1
  WINEDLLOVERRIDES="mscoree,mshtml=" $2 wineboot -i </dev/null && /usr/lib/wine/wineserver -w &&
    test -f $WINEPREFIX/system.reg && echo "made the $1 prefix"
}
make win32 wine & first=$!
make win64 /usr/lib/wine/wine64 & second=$!
wait $first && wait $second'

image_key() { cat "${BASH_SOURCE[0]}" "$GUEST_PACKAGES" | sha256sum | cut -c1-16; }
image_dir() { echo "$GUEST_CACHE/image-$(image_key)"; }

# image_sound DIR: the stamp is there with this key, and the disk's file system checks clean.
image_sound() {
  [[ -f $1/stamp && $(<"$1/stamp") == "$(image_key)" && -s $1/vmlinuz && -s $1/initrd.img ]] &&
    e2fsck -fn "$1/root.img" >/dev/null 2>&1
}

# build_image DIR: debootstrap, the packages, the init program, and the disk image. Runs as
# root (debootstrap and chroot need it); everything below DIR.tmp goes when it is done.
build_image() {
  local dir=$1 work=$1.tmp root=$1.tmp/root packages
  rm -rf "$dir" "$work"
  mkdir -p "$work"
  packages=$(grep -v -E '^[[:space:]]*(#|$)' "$GUEST_PACKAGES" | tr '\n' ' ')
  echo "guest image: debootstrap bookworm from $MIRROR" >&2
  debootstrap --variant=minbase --arch=amd64 bookworm "$root" "$MIRROR" >"$work/debootstrap.log" 2>&1 ||
    { tail -20 "$work/debootstrap.log" >&2; return 1; }
  # The modules the root disk and the shared folder need, in the initramfs the kernel's package makes.
  mkdir -p "$root/etc/initramfs-tools"
  printf '%s\n' virtio_pci virtio_blk ext4 9p 9pnet_virtio >>"$root/etc/initramfs-tools/modules"
  echo "guest image: installing $packages" >&2
  mount -t proc proc "$root/proc"
  local status=0
  chroot "$root" /bin/sh -c "dpkg --add-architecture i386 && apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $packages &&
    apt-get clean" >"$work/packages.log" 2>&1 || status=$?
  umount "$root/proc"
  ((status == 0)) || { tail -20 "$work/packages.log" >&2; return 1; }
  rm -rf "$root"/var/lib/apt/lists/*
  printf '%s\n' "$GUEST_INIT" >"$root/sbin/zt4gac-guest-init"
  chmod 755 "$root/sbin/zt4gac-guest-init"
  mkdir -p "$root/job"
  cp "$(ls "$root"/boot/vmlinuz-* | tail -1)" "$work/vmlinuz"
  cp "$(ls "$root"/boot/initrd.img-* | tail -1)" "$work/initrd.img"
  # Sparse: a 64-bit Wine prefix takes more than a gigabyte, and unwritten blocks cost nothing.
  mke2fs -q -t ext4 -d "$root" -L zt4guest "$work/root.img" 10G >&2
  rm -rf "$root"
  echo "guest image: its first boot makes the Wine prefixes" >&2
  printf '%s\n' "$TEMPLATES_JOB" >"$work/job.sh"
  boot "$work" "$work" 1800 off || { echo "guest image: the Wine prefixes could not be made" >&2; return 1; }
  mkdir -p "$dir"
  mv "$work/vmlinuz" "$work/initrd.img" "$work/root.img" "$dir/"
  rm -rf "$work"
  image_key >"$dir/stamp"
}

guest_image() {
  local dir
  dir=$(image_dir)
  if ! image_sound "$dir"; then
    # Images of another key are stale: this script or the package list changed since.
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
  timeout --kill-after=10 "$limit" qemu-system-x86_64 -nographic -no-reboot -m 8G -smp 2 \
    -cpu max,-smap,-smep -accel tcg,thread=multi \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 panic=-1 quiet init=/sbin/zt4gac-guest-init" \
    -drive "file=$image/root.img,format=raw,if=virtio,snapshot=$snapshot" \
    -virtfs "local,path=$share,mount_tag=job,security_model=none" \
    -net none </dev/null >"$share/console.log" 2>&1 || status=$?
  if ! grep -q 'zt4gac-guest: up' "$share/console.log"; then
    rm -f "$image/stamp"
    echo "guest: it did not come up (exit $status); the image will be built anew. Its console:" >&2
    tail -30 "$share/console.log" >&2
    return 1
  fi
  if ((status == 124 || status == 137)); then
    echo "guest: the job did not finish within $limit s; the end of its output:" >&2
    tail -30 "$share/job.log" >&2 || true
    return 1
  fi
  [[ -s $share/job.status ]] || {
    echo "guest: the job's status did not come back (qemu exit $status); the console:" >&2
    tail -30 "$share/console.log" >&2
    return 1
  }
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
  run)
    (($# == 3)) || { echo "usage: scripts/guest.sh run DIR LIMIT" >&2; exit 2; }
    guest_run "$(realpath "$2")" "$3"
    ;;
  *) echo "usage: scripts/guest.sh image | run DIR LIMIT" >&2; exit 2 ;;
esac
