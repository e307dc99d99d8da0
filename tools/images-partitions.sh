# Disks laid out in the ways people bring them, made of the FAT and NTFS volumes of the
# fat_disk and ntfs_files images (their files known from those images' manifests):
#
# bare_fat32   the FAT32 volume of fat_disk on its own, from sector 0 (no partition table)
# bare_ntfs    the NTFS volume of ntfs_files on its own
# bare_fat12   a 4 MiB FAT12 stick formatted from sector 0 (not a floppy size)
# three_volumes  an MBR disk: the FAT16 volume of fat_disk at sector 63, its FAT32 volume
#              at sector 43008 and the NTFS volume at 112640 (1 MiB boundaries)
# gpt_disk     a GUID partition table: the FAT32 volume at sector 2048, the NTFS volume at
#              sector 73728
#
# Each manifest holds the volume lines and entries of the volumes placed, with the volume
# lines giving their sectors on the new disk.

ALL_IMAGES+=(bare_fat32 bare_ntfs bare_fat12 three_volumes gpt_disk)
IMAGE_INPUTS_bare_fat32=(fat_disk)
IMAGE_INPUTS_bare_ntfs=(ntfs_files)
IMAGE_INPUTS_three_volumes=(fat_disk ntfs_files)
IMAGE_INPUTS_gpt_disk=(fat_disk ntfs_files)

# volume_line MANIFEST NAME: the volume line of NAME ("volume NAME FS FIRST LAST SPC").
volume_line() { awk -F'\t' -v n="$2" '$1 == "volume" && $2 == n' "$1"; }

# cut_volume SOURCE-OUT NAME DISK SECTOR: copies volume NAME of SOURCE-OUT.img into DISK at
# SECTOR, and appends its manifest lines, the volume line moved there, to DISK's manifest
# (MANIFEST, set by the caller).
cut_volume() {
  local src=$1 name=$2 disk=$3 at=$4
  local fs first last spc
  IFS=$'\t' read -r _ _ fs first last spc < <(volume_line "$src.manifest" "$name")
  [ -n "$first" ] || die "no volume $name in $src.manifest"
  local count=$(( last - first + 1 ))
  dd if="$src.img" of="$disk" bs=512 skip="$first" seek="$at" count="$count" conv=notrunc,sparse status=none
  printf 'volume\t%s\t%s\t%s\t%s\t%s\n' "$name" "$fs" "$at" $(( at + count - 1 )) "$spc" >> "$MANIFEST"
  awk -F'\t' -v n="$name" '$1 != "volume" && $1 !~ /^#/ && $2 == n' "$src.manifest" >> "$MANIFEST"
  grep '^#' "$src.manifest" >> "$MANIFEST.header" || true
}

# finish_manifest OUT: the header lines first, then the rest.
finish_manifest() {
  { sort -u "$MANIFEST.header" 2>/dev/null; cat "$MANIFEST"; } > "$1.manifest"
  rm -f "$MANIFEST" "$MANIFEST.header"
}

volume_sectors() {
  local first last
  IFS=$'\t' read -r _ _ _ first last _ < <(volume_line "$1.manifest" "$2")
  echo $(( last - first + 1 ))
}

image_bare_fat32() {
  local out=$1 src; src=$(dirname "$1")/fat_disk
  MANIFEST=$PWD/m; : > "$MANIFEST"
  new_image "$out.img" "$(volume_sectors "$src" fat32)"
  cut_volume "$src" fat32 "$out.img" 0
  finish_manifest "$out"
}

image_bare_ntfs() {
  local out=$1 src; src=$(dirname "$1")/ntfs_files
  MANIFEST=$PWD/m; : > "$MANIFEST"
  # The volume and the backup boot sector after it.
  new_image "$out.img" $(( $(volume_sectors "$src" ntfs) ))
  cut_volume "$src" ntfs "$out.img" 0
  finish_manifest "$out"
}

image_bare_fat12() {
  local out=$1
  need mkfs.fat mmd mcopy mdel mdeltree mshowfat minfo
  new_image "$out.img" 8192
  mkfs.fat -F 12 -n STICK "$out.img" >/dev/null
  : > "$out.manifest"
  populate_fat "$out.img" 0 stick FAT12 0 8191 "$out.manifest"
}

image_three_volumes() {
  local out=$1 dir; dir=$(dirname "$1")
  need sfdisk
  MANIFEST=$PWD/m; : > "$MANIFEST"
  new_image "$out.img" 178176
  partition_table "$out.img" <<'SFDISK'
label: dos
start=63, size=40960, type=6
start=43008, size=69632, type=c
start=112640, size=63488, type=7
SFDISK
  cut_volume "$dir/fat_disk" fat16 "$out.img" 63
  cut_volume "$dir/fat_disk" fat32 "$out.img" 43008
  cut_volume "$dir/ntfs_files" ntfs "$out.img" 112640
  finish_manifest "$out"
}

image_gpt_disk() {
  local out=$1 dir; dir=$(dirname "$1")
  need sfdisk
  MANIFEST=$PWD/m; : > "$MANIFEST"
  new_image "$out.img" 139264
  sfdisk --quiet --no-reread --no-tell-kernel "$out.img" >/dev/null <<'SFDISK'
label: gpt
start=2048, size=69632, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
start=73728, size=63488, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
SFDISK
  cut_volume "$dir/fat_disk" fat32 "$out.img" 2048
  cut_volume "$dir/ntfs_files" ntfs "$out.img" 73728
  finish_manifest "$out"
}
