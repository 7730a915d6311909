#!/usr/bin/env bash
# Runs a command inside a small virtual machine (qemu, software emulation)
# whose root is this machine's own file system, shared read-write. It serves
# where the host kernel refuses 32-bit programs: the guest's kernel runs them.
#   scripts/vm-run.sh COMMAND...    (run from the project root; exit status is the command's)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
vm="$root/build/vm"
kernel=$(ls /boot/vmlinuz-* | sort -V | tail -n 1)
release=${kernel#/boot/vmlinuz-}
modules="/lib/modules/$release/kernel"
mkdir -p "$vm"

# The initramfs: busybox, the virtio and 9p modules, and an init that mounts
# the host's root and runs the job in it.
if [ ! -f "$vm/initramfs-$release.cpio.gz" ]; then
  stage=$(mktemp -d)
  mkdir -p "$stage"/{bin,dev,proc,sys,mnt,modules}
  cp /bin/busybox "$stage/bin/busybox"
  for tool in sh mount insmod poweroff mkdir cat chroot sed; do ln -s busybox "$stage/bin/$tool"; done
  n=0
  for m in drivers/virtio/virtio_ring drivers/virtio/virtio drivers/virtio/virtio_pci_legacy_dev \
           drivers/virtio/virtio_pci_modern_dev drivers/virtio/virtio_pci net/9p/9pnet \
           net/9p/9pnet_virtio fs/netfs/netfs fs/fscache/fscache fs/9p/9p; do
    file=$(ls "$modules/$m".ko* | head -n 1)
    case "$file" in
      *.xz) xz -dc "$file" > "$stage/modules/$(printf %02d $n).ko" ;;
      *) cp "$file" "$stage/modules/$(printf %02d $n).ko" ;;
    esac
    n=$((n + 1))
  done
  cat > "$stage/init" <<'INIT'
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in /modules/*.ko; do insmod "$m"; done
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose hostroot /mnt
mount -t proc proc /mnt/proc
mount -t sysfs sys /mnt/sys
mount -t devtmpfs dev /mnt/dev
# A fresh /tmp of the guest's own (Wine keeps its sockets there); the project
# itself may live under /tmp, so it is carried over the new mount.
project=$(sed -n 's/.*tlgroot=\([^ ]*\).*/\1/p' /proc/cmdline)
mkdir -p /keep
mount --bind "/mnt$project" /keep
mount -t tmpfs tmp /mnt/tmp
mkdir -p "/mnt$project"
mount --bind /keep "/mnt$project"
job=$(sed -n 's/.*tlgjob=\([^ ]*\).*/\1/p' /proc/cmdline)
chroot /mnt /bin/bash "$job" 2>&1 | cat  # a pipe, not the console: programs print plainly
poweroff -f
INIT
  chmod +x "$stage/init"
  (cd "$stage" && find . | cpio -o -H newc 2>/dev/null | gzip -1) > "$vm/initramfs-$release.cpio.gz"
  rm -rf "$stage"
fi

job="$vm/job-$$.sh"
status="$vm/status-$$"
rm -f "$status"
{
  echo "cd '$PWD'"
  echo "export PATH='$PATH' HOME=/tmp LANG=C.UTF-8"
  env | grep -E '^(TLG_|WINE)' | sed "s/^\([^=]*\)=\(.*\)$/export \1='\2'/" || true
  printf '%q ' "$@"
  echo
  echo "echo \$? > '$status'"
} > "$job"
qemu-system-x86_64 -machine q35 -nic none -cpu qemu64,+ssse3,+sse4.1,+sse4.2,+popcnt -m 3072 -smp 2 -nographic -no-reboot \
  -kernel "$kernel" -initrd "$vm/initramfs-$release.cpio.gz" \
  -append "console=ttyS0 quiet loglevel=3 tlgroot=$root tlgjob=$job" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,multidevs=remap,id=hostroot </dev/null
rm -f "$job"
[ -f "$status" ] || { echo "vm-run: the machine stopped without the job's status"; exit 1; }
code=$(cat "$status")
rm -f "$status"
exit "$code"
