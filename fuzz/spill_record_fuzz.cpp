// Spill-file records: every 325-byte piece of the input decoded as the Advanced NTFS
// resolution reads its records back, and each record that decodes written again and read
// back, which must give the same record but for a name cut to what the field holds.
#include "ntfs/spill_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  const ByteSpan input(data, size);
  for (std::size_t offset = 0; offset < size; offset += spill::kRecordSize) {
    const auto record = decodeSpillRecord(input.subspan(offset));
    if (!record) continue;
    const SpillBytes bytes = encodeSpillRecord(*record);
    const auto again = decodeSpillRecord(bytes);
    // A name that fills the whole field comes back cut before its last character; every
    // other field comes back as it was.
    if (!again) __builtin_trap();
    SpillRecord expected = *record;
    expected.name = again->name;
    if (!(*again == expected) || record->name.rfind(again->name, 0) != 0) __builtin_trap();
  }
  return 0;
}
