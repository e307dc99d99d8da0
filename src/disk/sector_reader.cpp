#include "disk/sector_reader.h"

#include <algorithm>
#include <array>

#include "disk/sector_list.h"
#include "platform/device.h"
#include "platform/device_batch.h"
#include "session/session.h"

namespace tessaly {

// ---------------------------------------------------------------- the reader

namespace {

// One read's skipped sectors, kept merged.
void addSkipped(std::vector<SectorRange>& ranges, std::uint64_t first, std::uint32_t count) {
  if (!ranges.empty() && ranges.back().first + ranges.back().count == first)
    ranges.back().count += count;
  else
    ranges.push_back({first, count});
}

// The bad-sector step for a failed range of m sectors at sector s, buffer offset p: the
// policy (asked for unless an "All" answer holds) re-reads the range sector by sector or
// leaves it. A sector that still fails keeps whatever the buffer held before.
void badSectorStep(Session& session, platform::Device& device, std::uint64_t s, std::uint32_t m,
                   std::span<std::uint8_t> buffer, std::size_t p,
                   std::vector<SectorRange>& skipped) {
  BadSectorAnswer policy = session.badSectorPolicy.load();
  if (policy != BadSectorAnswer::RetryAll && policy != BadSectorAnswer::SkipAll) {
    policy = session.dialogs->askBadSector();
    session.badSectorPolicy.store(policy);
  }
  if (policy == BadSectorAnswer::Retry || policy == BadSectorAnswer::RetryAll) {
    for (std::uint32_t j = 0; j < m; ++j) {
      if (!device.read((s + j) * kSectorSize,
                       buffer.subspan(p + std::size_t{j} * kSectorSize, kSectorSize)))
        addSkipped(skipped, s + j, 1);
    }
    return;
  }
  addSkipped(skipped, s, m);
}

const std::string kFloppyDevice = "\\\\.\\A:";

// The device a request reads: the floppy whenever the floppy entry is selected, else the
// request's device name (at most 19 characters count). Sweeps read one device hundreds of
// thousands of times: its name is not copied.
std::shared_ptr<platform::Device> openDevice(Session& session, const std::string& path) {
  if (session.floppySelected()) return session.devices.open(kFloppyDevice);
  if (path.size() > 19) return session.devices.open(path.substr(0, 19));
  return session.devices.open(path);
}

class Reader {
 public:
  Reader(Session& session, platform::Device& device) : session_(session), device_(device) {}

  // One piece of a request (a chunk, the tail, or a short request whole). False when
  // the device was found lost.
  bool piece(std::uint64_t sector, std::uint32_t count, std::span<std::uint8_t> buffer,
             std::size_t offset, std::vector<SectorRange>& skipped) {
    auto part = buffer.subspan(offset, std::size_t{count} * kSectorSize);
    DeviceWatch& watch = session_.deviceWatch;
    if (device_.read(sector * kSectorSize, part)) {
      watch.readWell(&device_, sector);
      return true;
    }
    if (device_.gone()) return lose();
    if (auto check = watch.readFailed(&device_)) {
      std::array<std::uint8_t, kSectorSize> probe{};
      if (!device_.read(*check * kSectorSize, probe)) return lose();
      watch.readWell(&device_, *check);
    }
    badSectorStep(session_, device_, sector, count, buffer, offset, skipped);
    return true;
  }

 private:
  bool lose() {
    session_.deviceWatch.markLost(&device_);
    return false;
  }
  Session& session_;
  platform::Device& device_;
};

ReadResult readFrom(Session& session, const std::string& path, std::uint64_t first,
                    std::uint32_t count, std::span<std::uint8_t> buffer) {
  ReadResult result;
  const std::size_t bytes = std::size_t{count} * kSectorSize;
  auto fail = [&](ReadStatus status) {
    std::fill(buffer.begin(), buffer.begin() + static_cast<long>(std::min(bytes, buffer.size())),
              0);
    result.status = status;
    result.skipped.clear();
    return result;
  };
  if (count == 0 || buffer.size() < bytes) return fail(ReadStatus::Failed);
  if (session.osFamily != 'N') return fail(ReadStatus::Failed);  // only the NT family is built here

  auto device = openDevice(session, path);
  if (!device) return fail(ReadStatus::Failed);
  if (session.deviceWatch.isLost(device.get())) return fail(ReadStatus::DeviceLost);

  Reader reader(session, *device);
  const std::uint32_t whole = count <= kChunkSectors ? 1 : count / kChunkSectors;
  for (std::uint32_t k = 0; k < whole; ++k) {
    const std::uint32_t n = count <= kChunkSectors ? count : kChunkSectors;
    const std::uint64_t sector = first + std::uint64_t{k} * kChunkSectors;
    if (!reader.piece(sector, n, buffer, std::size_t{k} * kChunkSectors * kSectorSize,
                      result.skipped))
      return fail(ReadStatus::DeviceLost);
  }
  const std::uint32_t tail = count > kChunkSectors ? count % kChunkSectors : 0;
  if (tail != 0) {
    const std::uint64_t sector = first + std::uint64_t{whole} * kChunkSectors;
    if (!reader.piece(sector, tail, buffer, std::size_t{whole} * kChunkSectors * kSectorSize,
                      result.skipped))
      return fail(ReadStatus::DeviceLost);
  }
  if (!result.skipped.empty()) result.status = ReadStatus::SectorsSkipped;
  return result;
}

}  // namespace

ReadResult readSectors(Session& session, const SectorReadRequest& request) {
  return readFrom(session, request.devicePath, request.firstSector(), request.sectorCount,
                  request.buffer);
}

namespace {

// The device name of the selected disk; nothing when no disk is selected.
const std::string* selectedDiskPath(Session& session) {
  static const std::string none;
  if (session.selectedDisk < session.physicalDrivePaths.size())
    return &session.physicalDrivePaths[session.selectedDisk];
  return session.floppySelected() ? &none : nullptr;
}

void zeroFill(std::span<std::uint8_t> buffer, std::size_t bytes) {
  std::fill(buffer.begin(), buffer.begin() + static_cast<long>(std::min(bytes, buffer.size())), 0);
}

}  // namespace

ReadResult readDiskSectors(Session& session, std::uint64_t firstSector, std::uint32_t count,
                           std::span<std::uint8_t> buffer) {
  const std::string* path = selectedDiskPath(session);
  if (!path) {
    zeroFill(buffer, std::size_t{count} * kSectorSize);
    return {ReadStatus::Failed, {}};
  }
  return readFrom(session, *path, firstSector, count, buffer);
}

namespace {

// How a sector list is read: runs of slots whose sectors lie at most kListGapSectors
// apart, at most kBatchPieces each, the sectors in holes of a sparse image left out
// (their slots stay zero).
struct ListPlan {
  std::vector<std::size_t> slots;  // the slots to read, batch after batch
  std::vector<std::size_t> ends;   // where each batch ends in slots
};

ListPlan planList(platform::Device& device, std::span<const std::uint64_t> sectors) {
  constexpr std::size_t kBatchPieces = 512;
  // The stretch of data at or after the sectors looked at so far (sparse files only).
  std::optional<platform::Extent> data;
  bool holesKnown = true;
  auto inHole = [&](std::uint64_t offset) {
    if (!holesKnown) return false;
    if (!data || offset >= data->end) {
      data = platform::dataFrom(device, offset);
      if (!data) return holesKnown = false;
    }
    return offset + kSectorSize <= data->start;
  };
  ListPlan plan;
  plan.slots.reserve(sectors.size());
  for (std::size_t i = 0; i < sectors.size(); ++i) {
    const std::uint64_t offset = sectors[i] * kSectorSize;
    if (inHole(offset)) continue;
    if (!plan.slots.empty()) {
      const std::uint64_t end = sectors[plan.slots.back()] * kSectorSize + kSectorSize;
      const std::size_t size = plan.slots.size() - (plan.ends.empty() ? 0 : plan.ends.back());
      if (offset < end || offset - end > std::uint64_t{kListGapSectors} * kSectorSize || size >= kBatchPieces)
        plan.ends.push_back(plan.slots.size());
    }
    plan.slots.push_back(i);
  }
  if (!plan.slots.empty()) plan.ends.push_back(plan.slots.size());
  return plan;
}

// Every batch of the plan asked of the system at once, so that the device is not
// waited for batch by batch.
void prefetchPlan(platform::Device& device, std::span<const std::uint64_t> sectors, const ListPlan& plan) {
  for (std::size_t b = 0, first = 0; b < plan.ends.size(); first = plan.ends[b++]) {
    const std::uint64_t from = sectors[plan.slots[first]] * kSectorSize;
    const std::uint64_t to = sectors[plan.slots[plan.ends[b] - 1]] * kSectorSize + kSectorSize;
    if (to > from) platform::prefetch(device, from, to - from);
  }
}

}  // namespace

void prefetchSectorList(Session& session, std::span<const std::uint64_t> sectors) {
  const std::string* path = selectedDiskPath(session);
  if (!path || sectors.empty() || session.osFamily != 'N') return;
  auto device = openDevice(session, *path);
  if (!device || session.deviceWatch.isLost(device.get())) return;
  prefetchPlan(*device, sectors, planList(*device, sectors));
}

ReadResult readSectorList(Session& session, std::span<const std::uint64_t> sectors,
                          std::span<std::uint8_t> buffer, std::size_t* delivered) {
  ReadResult result;
  const std::size_t bytes = sectors.size() * kSectorSize;
  if (delivered) *delivered = 0;
  zeroFill(buffer, bytes);
  const std::string* path = selectedDiskPath(session);
  if (!path || buffer.size() < bytes || session.osFamily != 'N') return {ReadStatus::Failed, {}};
  if (sectors.empty()) return result;
  auto device = openDevice(session, *path);
  if (!device) return {ReadStatus::Failed, {}};
  if (session.deviceWatch.isLost(device.get())) return {ReadStatus::DeviceLost, {}};

  const ListPlan plan = planList(*device, sectors);
  const std::vector<std::size_t>& slots = plan.slots;
  const std::vector<std::size_t>& ends = plan.ends;
  prefetchPlan(*device, sectors, plan);

  std::vector<platform::Piece> batch;
  auto slotOf = [&](const platform::Piece& piece) {
    return static_cast<std::size_t>(piece.buffer.data() - buffer.data()) / kSectorSize;
  };
  // Reads the batch; what failed in it again sector by sector. On a lost device, lost is
  // the slot where reading stopped.
  std::optional<std::size_t> lost;
  for (std::size_t b = 0, first = 0; b < ends.size() && !lost; first = ends[b++]) {
    batch.clear();
    for (std::size_t k = first; k < ends[b]; ++k)
      batch.push_back({sectors[slots[k]] * kSectorSize, buffer.subspan(slots[k] * kSectorSize, kSectorSize)});
    const std::size_t arrived = platform::readPieces(*device, batch);
    if (arrived > 0) session.deviceWatch.readWell(device.get(), batch.front().offset / kSectorSize);
    for (std::size_t k = arrived; k < batch.size() && !lost; ++k) {
      const ReadResult one = readFrom(session, *path, batch[k].offset / kSectorSize, 1, batch[k].buffer);
      if (one.lost()) lost = slotOf(batch[k]);
      for (const SectorRange& r : one.skipped) addSkipped(result.skipped, r.first, r.count);
    }
  }
  if (lost) {
    // What was read before the disk stopped answering stays; the rest is cleared.
    std::fill(buffer.begin() + static_cast<long>(*lost * kSectorSize), buffer.begin() + static_cast<long>(bytes), 0);
    if (delivered) *delivered = *lost;
    return {ReadStatus::DeviceLost, {}};
  }
  if (delivered) *delivered = sectors.size();
  if (!result.skipped.empty()) result.status = ReadStatus::SectorsSkipped;
  return result;
}

}  // namespace tessaly
