// Feeds arbitrary files to the recovery log reader. Whatever it accepts must write back
// to a file that it reads again to the same bytes.
#include <cstddef>
#include <cstdint>

#include "records/recovery_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tessaly::DecodedLog decoded = tessaly::decodeRecoveryLog(tessaly::ByteSpan(data, size));
  if (!decoded.ok()) return 0;
  const std::vector<std::uint8_t> written = tessaly::encodeRecoveryLog(decoded.log);
  const tessaly::DecodedLog again = tessaly::decodeRecoveryLog(written);
  if (!again.ok() || tessaly::encodeRecoveryLog(again.log) != written) __builtin_trap();
  return 0;
}
