# Shared helpers for the image builders. Every builder works on image files only:
# sfdisk, mkfs.fat and mtools on files, mkntfs on a file that is then placed into the
# disk image, ntfs-3g through FUSE where it is available.
set -euo pipefail
export TZ=UTC LC_ALL=C MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0

die() { echo "$(basename "$0"): $*" >&2; exit 1; }

need() {
  for tool in "$@"; do command -v "$tool" >/dev/null 2>&1 || die "missing tool: $tool"; done
}

# new_image FILE SECTORS: a sparse file of that many sectors.
new_image() {
  rm -f "$1"
  truncate -s $(( $2 * 512 )) "$1"
}

# partition_table FILE <<SCRIPT: an MBR written by sfdisk from an sfdisk script.
partition_table() {
  sfdisk --quiet --no-reread --no-tell-kernel "$1" >/dev/null
}

# place_volume DISK VOLUME START_SECTOR: copies a volume file into the disk image.
place_volume() {
  dd if="$2" of="$1" bs=512 seek="$3" conv=notrunc,sparse status=none
}

# The mtools name of a FAT volume at a sector offset inside a disk image.
fat_at() { echo "$1@@$(( $2 * 512 ))"; }

# random_file PATH SIZE: a file of random bytes (its hash goes into the manifest).
random_file() {
  head -c "$2" /dev/urandom > "$1"
}

# stamp FILE "YYYY-mm-dd HH:MM:SS": sets a file's modification time (UTC).
stamp() { touch -d "$2" "$1"; }

sha() { sha256sum "$1" | cut -d' ' -f1; }
