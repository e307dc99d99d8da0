#include "fat/directory_entry.h"

#include <array>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "partition/partition_types.h"
#include "session/session.h"

namespace tessaly {

namespace de = direntry;

bool isDirectoryStart(std::span<const std::uint8_t> sector) {
  return bytesEqual(sector, 0, ". ") && bytesEqual(sector, 32, ".. ");
}

std::uint32_t entryCluster(std::span<const std::uint8_t> entry, FileSystem fileSystem) {
  std::uint32_t low = u16le(entry, de::kClusterLow);
  if (fileSystem != FileSystem::Fat32) return low;
  return low | (std::uint32_t{u16le(entry, de::kClusterHigh)} << 16);
}

ShortName buildShortName(std::span<const std::uint8_t> entry) {
  ShortName out;
  for (std::size_t i = 0; i < 8; ++i) {
    char c = static_cast<char>(u8at(entry, de::kName + i));
    if (c != ' ') out.name += c;
  }
  if (u8at(entry, de::kExtension) != ' ') out.name += '.';
  for (std::size_t i = 0; i < 3; ++i) {
    char c = static_cast<char>(u8at(entry, de::kExtension + i));
    if (c != ' ') out.name += c;
  }
  // The name ends at its first NUL byte, as a C string would.
  if (auto nul = out.name.find('\0'); nul != std::string::npos) out.name.resize(nul);
  if (u8at(entry, 0) == de::kDeletedMark) {
    if (!out.name.empty()) out.name[0] = '_';
    out.deleted = true;
  }
  return out;
}

std::optional<std::string> assembleLongName(Session& session, std::span<const std::uint8_t> sector,
                                            std::size_t entryOffset, DirectorySector place) {
  static constexpr std::size_t kCharacterBytes[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  std::array<std::uint8_t, 512> previous{};
  std::span<const std::uint8_t> current = sector;
  std::optional<std::uint64_t> before = place.previous;
  std::size_t offset = entryOffset;
  std::string name;
  std::size_t entries = 0;
  // A long name has at most 20 parts; the 256-character rule ends the walk before that.
  for (;;) {
    if (name.size() >= 256) return name;
    if (offset == 0) {
      if (!before) break;
      previous.fill(0);
      // A sector that cannot be read ends the name where it is.
      if (!readDiskSectors(session, *before, 1, previous).delivered()) break;
      before = *before > 0 ? std::optional<std::uint64_t>(*before - 1) : std::nullopt;
      current = previous;
      offset = 512;
    }
    offset -= de::kSize;
    auto entry = current.subspan(offset, de::kSize);
    if (u8at(entry, de::kAttributes) != de::kLongNameAttributes) break;
    for (std::size_t b : kCharacterBytes) {
      std::uint8_t c = u8at(entry, b);
      if (c == 0) return name;
      name += static_cast<char>(c);
    }
    ++entries;
    if (u8at(entry, 0) == 0x40 + entries) return name;
  }
  if (entries >= 1) return name;
  return std::nullopt;
}

bool isPlausibleName(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 1 && c <= 31) return false;
    if (c >= 128) return false;
    switch (c) {
      case '"': case '\\': case '/': case '?': case '*': case '<': case '>': case '|':
        return false;
      default:
        break;
    }
  }
  return true;
}

bool isDotEntry(std::span<const std::uint8_t> entry) {
  return u8at(entry, 0) == '.' && u8at(entry, 3) == ' ';
}

std::optional<ShortName> decodeEntryName(Session& session, std::span<const std::uint8_t> sector,
                                         std::size_t entryOffset, DirectorySector place) {
  ShortName name = buildShortName(sector.subspan(entryOffset, de::kSize));
  if (!isPlausibleName(name.name)) return std::nullopt;
  if (auto longName = assembleLongName(session, sector, entryOffset, place)) {
    name.name = *longName;
    if (!isPlausibleName(name.name)) return std::nullopt;
  }
  return name;
}

std::vector<DirectorySector> chainSectors(const VolumeParameters& volume, const std::vector<std::uint32_t>& chain) {
  std::vector<DirectorySector> sectors;
  const std::uint32_t spc = volume.sectorsPerCluster;
  std::optional<std::uint64_t> previous;
  for (std::uint32_t c : chain) {
    const std::uint64_t first = volume.clusterSector(c);
    for (std::uint32_t s = 0; s < spc; ++s) {
      sectors.push_back({first + s, previous});
      previous = first + s;
    }
  }
  return sectors;
}

}  // namespace tessaly
