#include "disk/sector_reader.h"

#include <algorithm>
#include <cctype>

#include "session/session.h"

namespace tessaly {

namespace {

// The bad-sector step for a failed range of m sectors at sector s, buffer offset p.
void badSectorStep(Session& session, platform::Device& device, std::uint64_t s,
                   std::uint32_t m, std::span<std::uint8_t> buffer, std::size_t p) {
  int policy = session.badSectorPolicy.load();
  if (policy != 2 && policy != 3) {
    policy = session.dialogs->askBadSector();
    if (policy < 0 || policy > 3) policy = 1;  // an unknown answer counts as Skip
    session.badSectorPolicy.store(policy);
  }
  if (policy == 0 || policy == 2) {
    for (std::uint32_t j = 0; j < m; ++j) {
      // A sector that still fails keeps whatever the buffer held before.
      device.read((s + j) * kSectorSize, buffer.subspan(p + std::size_t{j} * kSectorSize, kSectorSize));
    }
  }
}

const std::string kFloppyDevice = "\\\\.\\A:";

// The device a request reads: the floppy whenever the floppy entry is selected, else the
// request's device name (at most 19 characters count).
std::shared_ptr<platform::Device> openDevice(Session& session, const std::string& path) {
  if (session.floppySelected()) return session.devices.open(kFloppyDevice);
  if (path.size() > 19) return session.devices.open(path.substr(0, 19));
  return session.devices.open(path);
}

std::uint32_t readFrom(Session& session, const std::string& path, std::uint64_t first, std::uint32_t count,
                       std::span<std::uint8_t> buffer) {
  if (session.osFamily != 'N') return count;  // only the NT family is built here
  if (count == 0 || buffer.size() < std::size_t{count} * kSectorSize) return 0;

  auto device = openDevice(session, path);
  if (!device) return count;

  constexpr std::size_t kChunkBytes = kChunkSectors * kSectorSize;
  if (count <= kChunkSectors) {
    auto part = buffer.first(std::size_t{count} * kSectorSize);
    if (device->read(first * kSectorSize, part)) return 1;
    badSectorStep(session, *device, first, count, buffer, 0);
    return 0;
  }

  const std::uint32_t chunks = count / kChunkSectors;
  bool lastChunkOk = true;
  for (std::uint32_t k = 0; k < chunks; ++k) {
    const std::uint64_t sector = first + std::uint64_t{k} * kChunkSectors;
    const std::size_t offset = std::size_t{k} * kChunkBytes;
    lastChunkOk = device->read(sector * kSectorSize, buffer.subspan(offset, kChunkBytes));
    if (!lastChunkOk) badSectorStep(session, *device, sector, kChunkSectors, buffer, offset);
  }
  const std::uint32_t tail = count % kChunkSectors;
  if (tail != 0) {
    const std::uint64_t sector = first + std::uint64_t{chunks} * kChunkSectors;
    const std::size_t offset = std::size_t{chunks} * kChunkBytes;
    if (!device->read(sector * kSectorSize, buffer.subspan(offset, std::size_t{tail} * kSectorSize))) {
      // The tail gets the same bad-sector step as a chunk, so that its readable
      // sectors are not lost; the result still reports the failure.
      badSectorStep(session, *device, sector, tail, buffer, offset);
      return 0;
    }
  }
  return lastChunkOk ? 1 : 0;
}

}  // namespace

std::uint32_t readSectors(Session& session, const SectorReadRequest& request) {
  return readFrom(session, request.devicePath, request.firstSector(), request.sectorCount, request.buffer);
}

std::uint32_t readDiskSectors(Session& session, std::uint64_t firstSector, std::uint32_t count,
                              std::span<std::uint8_t> buffer) {
  if (session.selectedDisk >= session.physicalDrivePaths.size() && !session.floppySelected()) return 0;
  static const std::string none;
  const std::string& path =
      session.selectedDisk < session.physicalDrivePaths.size() ? session.physicalDrivePaths[session.selectedDisk] : none;
  return readFrom(session, path, firstSector, count, buffer);
}


}  // namespace tessaly
