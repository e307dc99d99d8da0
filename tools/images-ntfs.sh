# NTFS test images filled through an ntfs-3g mount.
#
# ntfs_files: an MBR disk with one NTFS partition (4 KiB clusters) holding nested folders,
# small resident files, non-resident files, a fragmented file, a sparse file, a folder
# large enough to need index blocks, and files and a folder tree deleted at the end.
# Every file and folder has a Win32 name (ntfs-3g alone creates POSIX names, which the
# engine ignores): a DOS name is set on each, so a valid 8.3 name becomes one
# "Win32 & DOS" name and a long name gets a Win32 name plus a DOS name. Exactly one file,
# "Documents/posix only name.txt", keeps its POSIX name alone.
#
# OUT.manifest, next to OUT.img, describes the volume as it was before the deletions, in
# the manifest format every test image uses (tests/support/manifest.h): the volume line
# "ntfs", a "# mft_runs" header (the $MFT's runs as ntfsinfo lists them, "LCN:CLUSTERS,…")
# and a "# source" header ("mount" when built here, "fallback" for the committed copy),
# then a folder or file line for every folder and file, with its MFT record number, its
# DOS name ("-" when there is none) and, for a file, the runs of its unnamed $DATA as
# ntfsinfo lists them while the file is live ("LCN:CLUSTERS,…", LCN "hole" for a sparse
# run; "-" for resident data). Dates and times are "-".
#
# Where ntfs-3g cannot mount (no FUSE), the image and manifest are the committed copy in
# tests/data (ntfs_files.img.gz, ntfs_files.manifest), made by tools/refresh-ntfs-fallback
# with NTFS_FILES_SIZE=small.

ALL_IMAGES+=(ntfs_files)

NTFS_TOOLS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# content_file PATH LABEL SIZE: SIZE bytes of text that compresses well; every 512-byte
# block names LABEL and its block number, so misplaced clusters show.
content_file() {
  awk -v label="$2" -v size="$3" 'BEGIN {
    for (b = 0; b * 512 < size; b++) {
      line = sprintf("%-511s\n", label " block " b)
      if (size - b * 512 < 512) line = substr(line, 1, size - b * 512)
      printf "%s", line
    }
  }' > "$1"
}

# ntfs_mount VOLUME DIR / ntfs_unmount DIR: ntfs-3g kept in the foreground so that an
# unmount can wait until everything is written to the volume file.
NTFS_MOUNT_PID=
ntfs_mount() {
  mkdir -p "$2"
  ntfs-3g -o no_detach "$1" "$2" >/dev/null 2>&1 &
  NTFS_MOUNT_PID=$!
  local i
  for i in $(seq 100); do
    mountpoint -q "$2" && return 0
    kill -0 "$NTFS_MOUNT_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill "$NTFS_MOUNT_PID" 2>/dev/null || true
  wait "$NTFS_MOUNT_PID" 2>/dev/null || true
  NTFS_MOUNT_PID=
  return 1
}
ntfs_unmount() {
  [ -n "$NTFS_MOUNT_PID" ] || return 0
  umount "$1" 2>/dev/null || fusermount -u "$1"
  wait "$NTFS_MOUNT_PID" 2>/dev/null || true
  NTFS_MOUNT_PID=
}

# ntfs_partitioned_disk IMAGE VOLUME START SECTORS: IMAGE as an MBR disk whose one NTFS partition
# at START holds the SECTORS of VOLUME.
ntfs_partitioned_disk() {
  new_image "$1" $(( $3 + $4 ))
  partition_table "$1" <<SFDISK
label: dos
start=$3, size=$4, type=7
SFDISK
  place_volume "$1" "$2" "$3"
}

# win32 PATH DOSNAME: gives PATH a Win32 name by setting its DOS name.
win32() { setfattr -h -n system.ntfs_dos_name -v "$2" "$1"; }

# ntfs_runs VOLUME RECORD: the runs of the record's unnamed $DATA, "LCN:CLUSTERS,…".
ntfs_runs() {
  local out="" vcn lcn length
  while read -r vcn lcn length; do
    [ "$lcn" = "<HOLE>" ] && lcn=hole || lcn=$(( lcn ))
    out+="${out:+,}$lcn:$(( length ))"
  done < <(ntfsinfo -v -i "$2" "$1" 2>/dev/null | awk '
    /^Dumping attribute/ { data = ($3 == "$DATA"); runs = 0; next }
    data && /Name length:/ && $3 != 0 { data = 0 }
    data && /Runlist:/ { runs = 1; next }
    data && runs && NF == 3 && $1 ~ /^0x/ { print; next }
    data && runs { runs = 0 }')
  echo "${out:--}"
}

# The files and folders, made through the mount at $1. Sizes scale with $2 (KiB per unit).
ntfs_files_fill() {
  local m=$1 unit=$2
  mkdir -p "$m/Documents/Letters" "$m/Pictures/Trip/Notes" "$m/Archive/Many" "$m/Projects"
  win32 "$m/Documents" DOCUME~1
  win32 "$m/Documents/Letters" LETTERS
  win32 "$m/Pictures" PICTURES
  win32 "$m/Pictures/Trip" TRIP
  win32 "$m/Pictures/Trip/Notes" NOTES
  win32 "$m/Archive" ARCHIVE
  win32 "$m/Archive/Many" MANY
  win32 "$m/Projects" PROJECTS

  content_file "$m/readme.txt" readme 300
  win32 "$m/readme.txt" README.TXT
  content_file "$m/Documents/Letters/letter1.txt" letter1 180
  win32 "$m/Documents/Letters/letter1.txt" LETTER1.TXT
  content_file "$m/Documents/Letters/A long letter name.txt" longletter 420
  win32 "$m/Documents/Letters/A long letter name.txt" ALONGL~1.TXT
  content_file "$m/Documents/report.doc" report $(( 3 * unit * 1024 + 123 ))
  win32 "$m/Documents/report.doc" REPORT.DOC
  content_file "$m/Documents/posix only name.txt" posixonly 600

  content_file "$m/Pictures/holiday photo.jpg" holiday $(( 2 * unit * 1024 + 77 ))
  win32 "$m/Pictures/holiday photo.jpg" HOLIDA~1.JPG
  content_file "$m/Pictures/Trip/day1.jpg" day1 $(( unit * 1024 + 5 ))
  win32 "$m/Pictures/Trip/day1.jpg" DAY1.JPG
  content_file "$m/Pictures/Trip/Notes/note.txt" note 90
  win32 "$m/Pictures/Trip/Notes/note.txt" NOTE.TXT

  local i name
  for i in $(seq -w 1 40); do
    name="$m/Archive/Many/item$i.txt"
    content_file "$name" "item$i" $(( 100 + 10#$i ))
    win32 "$name" "ITEM$i.TXT"
  done

  # A fragmented file: two files grown by turns, one cluster at a time, then the
  # filler deleted (at the end, with the others).
  content_file chunk.a fragmented 4096
  content_file chunk.b filler 4096
  : > "$m/Archive/fragmented.bin"
  : > "$m/Archive/filler.bin"
  for i in $(seq 1 $(( unit / 4 ))); do
    cat chunk.a >> "$m/Archive/fragmented.bin"
    cat chunk.b >> "$m/Archive/filler.bin"
  done
  win32 "$m/Archive/fragmented.bin" FRAGME~1.BIN
  win32 "$m/Archive/filler.bin" FILLER.BIN

  # A sparse file: one cluster, a hole of 255 clusters, one cluster.
  content_file chunk.s sparse 4096
  cat chunk.s > "$m/Archive/sparse.bin"
  dd if=chunk.s of="$m/Archive/sparse.bin" bs=4096 seek=256 conv=notrunc status=none
  win32 "$m/Archive/sparse.bin" SPARSE.BIN

  content_file "$m/Projects/old.txt" old 250
  win32 "$m/Projects/old.txt" OLD.TXT
  content_file "$m/Projects/old big.dat" oldbig $(( unit * 1024 + 999 ))
  win32 "$m/Projects/old big.dat" OLDBIG~1.DAT
  content_file "$m/Projects/keep.txt" keep 64
  win32 "$m/Projects/keep.txt" KEEP.TXT
}

# What is deleted once the volume has been described.
NTFS_FILES_DELETED=("Archive/filler.bin" "Projects/old.txt" "Projects/old big.dat" "Pictures/Trip")

# ntfs_can_mount: true when a small NTFS volume file can be mounted here.
ntfs_can_mount() {
  command -v mkntfs >/dev/null 2>&1 && command -v ntfs-3g >/dev/null 2>&1 || return 1
  command -v mountpoint >/dev/null 2>&1 || return 1
  new_image probe.img 4096
  mkntfs -F -q -Q -s 512 -c 4096 probe.img >/dev/null 2>&1 || return 1
  ntfs_mount probe.img probe || return 1
  ntfs_unmount probe
  rm -rf probe probe.img
}

# build_ntfs_files OUT SIZE: builds OUT.img and OUT.manifest through a mount in the current
# (scratch) directory; SIZE is "full" or "small".
build_ntfs_files() {
  local out=$1 size=$2 img=$1.img
  need sfdisk mkntfs ntfs-3g ntfsinfo setfattr getfattr mountpoint
  local start=2048 sectors unit
  case $size in
    full) sectors=63488 unit=1024 ;;   # 31 MiB volume, files of 1–3 MiB
    small) sectors=8192 unit=160 ;;    # 4 MiB volume, files of 160–480 KiB
    *) die "unknown size: $size" ;;
  esac
  new_image vol.img "$sectors"
  mkntfs -F -q -Q -s 512 -c 4096 -p "$start" -H 255 -S 63 -L FILES vol.img >/dev/null 2>&1
  ntfs_mount vol.img mnt || die "cannot mount the new volume"
  trap 'ntfs_unmount mnt' EXIT

  ntfs_files_fill mnt "$unit"

  # Describe every file and folder while all are live.
  local body=manifest.body kind path rec dos sz hash
  : > "$body"
  while IFS= read -r -d '' path; do
    path=${path#mnt/}
    rec=$(stat -c %i "mnt/$path")
    dos=$(getfattr -h --only-values -n system.ntfs_dos_name "mnt/$path" 2>/dev/null || true)
    [ -n "$dos" ] || dos=-
    if [ -d "mnt/$path" ]; then
      printf 'folder\t%s\t0\t-\t0\t%s\t%s\t-\n' "$path" "$rec" "$dos" >> "$body"
    else
      sz=$(stat -c %s "mnt/$path")
      hash=$(sha "mnt/$path")
      printf 'file\t%s\t%s\t%s\t0\t%s\t%s\t@\n' "$path" "$sz" "$hash" "$rec" "$dos" >> "$body"
    fi
  done < <(find mnt -mindepth 1 -print0 | sort -z)
  ntfs_unmount mnt

  # Runs as ntfsinfo reads them from the unmounted volume.
  local runs line
  : > manifest.runs
  while IFS= read -r line; do
    IFS=$'\t' read -r kind path sz hash _ rec dos runs <<< "$line"
    if [ "$kind" = file ]; then runs=$(ntfs_runs vol.img "$rec"); fi
    printf '%s\t%s\t%s\t%s\t0\t%s\t%s\t%s\n' "$kind" "$path" "$sz" "$hash" "$rec" "$dos" "$runs" >> manifest.runs
  done < "$body"
  local mft_runs
  mft_runs=$(ntfs_runs vol.img 0)

  ntfs_mount vol.img mnt || die "cannot mount the volume again"
  local gone
  for gone in "${NTFS_FILES_DELETED[@]}"; do rm -rf "mnt/$gone"; done
  ntfs_unmount mnt
  trap - EXIT

  {
    printf '# mft_runs %s\n# source mount\n' "$mft_runs"
    printf 'volume\tntfs\tNTFS\t%s\t%s\t8\n' "$start" $(( start + sectors - 1 ))
    local deleted
    while IFS=$'\t' read -r kind path sz hash _ rec dos runs; do
      deleted=0
      for gone in "${NTFS_FILES_DELETED[@]}"; do
        if [ "$path" = "$gone" ] || [[ "$path" == "$gone/"* ]]; then deleted=1; fi
      done
      if [ "$kind" = folder ]; then
        printf 'folder\tntfs\t/%s\t%s\t%s\t%s\n' "$path" "$deleted" "$rec" "$dos"
      else
        printf 'file\tntfs\t/%s\t%s\t%s\t-\t-\t%s\t%s\t%s\t%s\n' "$path" "$sz" "$hash" "$deleted" "$rec" "$dos" "$runs"
      fi
    done < manifest.runs
  } > "$out.manifest"

  ntfs_partitioned_disk "$img" vol.img "$start" "$sectors"
}

image_ntfs_files() {
  local out=$1
  if ntfs_can_mount; then
    build_ntfs_files "$out" "${NTFS_FILES_SIZE:-full}"
    return
  fi
  # No mount here: the committed copy.
  local data=$NTFS_TOOLS_DIR/../tests/data
  echo "ntfs_files: ntfs-3g cannot mount here; using the committed copy" >&2
  gzip -dc "$data/ntfs_files.img.gz" > "$out.img"
  sed 's/^# source mount$/# source fallback/' "$data/ntfs_files.manifest" > "$out.manifest"
}
