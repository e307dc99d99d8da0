// Decoding of 32-byte FAT directory entries: directory starts, first clusters, short
// names with their deleted mark, long names, and the plausibility check of names.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "session/values.h"

namespace tessaly {

class Session;
struct VolumeParameters;

namespace direntry {
constexpr std::size_t kSize = 32;
constexpr std::size_t kPerSector = 16;
constexpr std::size_t kName = 0;       // 8 bytes
constexpr std::size_t kExtension = 8;  // 3 bytes
constexpr std::size_t kAttributes = 11;
constexpr std::size_t kCaseFlags = 12;  // 0x08: the name is lower case, 0x10: the extension
constexpr std::size_t kClusterHigh = 20;
constexpr std::size_t kTime = 22;
constexpr std::size_t kDate = 24;
constexpr std::size_t kClusterLow = 26;
constexpr std::size_t kFileSize = 28;
constexpr std::uint8_t kLongNameAttributes = 0x0F;
constexpr std::uint8_t kDirectoryBit = 0x10;
constexpr std::uint8_t kDeletedMark = 0xE5;
constexpr std::uint8_t kEscapedE5 = 0x05;  // a first byte standing for 0xE5
constexpr std::uint8_t kLowerCaseBase = 0x08;
constexpr std::uint8_t kLowerCaseExtension = 0x10;
constexpr std::uint8_t kReservedAttributes = 0xC0;  // never set in an entry a system wrote
}  // namespace direntry

// A "." entry followed by a ".." entry at the start of a sector.
bool isDirectoryStart(std::span<const std::uint8_t> sector);

// First cluster of an entry: the low word, and on FAT32 the high word (bytes 20, 21) too.
std::uint32_t entryCluster(std::span<const std::uint8_t> entry, FileSystem fileSystem);

struct ShortName {
  std::string name;
  bool deleted = false;
};
// The 8.3 name without its padding spaces, read through code page 437 as UTF-8; a first
// byte 0xE5 becomes "_" and marks the entry deleted (0x05 stands for a real 0xE5). The
// lower-case flags of byte 12 give the name (0x08) and the extension (0x10) in lower case,
// as the system that wrote them shows them.
ShortName buildShortName(std::span<const std::uint8_t> entry);

// Whether the raw bytes can be a short entry a system wrote: no flag in byte 12 but the
// two lower-case flags, no reserved attribute bit, a name that does not begin with a
// space, and none of the bytes a short name never holds (controls, 0x7F and
// " * + , . / : ; < = > ? [ \ ] |) before the name's end. Sectors of other data rarely
// pass, so that they give no names.
bool isPlausibleShortEntry(std::span<const std::uint8_t> entry);

// Where a directory sector lies, and which sector of the same directory comes before it:
// the sector with the next lower number, unless the directory's cluster chain says
// otherwise (a directory whose clusters are not contiguous).
struct DirectorySector {
  std::uint64_t number = 0;
  std::optional<std::uint64_t> previous;
  static DirectorySector contiguous(std::uint64_t n) {
    return {n, n > 0 ? std::optional<std::uint64_t>(n - 1) : std::nullopt};
  }
};

// Collects the long name stored in the long-name entries before the short entry at
// entryOffset of sector: stepping back past the start of the sector reads the sector
// before it. The UTF-16 name comes back as UTF-8, at most 255 + 13 units long; a surrogate
// without its partner is kept in a form isPlausibleName refuses.
std::optional<std::string> assembleLongName(Session& session, std::span<const std::uint8_t> sector,
                                            std::size_t entryOffset, DirectorySector place);

// Well-formed UTF-8 (so no surrogate without its partner) with no control character
// (below 32, or 127 to 159), none of " \ / ? * < > |, and neither U+FFFE nor U+FFFF.
// Letters of every script are plausible.
bool isPlausibleName(std::string_view text);

// "." and ".." entries.
bool isDotEntry(std::span<const std::uint8_t> entry);

// The name choice every listing makes: the short entry and its name must be plausible; a
// long name replaces it and must be plausible too. Nothing when the entry is to be skipped.
std::optional<ShortName> decodeEntryName(Session& session, std::span<const std::uint8_t> sector,
                                         std::size_t entryOffset, DirectorySector place);

// The sectors of a directory's cluster chain in order, each with the sector before it.
std::vector<DirectorySector> chainSectors(const VolumeParameters& volume, const std::vector<std::uint32_t>& chain);

}  // namespace tessaly
