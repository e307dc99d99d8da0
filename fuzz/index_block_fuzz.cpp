// NTFS index blocks ("INDX"): repaired by their update sequence, then every entry walked
// with the buffer's own size and with the size the block states (when it fits).
#include <vector>

#include "ntfs/index_block.h"
#include "ntfs/mft_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  std::vector<std::uint8_t> block(data, data + size);
  applyUpdateSequence(block, block.size());
  const ByteSpan bytes(block);
  (void)isIndexBlock(bytes);
  (void)indexBlockVcn(bytes);
  std::size_t entries = 0;
  const auto count = [&](const IndexEntry&) { ++entries; };
  forEachIndexEntry(bytes, block.size(), count);
  forEachIndexEntry(
      bytes, static_cast<std::size_t>(std::min<std::uint64_t>(indexBlockSize(bytes), block.size())),
      count);
  return 0;
}
