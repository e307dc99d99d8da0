#include "fat/cluster_chain.h"

#include <array>
#include <new>
#include <unordered_set>

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

std::uint64_t fatEntryCount(const VolumeParameters& volume) {
  const std::uint64_t bytes = std::uint64_t{volume.fatSectors} * 512;
  if (volume.fileSystem == FileSystem::Fat12) return bytes * 2 / 3;
  if (volume.fileSystem == FileSystem::Fat16) return bytes / 2;
  return bytes / 4;
}

FatEntry readFatEntry(Session& session, const VolumeParameters& volume, std::uint64_t fatStart,
                      std::uint32_t c) {
  FatEntry entry;
  if (volume.fileSystem == FileSystem::Fat12) {
    // The two sectors from the one holding byte o, so an entry across sectors is whole.
    std::array<std::uint8_t, 1024> buffer{};
    const std::uint64_t o = (std::uint64_t{c} * 3) / 2;
    if (!readDiskSectors(session, fatStart + o / 512, 2, buffer).delivered()) return entry;
    const std::size_t at = o % 512;
    std::uint32_t lo = u8at(buffer, at), hi = u8at(buffer, at + 1);
    entry.value = (c % 2 == 0) ? (lo | ((hi & 0x0F) << 8)) : ((lo >> 4) | (hi << 4));
    entry.read = true;
    return entry;
  }
  std::array<std::uint8_t, 512> buffer{};
  const bool fat16 = volume.fileSystem == FileSystem::Fat16;
  const std::uint64_t perSector = fat16 ? 256 : 128;
  if (!readDiskSectors(session, fatStart + c / perSector, 1, buffer).ok()) return entry;
  const std::size_t at = static_cast<std::size_t>(c % perSector) * (fat16 ? 2 : 4);
  entry.value = fat16 ? u16le(buffer, at) : u32le(buffer, at);
  entry.read = true;
  return entry;
}

namespace {

// Follows a chain from FAT 1. Directory walks stop after their link limits; every walk
// stops after as many links as the FAT has entries, so a chain that loops ends.
ClusterChain walkChain(Session& session, const VolumeParameters& v, std::uint32_t c, bool directory,
                       std::uint32_t parentId) {
  ClusterChain list;
  appendCluster(session, list, c);
  // A chain that comes back to a cluster it holds loops: it ends there, so that no
  // cluster is read (and no entry of it listed or saved) twice.
  std::unordered_set<std::uint32_t> visited{c};
  auto append = [&](std::uint32_t next) {
    if (!visited.insert(next).second) return false;
    appendCluster(session, list, next);
    return true;
  };
  // A chain has at most as many clusters as the FAT has entries.
  const std::uint64_t bound = fatEntryCount(v);

  if (v.fileSystem == FileSystem::Fat12) {
    for (std::uint64_t length = 1; length < bound; ++length) {
      FatEntry e = readFatEntry(session, v, v.fat1Start, c);
      if (e.value == 0 || e.value >= 0xFFF) return list;
      if (!append(e.value)) return list;
      c = e.value;
    }
    return list;
  }
  const bool fat16 = v.fileSystem == FileSystem::Fat16;
  if (!fat16 && v.fileSystem != FileSystem::Fat32) return list;
  const std::uint32_t perSector = fat16 ? 256 : 128;
  const std::uint32_t endMark = fat16 ? 0xFFFF : 0x0FFFFFFF;
  std::uint32_t n = 0;
  for (std::uint64_t length = 1; length < bound; ++length) {
    if (v.fat1Start == 0 || c / perSector >= v.fatSectors) return list;
    FatEntry e = readFatEntry(session, v, v.fat1Start, c);
    if (!e.read) return list;
    if (e.value < 2 || e.value >= endMark) return list;
    if (!append(e.value)) return list;
    if (directory) {
      ++n;
      if (n == kMaxLostDirectoryLinks && parentId == kLostId) return list;
      if (n >= kMaxDirectoryLinks) return list;
    }
    c = e.value;
  }
  return list;
}

}  // namespace

ClusterChain walkDirectoryChain(Session& session, const VolumeParameters& volume, std::uint32_t firstCluster,
                                std::uint32_t parentId) {
  return walkChain(session, volume, firstCluster, true, parentId);
}

ClusterChain walkFileChain(Session& session, const VolumeParameters& volume, std::uint32_t firstCluster) {
  return walkChain(session, volume, firstCluster, false, 0);
}

}  // namespace tessaly
