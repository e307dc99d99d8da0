# The FAT and NTFS test disks in the container files other tools write: E01 (ewfacquire),
# fixed and dynamic VHD, VHDX, VMDK and QCOW2 (qemu-img). Each holds the raw image it is
# made from, byte for byte. Files: OUT.E01 (and .E02, ...), OUT.fixed.vhd, OUT.dynamic.vhd,
# OUT.vhdx, OUT.vmdk, OUT.qcow2.

ALL_IMAGES+=(fat_disk_containers ntfs_files_containers)
IMAGE_INPUTS_fat_disk_containers=(fat_disk)
IMAGE_INPUTS_ntfs_files_containers=(ntfs_files)

# containers_of RAW OUT EWFACQUIRE-OPTION...
containers_of() {
  local raw=$1 out=$2
  shift 2
  need ewfacquire qemu-img
  ewfacquire -u -q -f encase6 "$@" -t "$out" "$raw" >/dev/null
  # force_size keeps the disk's own size instead of one rounded to a CHS geometry.
  qemu-img convert -f raw -O vpc -o subformat=fixed,force_size=on "$raw" "$out.fixed.vhd"
  qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on "$raw" "$out.dynamic.vhd"
  qemu-img convert -f raw -O vhdx "$raw" "$out.vhdx"
  qemu-img convert -f raw -O vmdk -o subformat=monolithicSparse "$raw" "$out.vmdk"
  qemu-img convert -f raw -O qcow2 "$raw" "$out.qcow2"
}

# The FAT disk as an uncompressed E01 set of three segments.
image_fat_disk_containers() {
  containers_of "$(dirname "$1")/fat_disk.img" "$1" -c none -S 20MiB
}

# The NTFS disk as a compressed E01 of one segment.
image_ntfs_files_containers() {
  containers_of "$(dirname "$1")/ntfs_files.img" "$1" -c deflate:fast
}
