# FAT volumes filled and partly deleted with mtools, for the Quick scan and the save
# tests. Each volume gets the same tree (see populate_fat); the manifest records what
# was put there before anything was deleted.
#
# Manifest lines (tab-separated):
#   volume  NAME  FS  FIRST-SECTOR  LAST-SECTOR  SECTORS-PER-CLUSTER
#   folder  NAME  PATH  DELETED
#   file    NAME  PATH  SIZE  SHA256  DATE  TIME  DELETED
#   lost    NAME  PATH            (a folder whose parent's directory was overwritten)
# DELETED is 1 for what was deleted, itself or through a deleted folder. DATE and TIME are
# the texts the file list shows ("09-Mar-2005", "14:05"). Paths use "/".

ALL_IMAGES+=(fat_floppy fat_disk)

# minfo_value IMAGE LABEL: a number from mtools' own reading of the boot sector.
minfo_value() {
  minfo -i "$1" 2>/dev/null | sed -n "s/^$2[:=] *\([0-9]*\).*/\1/p" | head -n1
}

# first_cluster IMAGE PATH: the first cluster mtools gives for a file or folder.
first_cluster() {
  mshowfat -i "$1" "::$2" | sed -n 's/.*<\([0-9]*\).*/\1/p' | head -n1
}

# cluster_offset IMAGE CLUSTER: byte offset of a cluster inside the volume.
cluster_offset() {
  local image=$1 c=$2 spc reserved fatlen fats rootslots data
  spc=$(minfo_value "$image" "cluster size")
  reserved=$(minfo_value "$image" "reserved (boot) sectors")
  fats=$(minfo_value "$image" "fats")
  fatlen=$(minfo_value "$image" "sectors per fat")
  [ "${fatlen:-0}" -eq 0 ] && fatlen=$(minfo_value "$image" "Big fatlen")
  rootslots=$(minfo_value "$image" "max available root directory slots")
  data=$(( reserved + fats * fatlen + rootslots * 32 / 512 ))
  echo $(( (data + (c - 2) * spc) * 512 ))
}

# populate_fat IMAGE OFFSET-SECTOR NAME FS FIRST LAST MANIFEST
populate_fat() {
  local img=$1 offset=$2 name=$3 fs=$4 first=$5 last=$6 manifest=$7
  local v="$img@@$(( offset * 512 ))"
  local spc; spc=$(minfo_value "$v" "cluster size")
  local cluster_bytes=$(( spc * 512 ))
  printf 'volume\t%s\t%s\t%s\t%s\t%s\n' "$name" "$fs" "$first" "$last" "$spc" >> "$manifest"

  local -A deleted_paths=()
  # put PATH SIZE DATE (YYYY-mm-dd HH:MM:SS) [TEXT]
  put() {
    local path=$1 size=$2 when=$3 text=${4:-}
    local src; src=$(mktemp -p .)
    if [ -n "$text" ]; then printf '%s' "$text" | head -c "$size" > "$src"; else random_file "$src" "$size"; fi
    stamp "$src" "$when"
    mcopy -m -i "$v" "$src" "::$path"
    local d t; d=$(date -u -d "$when" '+%d-%b-%Y'); t=$(date -u -d "$when" '+%H:%M')
    printf 'file\t%s\t%s\t%s\t%s\t%s\t%s\t@DELETED@\n' "$name" "$path" "$size" "$(sha "$src")" "$d" "$t" >> "$manifest.part"
    rm -f "$src"
  }
  dir() {
    mmd -i "$v" "::$1"
    printf 'folder\t%s\t%s\t@DELETED@\n' "$name" "$1" >> "$manifest.part"
  }

  : > "$manifest.part"
  if [ "$fs" = FAT32 ]; then
    # Pushes everything after it beyond cluster 65535, so the high word of cluster numbers counts.
    local filler=$(( (66000 - 2) * cluster_bytes ))
    head -c "$filler" /dev/zero > filler.bin
    mcopy -i "$v" filler.bin ::/FILLER.BIN
    rm -f filler.bin
  fi
  put /README.TXT 1200 "2004-06-01 10:00:00" "$(printf 'Tessaly test volume %s. %.0s' "$name" {1..60})"
  put /NOTES.TXT 700 "2005-03-09 14:05:30"
  put "/Letter to Ada.txt" 3000 "2005-06-15 08:30:00"
  dir /Documents
  put /Documents/REPORT.DOC 5000 "2003-12-24 18:45:10"
  put "/Documents/Budget 2024.xls" 9000 "2031-01-02 09:01:00"
  put /Documents/EMPTY.TXT 0 "2006-01-01 00:00:00"
  put "/Documents/Exact Cluster.bin" $(( 2 * cluster_bytes )) "2007-07-07 07:07:06"
  put "/Documents/A Very Long File Name For Testing Purposes.doc" 4100 "2008-02-29 23:59:58"
  dir "/Documents/Old Archive"
  put "/Documents/Old Archive/plan.doc" 2500 "2004-03-03 03:03:02"
  dir "/Documents/Old Archive/Deep Folder"
  put "/Documents/Old Archive/Deep Folder/inner.txt" 1500 "2004-05-10 12:00:00"
  dir "/Documents/Old Archive/Deep Folder/SUBDIR2"
  dir "/Photos Folder"
  dir "/Photos Folder/Summer"
  put "/Photos Folder/Summer/beach.jpg" 6000 "2010-08-01 16:20:00"
  put "/Photos Folder/dunes.jpg" 4000 "2010-08-02 16:20:00"
  dir /KEEP
  dir /KEEP/SUB
  put /KEEP/SUB/GONE.TXT 800 "2011-11-11 11:11:10"
  dir /LOSTPARENT
  dir /LOSTPARENT/ORPHAN
  dir /LOSTPARENT/ORPHAN/CHILD
  put /LOSTPARENT/ORPHAN/CHILD/gone.txt 900 "2012-12-12 12:12:12"

  # Deletions: single files, then whole folder trees.
  mdel -i "$v" ::/NOTES.TXT "::/Letter to Ada.txt" "::/Documents/Budget 2024.xls" \
    ::/Documents/EMPTY.TXT "::/Documents/Exact Cluster.bin" \
    "::/Documents/A Very Long File Name For Testing Purposes.doc" ::/LOSTPARENT/ORPHAN/CHILD/gone.txt
  for p in /NOTES.TXT "/Letter to Ada.txt" "/Documents/Budget 2024.xls" /Documents/EMPTY.TXT \
           "/Documents/Exact Cluster.bin" "/Documents/A Very Long File Name For Testing Purposes.doc" \
           /LOSTPARENT/ORPHAN/CHILD/gone.txt; do deleted_paths[$p]=1; done
  mdeltree -i "$v" "::/Documents/Old Archive" "::/Photos Folder" ::/KEEP/SUB
  for p in "/Documents/Old Archive" "/Photos Folder" /KEEP/SUB; do deleted_paths[$p]=1; done

  # The directory that held ORPHAN is overwritten: ORPHAN loses its parent.
  local lost_cluster; lost_cluster=$(first_cluster "$v" /LOSTPARENT)
  local at; at=$(cluster_offset "$v" "$lost_cluster")
  dd if=/dev/zero of="$img" bs=1 seek=$(( offset * 512 + at )) count="$cluster_bytes" conv=notrunc status=none
  printf 'lost\t%s\t%s\n' "$name" /LOSTPARENT/ORPHAN >> "$manifest"

  # Resolve the deleted marks: a path is deleted when it or a folder above it was.
  local line path flag prefix
  while IFS= read -r line; do
    path=$(printf '%s' "$line" | cut -f3)
    flag=0
    for prefix in "${!deleted_paths[@]}"; do
      if [ "$path" = "$prefix" ] || [[ "$path" == "$prefix/"* ]]; then flag=1; fi
    done
    printf '%s\n' "${line/@DELETED@/$flag}" >> "$manifest"
  done < "$manifest.part"
  rm -f "$manifest.part"
}

# A 1.44 MB FAT12 floppy image (no partition table).
image_fat_floppy() {
  local out=$1
  need mkfs.fat mmd mcopy mdel mdeltree mshowfat minfo
  rm -f "$out.img"
  mkfs.fat -C -F 12 -n FLOPPY "$out.img" 1440 >/dev/null
  : > "$out.manifest"
  populate_fat "$out.img" 0 floppy FAT12 0 2879 "$out.manifest"
}

# A disk with a FAT16 and a FAT32 primary partition.
image_fat_disk() {
  local out=$1 img=$1.img
  need sfdisk mkfs.fat mmd mcopy mdel mdeltree mshowfat minfo
  new_image "$img" 112640
  partition_table "$img" <<'SFDISK'
label: dos
start=2048, size=40960, type=6
start=43008, size=69632, type=c
SFDISK
  mkfs.fat -F 16 -n SCAN16 --offset 2048 -h 2048 "$img" 20480 >/dev/null 2>&1
  mkfs.fat -F 32 -s 1 -n SCAN32 --offset 43008 -h 43008 "$img" 34816 >/dev/null 2>&1
  : > "$out.manifest"
  populate_fat "$img" 2048 fat16 FAT16 2048 43007 "$out.manifest"
  populate_fat "$img" 43008 fat32 FAT32 43008 112639 "$out.manifest"
}
