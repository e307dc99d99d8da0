# FAT volumes for the ways a deleted file's clusters are found when its chain is gone:
# a FAT16 file deleted after it was written into four fragments between live files, and
# FAT32 files on both sides of cluster 65536, one of whose entries lost the high word of
# its first cluster after deletion. Manifest lines as in images-fat.sh.

ALL_IMAGES+=(fat_methods)

image_fat_methods() {
  local out=$1 img=$1.img
  need sfdisk mkfs.fat mmd mcopy mdel mmove mshowfat minfo
  new_image "$img" 94000
  partition_table "$img" <<'SFDISK'
label: dos
start=2048, size=20480, type=6
start=22528, size=70000, type=c
SFDISK
  mkfs.fat -F 16 -s 4 -n FRAGMENTS --offset 2048 -h 2048 "$img" 10240 >/dev/null 2>&1
  mkfs.fat -F 32 -s 1 -n HIGHWORD --offset 22528 -h 22528 "$img" 35000 >/dev/null 2>&1
  : > "$out.manifest"
  local v file

  # FAT16: A1 L1 A2 L2 A3 L3 A4 L4 written in turn (A of two clusters, L of one), the A
  # files deleted, then FRAG.BIN written into their four holes and deleted in turn.
  v=$(fat_at "$img" 2048)
  printf 'volume\tfat16\tFAT16\t2048\t22527\t4\n' >> "$out.manifest"
  for i in 1 2 3 4; do
    random_file a.bin 4096
    random_file l.bin 2048
    mcopy -i "$v" a.bin "::/A$i.BIN"
    mcopy -i "$v" l.bin "::/L$i.BIN"
  done
  mdel -i "$v" ::/A1.BIN ::/A2.BIN ::/A3.BIN ::/A4.BIN
  random_file frag.bin 15000
  mcopy -i "$v" frag.bin ::/FRAG.BIN
  local layout; layout=$(mshowfat -i "$v" ::/FRAG.BIN)
  [ "$layout" = "::/FRAG.BIN <2-3> <5-6> <8-9> <11-12>" ] || die "FRAG.BIN is not in four fragments: $layout"
  mdel -i "$v" ::/FRAG.BIN
  printf 'file\tfat16\t/FRAG.BIN\t15000\t%s\t-\t-\t1\n' "$(sha frag.bin)" >> "$out.manifest"

  # FAT32: LOW's files below cluster 65536, a filler, then HIGH's file above it; MOVED.BIN
  # is moved from LOW into HIGH, so its first cluster's high word is truly 0 in a folder
  # whose own is not.
  v=$(fat_at "$img" 22528)
  printf 'volume\tfat32\tFAT32\t22528\t92527\t1\n' >> "$out.manifest"
  mmd -i "$v" ::/LOW
  random_file low.bin 3000
  random_file moved.bin 2500
  mcopy -i "$v" low.bin ::/LOW/LOWFILE.BIN
  mcopy -i "$v" moved.bin ::/LOW/MOVED.BIN
  head -c $(( 66000 * 512 )) /dev/zero > filler.bin
  mcopy -i "$v" filler.bin ::/FILLER.BIN
  rm -f filler.bin
  mmd -i "$v" ::/HIGH
  random_file high.bin 5000
  mcopy -i "$v" high.bin ::/HIGH/HIFILE.BIN
  mmove -i "$v" ::/LOW/MOVED.BIN ::/HIGH/MOVED.BIN
  local high; high=$(first_cluster "$v" /HIGH)
  [ "$(first_cluster "$v" /HIGH/HIFILE.BIN)" -gt 65535 ] || die "HIFILE.BIN lies below cluster 65536"
  mdel -i "$v" ::/LOW/LOWFILE.BIN ::/HIGH/HIFILE.BIN ::/HIGH/MOVED.BIN
  # HIFILE.BIN's entry (after "." and "..") loses the high word of its first cluster.
  local at=$(( 22528 * 512 + $(cluster_offset "$v" "$high") + 2 * 32 ))
  [ "$(dd if="$img" bs=1 skip=$(( at + 1 )) count=10 status=none)" = "IFILE  BIN" ] || die "HIFILE.BIN's entry is not where expected"
  printf '\0\0' | dd of="$img" bs=1 seek=$(( at + 20 )) conv=notrunc status=none
  for file in /LOW/LOWFILE.BIN:low.bin /HIGH/HIFILE.BIN:high.bin /HIGH/MOVED.BIN:moved.bin; do
    printf 'file\tfat32\t%s\t%s\t%s\t-\t-\t1\n' "${file%%:*}" "$(stat -c %s "${file##*:}")" "$(sha "${file##*:}")" \
      >> "$out.manifest"
  done
}
