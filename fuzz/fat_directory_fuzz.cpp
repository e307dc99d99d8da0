// FAT directory sectors: every 32-byte entry of every sector decoded as the listings
// decode it (short name, deleted mark, first cluster, long name gathered backwards across
// the sectors before it), on FAT16 and on FAT32.
#include "fat/directory_entry.h"
#include "fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  fuzz::FuzzSession s({data, size});
  const std::vector<std::uint8_t> disk = [&] {
    std::vector<std::uint8_t> bytes(data, data + size);
    bytes.resize(s.sectors() * 512, 0);
    return bytes;
  }();
  for (std::uint64_t n = 0; n < s.sectors(); ++n) {
    const std::span<const std::uint8_t> sector(disk.data() + n * 512, 512);
    (void)isDirectoryStart(sector);
    for (std::size_t offset = 0; offset < 512; offset += direntry::kSize) {
      const auto entry = sector.subspan(offset, direntry::kSize);
      (void)entryCluster(entry, FileSystem::Fat16);
      (void)entryCluster(entry, FileSystem::Fat32);
      (void)isDotEntry(entry);
      (void)buildShortName(entry);
      (void)decodeEntryName(s.session, sector, offset, DirectorySector::contiguous(n));
    }
  }
  return 0;
}
