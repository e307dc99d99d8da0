// Every read of a disk passes through readSectors: runs of 512-byte sectors, split into
// chunks of 40, with the bad-sector policy deciding what happens to a range that fails.
// Nothing here writes to a disk.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tessaly {

class Session;

constexpr std::size_t kSectorSize = 512;
constexpr std::uint32_t kChunkSectors = 40;

struct SectorReadRequest {
  std::string devicePath;  // a design device name; at most 19 characters are used
  std::uint32_t firstSectorLow = 0;
  std::uint32_t firstSectorHigh = 0;
  std::uint32_t sectorCount = 0;
  std::span<std::uint8_t> buffer;  // at least sectorCount * 512 bytes

  std::uint64_t firstSector() const {
    return (std::uint64_t{firstSectorHigh} << 32) | firstSectorLow;
  }
};

// Nonzero means success. NT family: 1 read, 0 failed (see the chunk rules), sectorCount
// when the device could not be opened (the buffer is then untouched).
std::uint32_t readSectors(Session& session, const SectorReadRequest& request);

// A request for the selected disk (the slot of physicalDrivePaths for selectedDisk).
std::uint32_t readDiskSectors(Session& session, std::uint64_t firstSector, std::uint32_t count,
                              std::span<std::uint8_t> buffer);


}  // namespace tessaly
