// Every read of a disk passes through readSectors: runs of 512-byte sectors, split into
// chunks of 40, with the bad-sector policy deciding what happens to a range that fails.
// The result says whether every sector arrived, which ones were skipped, or that the
// device could not be read at all or stopped answering. Nothing here writes to a disk.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tessaly {

class Session;

constexpr std::size_t kSectorSize = 512;
constexpr std::uint32_t kChunkSectors = 40;

struct SectorReadRequest {
  std::string devicePath;  // a device name of the table; at most 19 characters are used
  std::uint32_t firstSectorLow = 0;
  std::uint32_t firstSectorHigh = 0;
  std::uint32_t sectorCount = 0;
  std::span<std::uint8_t> buffer;  // at least sectorCount * 512 bytes

  std::uint64_t firstSector() const {
    return (std::uint64_t{firstSectorHigh} << 32) | firstSectorLow;
  }
};

struct SectorRange {
  std::uint64_t first = 0;
  std::uint32_t count = 0;
  bool operator==(const SectorRange&) const = default;
};

enum class ReadStatus {
  Ok,              // every sector arrived (a retried one too)
  SectorsSkipped,  // some sectors could not be read; they are listed and keep the buffer's old
                   // bytes
  Failed,  // nothing was read: no such device, or a request the buffer cannot hold; buffer cleared
  DeviceLost,  // the device stopped answering; the buffer is cleared and no later read is tried
};

struct [[nodiscard]] ReadResult {
  ReadStatus status = ReadStatus::Ok;
  // The sectors that stayed unread, in order and merged; empty unless SectorsSkipped.
  std::vector<SectorRange> skipped;

  bool ok() const { return status == ReadStatus::Ok; }
  // Data arrived, perhaps with skipped sectors.
  bool delivered() const {
    return status == ReadStatus::Ok || status == ReadStatus::SectorsSkipped;
  }
  bool lost() const { return status == ReadStatus::DeviceLost; }
};

ReadResult readSectors(Session& session, const SectorReadRequest& request);

// A request for the selected disk (the slot of physicalDrivePaths for selectedDisk).
ReadResult readDiskSectors(Session& session, std::uint64_t firstSector, std::uint32_t count,
                           std::span<std::uint8_t> buffer);

}  // namespace tessaly
