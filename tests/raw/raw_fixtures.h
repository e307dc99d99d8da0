// Shared by the carving tests: a disk in memory, the committed documents and archives,
// and a writer of small stored zip archives.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "disk/le.h"
#include "raw/raw_types.h"
#include "support/test_support.h"

namespace tessaly::raw::test {

using Bytes = std::vector<std::uint8_t>;

// A disk of random filler held in memory; requests touching failFrom or later fail.
class MemoryDisk : public SectorSource {
 public:
  explicit MemoryDisk(std::uint64_t sectors, unsigned seed = 7) : bytes(sectors * kSectorBytes) {
    std::mt19937 random(seed);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  }
  std::uint64_t sectorCount() const override { return bytes.size() / kSectorBytes; }
  bool readSectors(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> out) override {
    if (first + count > sectorCount() || (failFrom && first + count > *failFrom)) return false;
    std::memcpy(out.data(), bytes.data() + first * kSectorBytes, std::size_t{count} * kSectorBytes);
    return true;
  }
  void place(std::uint64_t sector, const Bytes& file) {
    std::memcpy(bytes.data() + sector * kSectorBytes, file.data(), file.size());
  }

  Bytes bytes;
  std::optional<std::uint64_t> failFrom;
};

inline Bytes corpusFile(const std::string& name) {
  return tessaly::test::readFile(tessaly::test::sourceDir() + "/tests/data/raw/" + name);
}

// A stored zip entry and how its sizes are given: in the local header, or in a data
// descriptor after the data, with or without its signature, with 32- or 64-bit sizes.
enum class Descriptor { None, Signed, Unsigned, Signed64, Unsigned64 };
struct ZipEntry {
  std::string name;
  Bytes data;
  Descriptor descriptor = Descriptor::None;
};

inline void append(Bytes& out, std::uint64_t value, int bytes) {
  // Bytes past the eighth are zeros (a shift by 64 or more is undefined).
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(i < 8 ? value >> (8 * i) : 0));
}

inline Bytes makeZip(const std::vector<ZipEntry>& entries, const std::string& comment = "") {
  Bytes out, directory;
  for (const ZipEntry& e : entries) {
    const std::uint64_t offset = out.size();
    const bool deferred = e.descriptor != Descriptor::None;
    const std::uint32_t size = deferred ? 0 : static_cast<std::uint32_t>(e.data.size());
    append(out, 0x04034B50, 4);
    append(out, 10, 2);
    append(out, deferred ? 8 : 0, 2);
    append(out, 0, 2 + 2 + 2 + 4);  // stored; time, date, crc
    append(out, size, 4);
    append(out, size, 4);
    append(out, e.name.size(), 2);
    append(out, 0, 2);
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), e.data.begin(), e.data.end());
    const bool wide = e.descriptor == Descriptor::Signed64 || e.descriptor == Descriptor::Unsigned64;
    if (e.descriptor == Descriptor::Signed || e.descriptor == Descriptor::Signed64) append(out, 0x08074B50, 4);
    if (deferred) {
      append(out, 0, 4);  // crc
      append(out, e.data.size(), wide ? 8 : 4);
      append(out, e.data.size(), wide ? 8 : 4);
    }
    append(directory, 0x02014B50, 4);
    append(directory, 20, 2);
    append(directory, 10, 2);
    append(directory, deferred ? 8 : 0, 2);
    append(directory, 0, 2 + 2 + 2 + 4);
    append(directory, e.data.size(), 4);
    append(directory, e.data.size(), 4);
    append(directory, e.name.size(), 2);
    append(directory, 0, 2 + 2 + 2 + 2 + 4);  // extra, comment, disk, attributes
    append(directory, offset, 4);
    directory.insert(directory.end(), e.name.begin(), e.name.end());
  }
  const std::uint64_t directoryOffset = out.size();
  out.insert(out.end(), directory.begin(), directory.end());
  append(out, 0x06054B50, 4);
  append(out, 0, 4);
  append(out, entries.size(), 2);
  append(out, entries.size(), 2);
  append(out, directory.size(), 4);
  append(out, directoryOffset, 4);
  append(out, comment.size(), 2);
  out.insert(out.end(), comment.begin(), comment.end());
  return out;
}

}  // namespace tessaly::raw::test
