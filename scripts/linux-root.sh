# The Debian 11 build root of build-linux.sh: where it lies, and the mounts a
# command run in it with chroot needs. Sourced by build-linux.sh and
# tests/linux/portable_test.sh; needs root.
#
#   root_mount ROOT     mounts /proc, /dev and /dev/pts of the system in ROOT
#   root_unmount        unmounts, last first, every mount root_mount made;
#                       callers run it from their EXIT trap, so no mount is
#                       left behind on any way out
#   in_root ROOT CMD... runs CMD in ROOT, with a plain environment
# VARNELO_LINUX_ROOT names the root; build-linux.sh keeps it in build-linux/root.

linux_root_default() { echo "${VARNELO_LINUX_ROOT:-$1/build-linux/root}"; }

root_mounts=()

root_mount() {
  local root=$1 point
  for point in proc dev dev/pts; do
    mountpoint -q "$root/$point" && continue
    mkdir -p "$root/$point"
    case $point in
      proc) mount -t proc proc "$root/proc" ;;
      *) mount --bind "/$point" "$root/$point" ;;
    esac
    root_mounts+=("$root/$point")
  done
}

root_unmount() {
  local i
  for ((i = ${#root_mounts[@]} - 1; i >= 0; i--)); do
    umount "${root_mounts[i]}" 2>/dev/null || umount -l "${root_mounts[i]}" || true
  done
  root_mounts=()
}

# True when anything is mounted at or under the folder: it must not be deleted.
mounted_under() {
  local folder
  folder=$(realpath -m "$1")
  awk -v f="$folder" '$2 == f || index($2, f "/") == 1 { found = 1 } END { exit !found }' /proc/mounts
}

in_root() {
  local root=$1
  shift
  chroot "$root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
    LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}
