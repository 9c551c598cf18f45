#!/usr/bin/env bash
# build-image.sh DIR MIRROR: the guest's disk before its first boot, DIR/root.img, DIR/vmlinuz and
# DIR/initrd.img: Debian 12 from MIRROR (debootstrap, then packages.txt) with init.sh as its init, written
# into the disk by mke2fs, without loop devices. Runs as root (chroot needs it); the logs stay in DIR.
set -euo pipefail
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
dir=$1 mirror=$2 root=$1/root status=0
packages=$(grep -v -E '^[[:space:]]*(#|$)' "$here/packages.txt" | tr '\n' ' ')
echo "guest image: debootstrap bookworm from $mirror" >&2
debootstrap --variant=minbase --arch=amd64 bookworm "$root" "$mirror" >"$dir/debootstrap.log" 2>&1 ||
  { tail -20 "$dir/debootstrap.log" >&2; exit 1; }
# The modules the root disk and the shared folder need, in the initramfs the kernel's package makes.
mkdir -p "$root/etc/initramfs-tools"
printf '%s\n' virtio_pci virtio_blk ext4 9p 9pnet_virtio >>"$root/etc/initramfs-tools/modules"
echo "guest image: installing $packages" >&2
mount -t proc proc "$root/proc"
chroot "$root" /bin/sh -c "dpkg --add-architecture i386 && apt-get update -q &&
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $packages &&
  apt-get clean" >"$dir/packages.log" 2>&1 || status=$?
umount "$root/proc"
((status == 0)) || { tail -20 "$dir/packages.log" >&2; exit 1; }
rm -rf "$root"/var/lib/apt/lists/*
install -m 755 "$here/init.sh" "$root/sbin/zt4gac-guest-init"
mkdir -p "$root/job"
kernels=("$root"/boot/vmlinuz-*) initrds=("$root"/boot/initrd.img-*)
cp "${kernels[-1]}" "$dir/vmlinuz" && cp "${initrds[-1]}" "$dir/initrd.img"
# Sparse: a 64-bit Wine prefix takes more than a gigabyte, and unwritten blocks cost nothing.
mke2fs -q -t ext4 -d "$root" -L zt4guest "$dir/root.img" 10G >&2
rm -rf "$root"
