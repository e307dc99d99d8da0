// Run lists: the first input byte chooses the sectors per cluster, the next four the
// partition's first sector, the rest are mapping pairs. The decoded table is then asked
// for records by number, as the MFT walk asks it.
#include "ntfs/run_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  if (size < 5) return 0;
  const ByteSpan input(data, size);
  const std::uint32_t sectorsPerCluster = 1u << (data[0] % 8);
  const std::uint32_t partitionStart = u32le(input, 1);
  RunTable table(std::size_t{1} << 20, 4096);
  (void)decodeRunList(input.subspan(5), partitionStart, sectorsPerCluster, table);
  (void)table.totalSectors();
  for (std::uint32_t record : {0u, 1u, 15u, 16u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu})
    (void)sectorOfRecord(table, record);
  return 0;
}
