# The test images. Each image_NAME function builds OUT.img (and, where the tests need
# to know what was put on it, OUT.manifest) in the current (scratch) directory.

ALL_IMAGES+=(mbr_fat ntfs_disk)

# A disk with a primary FAT32 partition and an extended partition that holds a FAT16
# and a FAT32 logical partition. Each volume has a few folders, so that a layout can
# also be worked out from its directory clusters.
image_mbr_fat() {
  local out=$1 img=$1.img
  need sfdisk mkfs.fat mmd mcopy
  new_image "$img" 190000
  partition_table "$img" <<'SFDISK'
label: dos
start=2048, size=70000, type=c
start=72048, size=117952, type=5
start=74096, size=40000, type=6
start=116144, size=70000, type=c
SFDISK
  mkfs.fat -F 32 -n PRIMARY --offset 2048 -h 2048 "$img" 35000 >/dev/null 2>&1
  mkfs.fat -F 16 -n LOGICAL16 --offset 74096 -h 74096 "$img" 20000 >/dev/null 2>&1
  mkfs.fat -F 32 -n LOGICAL32 --offset 116144 -h 116144 "$img" 35000 >/dev/null 2>&1
  local start
  for start in 2048 74096 116144; do
    local vol; vol=$(fat_at "$img" "$start")
    mmd -i "$vol" ::/ALPHA ::/ALPHA/BETA ::/GAMMA
    echo "note $start" > note.txt
    mcopy -i "$vol" note.txt ::/ALPHA/BETA/NOTE.TXT
  done
}

# A disk with one NTFS partition of 40960 sectors at sector 2048 (4 KiB clusters).
image_ntfs_disk() {
  local out=$1 img=$1.img
  need sfdisk mkntfs
  new_image "$img" 45056
  partition_table "$img" <<'SFDISK'
label: dos
start=2048, size=40960, type=7
SFDISK
  new_image vol.img 40960
  mkntfs -F -q -Q -s 512 -c 4096 -p 2048 -H 255 -S 63 -L TESTNTFS vol.img >/dev/null 2>&1
  place_volume "$img" vol.img 2048
}
