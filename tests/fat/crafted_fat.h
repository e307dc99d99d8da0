// A small FAT volume written byte by byte, for the cases real tools do not produce.
#pragma once

#include <memory>
#include <string>

#include "disk/le.h"
#include "platform/device.h"
#include "support/test_support.h"

namespace tessaly::test {

struct CraftedFat {
  FileSystem fs;
  std::shared_ptr<platform::MemoryDevice> device;
  std::unique_ptr<TestSession> t;
  TempDir install;
  VolumeParameters v;

  // A volume at sector 0: boot sector, FAT 1, FAT 2, root area (none on FAT32), data.
  explicit CraftedFat(FileSystem fileSystem = FileSystem::Fat16, std::uint32_t spc = 1, std::uint32_t sectors = 600,
                      std::uint32_t fatSectors = 4)
      : fs(fileSystem), device(std::make_shared<platform::MemoryDevice>(sectors)) {
    t = std::make_unique<TestSession>(device);
    v.fileSystem = fs;
    v.sectorsPerCluster = spc;
    v.reservedSectors = 1;
    v.fatSectors = fatSectors;
    v.fat1Start = 1;
    v.fat2Start = 1 + fatSectors;
    v.rootDirSectors = fs == FileSystem::Fat32 ? 0 : 2;
    v.rootDirStart = fs == FileSystem::Fat32 ? 2 : 1 + 2 * fatSectors;
    const std::uint32_t data = 1 + 2 * fatSectors + v.rootDirSectors;
    v.cluster0Sector = data - 2 * spc;
    Session& s = t->session;
    t->scan.volume = v;
    t->scan.workingVolume = v;
    s.installFolder = install.path();
    s.partitionSelection.fileSystem = fs;
    s.partitionSelection.firstSector = 0;
    s.partitionSelection.lastSector = sectors - 1;
  }
  Session& session() { return t->session; }
  ScanState& scan() { return t->scan; }
  std::span<std::uint8_t> sector(std::uint64_t n) { return device->sector(n); }
  std::uint64_t clusterSector(std::uint32_t c) const { return v.clusterSector(c); }
  std::uint64_t rootSector(std::uint32_t i = 0) const {
    return fs == FileSystem::Fat32 ? v.clusterSector(v.rootDirStart) + i : v.rootDirStart + i;
  }

  void fat(std::uint32_t c, std::uint32_t value, bool secondFatToo = true) {
    for (std::uint32_t start : {v.fat1Start, v.fat2Start}) {
      if (start == v.fat2Start && !secondFatToo) break;
      auto bytes = std::span<std::uint8_t>(device->bytes()).subspan(start * 512, v.fatSectors * 512);
      if (fs == FileSystem::Fat12) {
        std::size_t o = c * 3 / 2;
        if (c % 2 == 0) {
          bytes[o] = static_cast<std::uint8_t>(value);
          bytes[o + 1] = static_cast<std::uint8_t>((bytes[o + 1] & 0xF0) | ((value >> 8) & 0x0F));
        } else {
          bytes[o] = static_cast<std::uint8_t>((bytes[o] & 0x0F) | ((value << 4) & 0xF0));
          bytes[o + 1] = static_cast<std::uint8_t>(value >> 4);
        }
      } else if (fs == FileSystem::Fat16) {
        put16le(bytes, c * 2, static_cast<std::uint16_t>(value));
      } else {
        put32le(bytes, c * 4, value);
      }
    }
  }
  void chain(std::initializer_list<std::uint32_t> clusters) {
    std::vector<std::uint32_t> list(clusters);
    const std::uint32_t end = fs == FileSystem::Fat12 ? 0xFFF : fs == FileSystem::Fat16 ? 0xFFFF : 0x0FFFFFFF;
    for (std::size_t i = 0; i < list.size(); ++i) fat(list[i], i + 1 < list.size() ? list[i + 1] : end);
  }

  // A short entry: name11 is the 11-byte name field ("MY FILE TXT").
  void entry(std::uint64_t sectorNumber, std::size_t index, const std::string& name11, std::uint8_t attr,
             std::uint32_t cluster, std::uint32_t size = 0, std::uint16_t date = 0x3269,
             std::uint16_t time = 0x70A0) {
    auto e = sector(sectorNumber).subspan(index * 32, 32);
    std::fill(e.begin(), e.end(), 0);
    for (std::size_t i = 0; i < 11; ++i) e[i] = i < name11.size() ? static_cast<std::uint8_t>(name11[i]) : ' ';
    e[11] = attr;
    put16le(e, 20, static_cast<std::uint16_t>(cluster >> 16));
    put16le(e, 22, time);
    put16le(e, 24, date);
    put16le(e, 26, static_cast<std::uint16_t>(cluster));
    put32le(e, 28, size);
  }
  // One long-name entry holding up to 13 UTF-16 characters (terminated and padded when
  // shorter); the 8-bit form takes each byte as a character.
  void longName(std::uint64_t sectorNumber, std::size_t index, std::uint8_t sequence, const std::u16string& part) {
    static constexpr std::size_t kBytes[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    auto e = sector(sectorNumber).subspan(index * 32, 32);
    std::fill(e.begin(), e.end(), 0);
    e[0] = sequence;
    e[11] = 0x0F;
    for (std::size_t i = 0; i < 13; ++i) {
      const char16_t c = i < part.size() ? part[i] : i == part.size() ? u'\0' : u'\xFFFF';
      put16le(e, kBytes[i], static_cast<std::uint16_t>(c));
    }
  }
  void longName(std::uint64_t sectorNumber, std::size_t index, std::uint8_t sequence, const std::string& part) {
    std::u16string wide;
    for (char c : part) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    longName(sectorNumber, index, sequence, wide);
  }
  // The "." and ".." entries that open a directory's first cluster.
  void directory(std::uint32_t cluster, std::uint32_t parent, std::uint32_t dotCluster = 0) {
    const std::uint64_t s = clusterSector(cluster);
    entry(s, 0, ".", 0x10, dotCluster ? dotCluster : cluster);
    entry(s, 1, "..", 0x10, parent);
  }
};

}  // namespace tessaly::test
