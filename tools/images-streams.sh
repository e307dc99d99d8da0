# Named streams and attribute lists on a volume written through ntfs-3g.
#
# streams_ntfs: an MBR disk with one NTFS partition (4 KiB clusters), written through
# ntfs-3g (named streams through its default streams_interface=xattr, as user.NAME):
#   mult1.dat        3000 bytes with two named streams: "ADS" (1234 bytes, non-resident)
#                    and "Zone.Identifier" (26 bytes, resident); deleted.
#   frag.bin         300 clusters of data, each followed by a hole, written one cluster at a
#                    time: its run list no longer fits in its record, so its $DATA is spread
#                    over several records through an $ATTRIBUTE_LIST; kept.
#   frag-gone.bin    the same with 260 clusters, deleted. ntfs-3g removes the last name of
#                    a file with an attribute list when it deletes it, and drops the freed
#                    extension records from the list: what is left is the base record with
#                    its list, its first extent and its times, and the extension record
#                    that holds the rest of the run list, naming the base record.
# The builder checks with ntfsinfo that both frag files have an $ATTRIBUTE_LIST. Manifest
# lines as names_ntfs has them; a stream is a file line whose path is "/FILE:STREAM".

ALL_IMAGES+=(streams_ntfs)

# streams_note PATH [SOURCE]: a manifest line for a file (or, with SOURCE, a stream whose
# bytes are in SOURCE) of the mounted volume at mnt.
streams_note() {
  local path=$1 src=${2:-mnt/$1} rec; rec=$(stat -c %i "mnt/${1%%:*}")
  printf 'file\tntfs\t/%s\t%s\t%s\t-\t-\t@DELETED@\t%s\t-\t-\n' "$path" "$(stat -c %s "$src")" \
    "$(sha "$src")" "$rec" >> manifest.body
}

# streams_holes PATH CLUSTERS: CLUSTERS clusters of random data, each followed by a hole,
# written one cluster at a time.
streams_holes() {
  local k
  head -c $(( $2 * 4096 )) /dev/urandom > holes.src
  for k in $(seq 0 $(( $2 - 1 ))); do
    dd if=holes.src of="$1" bs=4096 skip="$k" seek=$(( 2 * k )) count=1 conv=notrunc status=none
  done
}

# streams_check_list VOLUME PATH: dies unless PATH has an attribute list.
streams_check_list() {
  # The whole dump is read before it is searched: grep -q leaving early would end ntfsinfo
  # with SIGPIPE, which pipefail takes for a failure.
  local dump; dump=$(ntfsinfo -F "$2" "$1" 2>/dev/null) || true
  grep -q 'Dumping attribute \$ATTRIBUTE_LIST' <<< "$dump" || die "$2 has no attribute list"
}

image_streams_ntfs() {
  local out=$1 img=$1.img start=2048 sectors=16384
  need sfdisk mkntfs ntfs-3g ntfsinfo setfattr mountpoint
  if ! ntfs_can_mount; then
    echo "streams_ntfs: ntfs-3g cannot mount here; the tests on it are skipped" >&2
    : > "$out.img"
    : > "$out.manifest"
    return 0
  fi
  new_image vol.img "$sectors"
  mkntfs -F -q -Q -s 512 -c 4096 -p "$start" -H 255 -S 63 -L STREAMS vol.img >/dev/null 2>&1
  ntfs_mount vol.img mnt || die "cannot mount the new volume"
  trap 'ntfs_unmount mnt' EXIT
  : > manifest.body

  random_file mnt/mult1.dat 3000
  random_file ads.src 1234
  printf '[ZoneTransfer]\r\nZoneId=3\r\n' > zone.src
  setfattr -n user.ADS -v "0s$(base64 -w0 ads.src)" mnt/mult1.dat
  setfattr -n user.Zone.Identifier -v "0s$(base64 -w0 zone.src)" mnt/mult1.dat
  streams_note mult1.dat
  streams_note mult1.dat:ADS ads.src
  streams_note mult1.dat:Zone.Identifier zone.src

  streams_holes mnt/frag.bin 300
  streams_note frag.bin
  streams_holes mnt/frag-gone.bin 260
  streams_note frag-gone.bin
  ntfs_unmount mnt
  streams_check_list vol.img /frag.bin
  streams_check_list vol.img /frag-gone.bin

  ntfs_mount vol.img mnt || die "cannot mount the volume again"
  rm mnt/frag-gone.bin mnt/mult1.dat
  ntfs_unmount mnt
  trap - EXIT

  {
    printf '# source mount\n'
    printf 'volume\tntfs\tNTFS\t%s\t%s\t8\n' "$start" $(( start + sectors - 1 ))
    local line deleted
    while IFS= read -r line; do
      deleted=1
      [ "$(printf '%s' "$line" | cut -f3)" = /frag.bin ] && deleted=0
      printf '%s\n' "${line/@DELETED@/$deleted}"
    done < manifest.body
  } > "$out.manifest"

  ntfs_partitioned_disk "$img" vol.img "$start" "$sectors"
}
