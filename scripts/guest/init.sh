#!/bin/sh
# The guest's first program: mounts what Wine needs and the host's folder as /job, runs /job/job.sh, leaves
# its status in /job/job.status and powers off. "zt4gac-guest: up" on the console tells the host it booted.
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
sleep 60
