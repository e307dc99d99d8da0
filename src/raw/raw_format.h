// One carved format: the signature that starts a candidate at the start of a sector, and
// what the format makes of a candidate. Each format file defines one descriptor; the
// search holds them in one table.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "disk/le.h"
#include "raw/raw_types.h"

namespace tessaly::raw {

// What a candidate turned out to be.
struct RawIdentity {
  std::optional<RawType> type;         // none: a file of the format that is no offered type
  std::optional<std::uint64_t> bytes;  // the exact length, when the file's own records give it
};

struct RawFormat {
  std::string_view name;
  std::string_view signature;  // compared at the start of every sector
  // Whether a search for these types needs the format at all.
  bool (*wanted)(const RawTypeSet& types);
  // nullopt drops the candidate: the search goes on at the next sector.
  std::optional<RawIdentity> (*identify)(ByteSource& bytes);
  // For an identity without a length: whether the sector ends a file of that type
  // (the sector is the last one, or the next to last for some types). Null when the
  // format always knows its length.
  bool (*endsDocument)(ByteSpan sector, RawType type);
};

}  // namespace tessaly::raw
