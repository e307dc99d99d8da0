// One MFT record: repaired by its update sequence, then every accessor the NTFS engine
// uses, each attribute's resident content and attribute-list entries, and the run list
// of each non-resident attribute.
#include <array>
#include <cstring>

#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  MftRecord record{};
  std::memcpy(record.data(), data, std::min(size, record.size()));
  applyUpdateSequence(record, record.size());
  const ByteSpan bytes(record);
  (void)isFileRecord(bytes);
  (void)recordState(bytes);
  (void)recordAllocatedSize(bytes);
  (void)readStandardTimes(bytes);
  for (std::uint8_t space = 0; space < 4; ++space) {
    (void)findFileName(bytes, space);
    (void)findFileNameWithTimes(bytes, space);
  }
  (void)findPreferredFileName(bytes);
  (void)findDataSize(bytes);
  (void)locateData(bytes);
  std::vector<std::uint32_t> segments;
  collectAttributeList(bytes, segments);
  (void)directorySelfNumber(bytes);
  (void)firstIndexRun(bytes);

  AttributeWalk walk(bytes);
  while (auto attribute = walk.next()) {
    if (auto content = attribute->residentContent()) {
      forEachListEntry(*content, [](const AttributeListEntry&) { return true; });
      (void)ntfsName(*content, mft::kFnName, content->size() / 2);
    }
    if (attribute->nonResident == 1 && fits(attribute->bytes, mft::kAttrMappingPairs, 2)) {
      const std::size_t pairs = u16le(attribute->bytes, mft::kAttrMappingPairs);
      if (pairs < attribute->bytes.size()) {
        RunTable table(std::size_t{1} << 20, 4096);
        (void)decodeRunList(attribute->bytes.subspan(pairs), 63, 8, table);
        (void)table.totalSectors();
      }
    }
  }
  return 0;
}
