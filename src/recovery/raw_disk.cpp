#include "recovery/raw_disk.h"

#include <algorithm>

#include "disk/sector_reader.h"
#include "diskfacts/disk_facts_key.h"
#include "session/session.h"

namespace tessaly {

std::uint64_t diskSectorCount(Session& session) {
  // The device's own size first: the disk facts may be left from another disk that once
  // had the same number (a command line names its disks anew on every run).
  std::uint64_t bytes = 0;
  if (auto device = session.devices.open(session.selectedDevicePath())) bytes = device->size();
  if (bytes == 0) {
    const std::string size = session.registry.readString(
        diskfacts::kSizeKey, diskfacts::diskValueName(session.selectedDisk));
    for (char c : size) {
      if (c < '0' || c > '9' || bytes > (UINT64_MAX - 9) / 10) break;
      bytes = bytes * 10 + static_cast<std::uint64_t>(c - '0');
    }
  }
  return bytes / kSectorSize;
}

DiskSectorSource::DiskSectorSource(Session& session)
    : session_(session), sectors_(diskSectorCount(session)) {}

bool DiskSectorSource::readSectors(std::uint64_t firstSector, std::uint32_t count,
                                   std::span<std::uint8_t> out) {
  session_.worker.checkpoint();
  const std::size_t bytes = std::size_t{count} * kSectorSize;
  if (out.size() < bytes) return false;
  std::fill_n(out.begin(), bytes, std::uint8_t{0});
  return readDiskSectors(session_, firstSector, count, out.first(bytes)).delivered();
}

}  // namespace tessaly
