// The selected disk as the carving engine reads it: whole sectors through the session's
// reader, with its bad-sector policy, and a pause point at every read so that a question
// about the running search holds it where it stands.
#pragma once

#include <cstdint>
#include <span>

#include "raw/raw_types.h"

namespace tessaly {

class Session;

// The disk's sector count: the device's own size, or its size from the disk facts when
// the device cannot tell.
std::uint64_t diskSectorCount(Session& session);

class DiskSectorSource : public raw::SectorSource {
 public:
  explicit DiskSectorSource(Session& session);
  std::uint64_t sectorCount() const override { return sectors_; }
  // Sectors the policy skipped read as zeros, never as the buffer's older bytes. False
  // when the disk could not be read at all or stopped answering.
  bool readSectors(std::uint64_t firstSector, std::uint32_t count,
                   std::span<std::uint8_t> out) override;

 private:
  Session& session_;
  std::uint64_t sectors_;
};

}  // namespace tessaly
