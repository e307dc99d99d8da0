#include "fat/cluster_chain.h"

#include <array>
#include <new>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "session/session.h"

namespace tessaly {

void appendCluster(Session& session, ClusterChain& list, std::uint32_t cluster) {
  try {
    list.push_back(cluster);
  } catch (const std::bad_alloc&) {
    session.messageBox("Not Enough Memory");
    session.endProgram(1);
  }
}

std::uint64_t clusterSector(const Session& session, std::uint32_t c) {
  return session.workingVolume.clusterSector(c);
}

std::uint64_t fatEntryCount(const VolumeParameters& volume) {
  const std::uint64_t bytes = std::uint64_t{volume.fatSectors} * 512;
  if (volume.fileSystem == "FAT12") return bytes * 2 / 3;
  if (volume.fileSystem == "FAT16") return bytes / 2;
  return bytes / 4;
}

FatEntry readFatEntry(Session& session, const VolumeParameters& volume, std::uint64_t fatStart,
                      std::uint32_t c) {
  FatEntry entry;
  if (volume.fileSystem == "FAT12") {
    // The two sectors from the one holding byte o, so an entry across sectors is whole.
    std::array<std::uint8_t, 1024> buffer{};
    const std::uint64_t o = (std::uint64_t{c} * 3) / 2;
    readDiskSectors(session, fatStart + o / 512, 2, buffer);
    const std::size_t at = o % 512;
    std::uint32_t lo = u8at(buffer, at), hi = u8at(buffer, at + 1);
    entry.value = (c % 2 == 0) ? (lo | ((hi & 0x0F) << 8)) : ((lo >> 4) | (hi << 4));
    entry.read = true;
    return entry;
  }
  std::array<std::uint8_t, 512> buffer{};
  const bool fat16 = volume.fileSystem == "FAT16";
  const std::uint64_t perSector = fat16 ? 256 : 128;
  if (readDiskSectors(session, fatStart + c / perSector, 1, buffer) == 0) return entry;
  const std::size_t at = static_cast<std::size_t>(c % perSector) * (fat16 ? 2 : 4);
  entry.value = fat16 ? u16le(buffer, at) : u32le(buffer, at);
  entry.read = true;
  return entry;
}

namespace {

// Follows a chain from FAT 1. Directory walks stop after the design's link limits; every
// walk stops after as many links as the FAT has entries, so a chain that loops ends.
void walkChain(Session& session, ClusterChain& list, std::uint32_t c, bool directory,
               std::uint32_t parentId) {
  const VolumeParameters& v = session.workingVolume;
  appendCluster(session, list, c);
  // A chain has at most as many clusters as the FAT has entries.
  const std::uint64_t bound = fatEntryCount(v);

  if (v.fileSystem == "FAT12") {
    for (std::uint64_t length = 1; length < bound; ++length) {
      FatEntry e = readFatEntry(session, v, v.fat1Start, c);
      if (e.value == 0 || e.value >= 0xFFF) return;
      appendCluster(session, list, e.value);
      c = e.value;
    }
    return;
  }
  const bool fat16 = v.fileSystem == "FAT16";
  if (!fat16 && v.fileSystem != "FAT32") return;
  const std::uint32_t perSector = fat16 ? 256 : 128;
  const std::uint32_t endMark = fat16 ? 0xFFFF : 0x0FFFFFFF;
  std::uint32_t n = 0;
  for (std::uint64_t length = 1; length < bound; ++length) {
    if (v.fat1Start == 0 || c / perSector >= v.fatSectors) return;
    FatEntry e = readFatEntry(session, v, v.fat1Start, c);
    if (!e.read) return;
    if (e.value < 2 || e.value >= endMark) return;
    appendCluster(session, list, e.value);
    if (directory) {
      ++n;
      if (n == kMaxLostDirectoryLinks && parentId == kLostId) return;
      if (n >= kMaxDirectoryLinks) return;
    }
    c = e.value;
  }
}

}  // namespace

void walkDirectoryChain(Session& session, std::uint32_t firstCluster, std::uint32_t parentId) {
  walkChain(session, session.directoryChain, firstCluster, true, parentId);
}

void walkFileChain(Session& session, std::uint32_t firstCluster) {
  walkChain(session, session.fileChain, firstCluster, false, 0);
}

}  // namespace tessaly
