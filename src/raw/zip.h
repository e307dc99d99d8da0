// Zip archives: followed record by record from the first local header to the end of
// the end-of-central-directory record and its comment.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "raw/raw_format.h"
#include "raw/raw_types.h"

namespace tessaly::raw {

namespace zip {
inline constexpr std::uint32_t kLocalHeader = 0x04034B50;
inline constexpr std::uint32_t kDataDescriptor = 0x08074B50;
inline constexpr std::uint32_t kArchiveExtraData = 0x08064B50;
inline constexpr std::uint32_t kCentralHeader = 0x02014B50;
inline constexpr std::uint32_t kDigitalSignature = 0x05054B50;
inline constexpr std::uint32_t kZip64End = 0x06064B50;
inline constexpr std::uint32_t kZip64Locator = 0x07064B50;
inline constexpr std::uint32_t kEnd = 0x06054B50;

// Local header fields.
inline constexpr std::size_t kLocalFlags = 6;        // u16; bit 3: sizes in a descriptor
inline constexpr std::size_t kLocalCompressed = 18;  // u32
inline constexpr std::size_t kLocalUncompressed = 22;
inline constexpr std::size_t kLocalNameLength = 26;  // u16
inline constexpr std::size_t kLocalExtraLength = 28;
inline constexpr std::size_t kLocalBytes = 30;

// Central directory header fields.
inline constexpr std::size_t kCentralCompressed = 20;
inline constexpr std::size_t kCentralUncompressed = 24;
inline constexpr std::size_t kCentralNameLength = 28;
inline constexpr std::size_t kCentralExtraLength = 30;
inline constexpr std::size_t kCentralCommentLength = 32;
inline constexpr std::size_t kCentralLocalOffset = 42;
inline constexpr std::size_t kCentralBytes = 46;

// End-of-central-directory record.
inline constexpr std::size_t kEndEntries = 10;  // u16, entries in the whole archive
inline constexpr std::size_t kEndDirectorySize = 12;
inline constexpr std::size_t kEndDirectoryOffset = 16;
inline constexpr std::size_t kEndCommentLength = 20;
inline constexpr std::size_t kEndBytes = 22;

// ZIP64 end record and locator.
inline constexpr std::size_t kZip64EndRecordSize = 4;  // u64, bytes after this field
inline constexpr std::size_t kZip64EndEntries = 32;    // u64
inline constexpr std::size_t kZip64EndDirectorySize = 40;
inline constexpr std::size_t kZip64EndDirectoryOffset = 48;
inline constexpr std::size_t kZip64EndBytes = 56;
inline constexpr std::size_t kZip64LocatorEndOffset = 8;  // u64
inline constexpr std::size_t kZip64LocatorBytes = 20;

inline constexpr std::uint16_t kZip64ExtraId = 0x0001;
// Entries followed at most; more make the candidate fail.
inline constexpr std::size_t kMaxEntries = 1u << 20;
}  // namespace zip

inline constexpr std::string_view kZipLocalSignature{"PK\x03\x04", 4};

// The length of the archive whose first local header is byte 0: through the end of the
// end-of-central-directory record's comment. nullopt when the records do not lead there
// consistently (a truncated, damaged or foreign candidate).
std::optional<std::uint64_t> zipArchiveLength(ByteSource& bytes);

extern const RawFormat kZipFormat;

}  // namespace tessaly::raw
