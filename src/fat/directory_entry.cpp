#include "fat/directory_entry.h"

#include <algorithm>
#include <array>

#include "disk/le.h"
#include "disk/name_text.h"
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

namespace {

// The lower case of the capital letters a short name can hold through code page 437:
// A–Z and the Latin-1 capitals (Ç Ä Å É Æ Ö Ü Ñ among them).
char32_t lowerCase(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  return c;
}

}  // namespace

ShortName buildShortName(std::span<const std::uint8_t> entry) {
  ShortName out;
  const std::uint8_t first = u8at(entry, 0);
  const std::uint8_t flags = u8at(entry, de::kCaseFlags);
  // The characters of the name, then of its extension, without their padding spaces.
  std::vector<char32_t> chars;
  auto copy = [&](std::size_t from, std::size_t count, bool lower) {
    for (std::size_t i = from; i < from + count; ++i) {
      std::uint8_t b = u8at(entry, i);
      if (b == ' ') continue;
      // A first byte 0x05 stands for 0xE5, which would read as the deleted mark.
      if (i == 0 && b == de::kEscapedE5) b = de::kDeletedMark;
      const char32_t c = b == 0 ? 0 : cp437CodePoint(b);
      chars.push_back(lower ? lowerCase(c) : c);
    }
  };
  copy(de::kName, 8, (flags & de::kLowerCaseBase) != 0);
  if (u8at(entry, de::kExtension) != ' ') chars.push_back('.');
  copy(de::kExtension, 3, (flags & de::kLowerCaseExtension) != 0);
  // The name ends at its first NUL byte, as a C string would.
  if (auto nul = std::find(chars.begin(), chars.end(), 0); nul != chars.end()) chars.erase(nul, chars.end());
  out.deleted = first == de::kDeletedMark;
  if (out.deleted && !chars.empty()) chars.front() = '_';
  for (char32_t c : chars) appendUtf8(out.name, c);
  return out;
}

bool isPlausibleShortEntry(std::span<const std::uint8_t> entry) {
  if ((u8at(entry, de::kCaseFlags) & ~(de::kLowerCaseBase | de::kLowerCaseExtension)) != 0) return false;
  if ((u8at(entry, de::kAttributes) & de::kReservedAttributes) != 0) return false;
  if (u8at(entry, de::kName) == ' ') return false;
  for (std::size_t i = 0; i < 11; ++i) {
    const std::uint8_t c = u8at(entry, de::kName + i);
    if (i == 0 && (c == de::kEscapedE5 || c == de::kDeletedMark)) continue;
    if (c == 0) break;  // the name ends here
    if (c < 0x20 || c == 0x7F) return false;
    if (std::string_view("\"*+,./:;<=>?[\\]|").find(static_cast<char>(c)) != std::string_view::npos) return false;
  }
  return true;
}

std::optional<std::string> assembleLongName(Session& session, std::span<const std::uint8_t> sector,
                                            std::size_t entryOffset, DirectorySector place) {
  static constexpr std::size_t kCharacterBytes[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  std::array<std::uint8_t, 512> previous{};
  std::span<const std::uint8_t> current = sector;
  std::optional<std::uint64_t> before = place.previous;
  std::size_t offset = entryOffset;
  // The name's UTF-16 units, little-endian, in name order.
  std::vector<std::uint8_t> units;
  std::size_t entries = 0;
  auto text = [&]() {
    return utf16leToUtf8(units, 0, units.size() / 2, LoneSurrogate::Keep, false).value_or(std::string());
  };
  // A long name has at most 20 parts; the 256-character rule ends the walk before that.
  for (;;) {
    if (units.size() / 2 >= 256) return text();
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
      if (u16le(entry, b) == 0) return text();
      units.push_back(entry[b]);
      units.push_back(entry[b + 1]);
    }
    ++entries;
    if (u8at(entry, 0) == 0x40 + entries) return text();
  }
  if (entries >= 1) return text();
  return std::nullopt;
}

bool isPlausibleName(std::string_view text) {
  std::size_t position = 0;
  while (position < text.size()) {
    const auto c = nextCodePoint(text, position);
    // Not UTF-8, or a surrogate without its partner.
    if (!c) return false;
    if (*c < 32 || (*c >= 127 && *c <= 159)) return false;
    if (*c == 0xFFFE || *c == 0xFFFF) return false;
    switch (*c) {
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
  const auto entry = sector.subspan(entryOffset, de::kSize);
  if (!isPlausibleShortEntry(entry)) return std::nullopt;
  ShortName name = buildShortName(entry);
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
