# Volumes holding names in several scripts, written by the tools people use on Linux.
#
# names_fat: a disk with a FAT16 and a FAT32 partition, filled by mtools in a UTF-8
# locale: names that need a long name in UTF-16 ("naïve résumé.doc", "Привет мир.txt",
# "日本語.txt"), and 8.3 names mtools stores as a short entry alone, through the code page
# and with the lower-case flags ("café.txt" as "CAFÉ    TXT", "report.bin"), in the root
# and in the folder "Données"; then everything but KEEP.TXT deleted with mdel. (mtools
# cuts characters beyond U+FFFF to 16 bits, so a name that needs a surrogate pair is made
# on the NTFS volume instead.)
#
# names_ntfs: an MBR disk with one NTFS partition (4 KiB clusters) written through
# ntfs-3g without DOS names, so that every name is in the POSIX namespace alone:
#   Documents/  names in several scripts and one with an emoji (a surrogate pair), deleted;
#   Packed/     a folder with the compressed attribute: its files are stored compressed
#               (compression units of 16 clusters), deleted;
#   Gone/orphan.dat and Gone2/old.dat, deleted with their folders; then a new file takes
#               Gone's record and a new folder "Fresh" takes Gone2's (a new ntfs-3g mount hands
#               out the lowest free record), so the two files' parent references lead to a record
#               that is no longer their folder.
# Manifest lines as every test image has them (tests/support/manifest.h); NTFS lines
# carry the record number, "-" as DOS name and "-" as runs. Where ntfs-3g cannot mount,
# names_ntfs is left empty and the tests on it skip.

ALL_IMAGES+=(names_fat names_ntfs)

NAMES_LOCALE=C.UTF-8

# names_put VOLUME PATH SIZE MANIFEST VOLNAME: a file of random bytes copied in by mcopy.
names_put() {
  local src; src=$(mktemp -p .)
  random_file "$src" "$3"
  LC_ALL=$NAMES_LOCALE mcopy -i "$1" "$src" "::$2"
  printf 'file\t%s\t%s\t%s\t%s\t-\t-\t@DELETED@\n' "$5" "$2" "$3" "$(sha "$src")" >> "$4.part"
  rm -f "$src"
}

names_fill_fat() {
  local v=$1 name=$2 fs=$3 first=$4 last=$5 manifest=$6
  printf 'volume\t%s\t%s\t%s\t%s\t%s\n' "$name" "$fs" "$first" "$last" "$(minfo_value "$v" "cluster size")" >> "$manifest"
  : > "$manifest.part"
  local -a gone=()
  local n path
  LC_ALL=$NAMES_LOCALE mmd -i "$v" "::/Données"
  printf 'folder\t%s\t/Données\t0\n' "$name" >> "$manifest"
  for n in "café.txt" "naïve résumé.doc" "Привет мир.txt" "日本語.txt"; do
    for path in "/$n" "/Données/$n"; do
      names_put "$v" "$path" $(( 700 + ${#gone[@]} * 311 )) "$manifest" "$name"
      gone+=("$path")
    done
  done
  names_put "$v" /report.bin 1500 "$manifest" "$name"
  gone+=(/report.bin)
  names_put "$v" /KEEP.TXT 300 "$manifest" "$name"
  for path in "${gone[@]}"; do LC_ALL=$NAMES_LOCALE mdel -i "$v" "::$path"; done
  sed -e 's/@DELETED@$/1/' -e '/\/KEEP.TXT\t/s/\t1$/\t0/' "$manifest.part" >> "$manifest"
  rm -f "$manifest.part"
}

image_names_fat() {
  local out=$1 img=$1.img
  need sfdisk mkfs.fat mmd mcopy mdel minfo
  new_image "$img" 112640
  partition_table "$img" <<'SFDISK'
label: dos
start=2048, size=40960, type=6
start=43008, size=69632, type=c
SFDISK
  mkfs.fat -F 16 -n NAMES16 --offset 2048 -h 2048 "$img" 20480 >/dev/null 2>&1
  mkfs.fat -F 32 -s 1 -n NAMES32 --offset 43008 -h 43008 "$img" 34816 >/dev/null 2>&1
  : > "$out.manifest"
  names_fill_fat "$(fat_at "$img" 2048)" fat16 FAT16 2048 43007 "$out.manifest"
  names_fill_fat "$(fat_at "$img" 43008)" fat32 FAT32 43008 112639 "$out.manifest"
}

# names_ntfs_note PATH: a manifest line for a file or folder of the mounted volume at mnt.
names_ntfs_note() {
  local path=$1 rec; rec=$(stat -c %i "mnt/$path")
  if [ -d "mnt/$path" ]; then
    printf 'folder\tntfs\t/%s\t@DELETED@\t%s\t-\n' "$path" "$rec" >> manifest.body
  else
    printf 'file\tntfs\t/%s\t%s\t%s\t-\t-\t@DELETED@\t%s\t-\t-\n' "$path" "$(stat -c %s "mnt/$path")" \
      "$(sha "mnt/$path")" "$rec" >> manifest.body
  fi
}

image_names_ntfs() {
  local out=$1 img=$1.img start=2048 sectors=16384
  need sfdisk mkntfs ntfs-3g setfattr mountpoint
  if ! ntfs_can_mount; then
    # No mount here (no FUSE): an empty image and manifest; the tests that need it skip.
    echo "names_ntfs: ntfs-3g cannot mount here; the tests on it are skipped" >&2
    : > "$out.img"
    : > "$out.manifest"
    return 0
  fi
  new_image vol.img "$sectors"
  mkntfs -F -q -Q -s 512 -c 4096 -p "$start" -H 255 -S 63 -L NAMES vol.img >/dev/null 2>&1
  ntfs_mount vol.img mnt || die "cannot mount the new volume"
  trap 'ntfs_unmount mnt' EXIT
  : > manifest.body
  local -a gone=()
  local n

  # Orphans, made first so that their records are the lowest the volume hands out: the
  # folders' records below their files', so that the two new entries made after the
  # deletions take the folders' records and leave the files' alone.
  mkdir mnt/Gone mnt/Gone2
  random_file mnt/Gone/orphan.dat 1005
  random_file mnt/Gone2/old.dat 2222
  local n1 n2
  for n in Gone Gone2 Gone/orphan.dat Gone2/old.dat; do names_ntfs_note "$n"; done
  n1=$(stat -c %i mnt/Gone) n2=$(stat -c %i mnt/Gone2)


  mkdir mnt/Documents
  names_ntfs_note Documents
  for n in "naïve résumé.txt" "Привет мир.txt" "日本語.txt" "😀 smile.txt"; do
    random_file "mnt/Documents/$n" 1234
    names_ntfs_note "Documents/$n"
    gone+=("Documents/$n")
  done

  # Compressed: text that packs well, a mixture of packed, unpackable and empty
  # compression units, and a file of one partial unit.
  mkdir mnt/Packed
  setfattr -h -n system.ntfs_attrib_be -v 0x00000800 mnt/Packed
  names_ntfs_note Packed
  content_file mnt/Packed/text.txt packed 300000
  content_file part.a mixed 70000
  content_file part.b tail 10000
  { cat part.a; head -c 65536 /dev/urandom; head -c 131072 /dev/zero; cat part.b; } > mnt/Packed/mixed.bin
  content_file mnt/Packed/small.txt small 5000
  for n in text.txt mixed.bin small.txt; do
    names_ntfs_note "Packed/$n"
    gone+=("Packed/$n")
  done

  for n in "${gone[@]}"; do rm -f "mnt/$n"; done
  rm -rf mnt/Gone mnt/Gone2
  # A new mount looks for free records from the lowest one on.
  ntfs_unmount mnt
  ntfs_mount vol.img mnt || die "cannot mount the volume again"
  random_file mnt/newfile.dat 100
  mkdir mnt/Fresh
  [ "$(stat -c %i mnt/newfile.dat)" = "$n1" ] || die "the new file did not take Gone's record"
  [ "$(stat -c %i mnt/Fresh)" = "$n2" ] || die "the new folder did not take Gone2's record"
  ntfs_unmount mnt
  trap - EXIT

  {
    printf '# source mount\n'
    printf 'volume\tntfs\tNTFS\t%s\t%s\t8\n' "$start" $(( start + sectors - 1 ))
    local line path deleted
    while IFS= read -r line; do
      path=$(printf '%s' "$line" | cut -f3)
      deleted=0
      for n in "${gone[@]}" Gone Gone2 Gone/orphan.dat Gone2/old.dat; do [ "$path" = "/$n" ] && deleted=1; done
      printf '%s\n' "${line/@DELETED@/$deleted}"
    done < manifest.body
  } > "$out.manifest"

  ntfs_partitioned_disk "$img" vol.img "$start" "$sectors"
}
