#include "raw/zip.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace tessaly::raw {
namespace {

using namespace zip;

constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr std::uint16_t kSaturated16 = 0xFFFF;
constexpr std::size_t kScanChunk = 64 * 1024;
// Data of unknown length is searched this far for its descriptor unless the header
// announces 64-bit sizes: 32-bit sizes cannot describe more.
constexpr std::uint64_t kMaxScan32 = (1ULL << 32) + kScanChunk;

// Little-endian fields at absolute offsets of a byte source; nullopt past its end.
class Reader {
 public:
  explicit Reader(ByteSource& bytes) : bytes_(bytes) {}
  std::uint64_t size() const { return bytes_.size(); }
  std::optional<std::uint64_t> le(std::uint64_t off, std::size_t n) {
    std::array<std::uint8_t, 8> buf{};
    if (!bytes_.read(off, std::span(buf).first(n))) return std::nullopt;
    return uNle(buf, 0, n);
  }
  std::uint32_t signature(std::uint64_t off) { return static_cast<std::uint32_t>(le(off, 4).value_or(0)); }
  bool read(std::uint64_t off, std::span<std::uint8_t> out) { return bytes_.read(off, out); }
  // Moves pos on by n; false when that would pass the end.
  bool advance(std::uint64_t& pos, std::uint64_t n) const {
    if (pos > size() || n > size() - pos) return false;
    pos += n;
    return true;
  }

 private:
  ByteSource& bytes_;
};

// The 64-bit values of a ZIP64 extra field: present only for the fields whose 32-bit
// form is saturated, in this order.
struct Zip64Values {
  bool present = false;
  std::optional<std::uint64_t> uncompressed, compressed, localOffset;
};

Zip64Values zip64Extra(ByteSpan extra, bool wantUncompressed, bool wantCompressed, bool wantOffset) {
  Zip64Values v;
  for (std::size_t pos = 0; fits(extra, pos, 4);) {
    const std::uint16_t id = u16le(extra, pos);
    const std::uint16_t len = u16le(extra, pos + 2);
    if (!fits(extra, pos + 4, len)) break;
    if (id == kZip64ExtraId) {
      ByteSpan data = extra.subspan(pos + 4, len);
      std::size_t at = 0;
      auto take = [&](bool wanted, std::optional<std::uint64_t>& out) {
        if (!wanted) return;
        if (fits(data, at, 8)) out = u64le(data, at);
        at += 8;
      };
      v.present = true;
      take(wantUncompressed, v.uncompressed);
      take(wantCompressed, v.compressed);
      take(wantOffset, v.localOffset);
      return v;
    }
    pos += 4 + std::size_t{len};
  }
  return v;
}

bool startsRecord(Reader& r, std::uint64_t at) {
  const std::uint32_t sig = r.signature(at);
  return sig == kLocalHeader || sig == kCentralHeader;
}

// The end of a data descriptor at q for data starting at dataStart: one of its four
// forms (with or without signature, 32- or 64-bit sizes) whose compressed size is the
// data's length and after which the next header follows.
std::optional<std::uint64_t> descriptorEnd(Reader& r, std::uint64_t dataStart, std::uint64_t q) {
  if (q < dataStart) return std::nullopt;
  const std::uint64_t length = q - dataStart;
  if (r.signature(q) == kDataDescriptor) {
    if (r.le(q + 8, 4) == length && startsRecord(r, q + 16)) return q + 16;
    if (r.le(q + 8, 8) == length && startsRecord(r, q + 24)) return q + 24;
  }
  if (r.le(q + 4, 4) == length && startsRecord(r, q + 12)) return q + 12;
  if (r.le(q + 4, 8) == length && startsRecord(r, q + 20)) return q + 20;
  return std::nullopt;
}

// The end of the descriptor behind data of unknown length: the first "PK" signature
// after dataStart that is a descriptor, or a header that one precedes.
std::optional<std::uint64_t> scanForDescriptor(Reader& r, std::uint64_t dataStart, bool wide) {
  std::vector<std::uint8_t> chunk(kScanChunk);
  const std::uint64_t limit = wide ? r.size() : std::min(r.size(), dataStart + kMaxScan32);
  for (std::uint64_t base = dataStart; base < limit;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kScanChunk, limit - base));
    if (n < 4 || !r.read(base, std::span(chunk).first(n))) return std::nullopt;
    for (std::size_t i = 0; i + 4 <= n; ++i) {
      const void* hit = std::memchr(chunk.data() + i, 'P', n - 3 - i);
      if (!hit) break;
      i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - chunk.data());
      const std::uint32_t sig = u32le(chunk, i);
      const std::uint64_t at = base + i;
      std::optional<std::uint64_t> end;
      if (sig == kDataDescriptor) end = descriptorEnd(r, dataStart, at);
      if (!end && (sig == kLocalHeader || sig == kCentralHeader)) {
        for (std::uint64_t back : {12u, 20u}) {
          if (at >= dataStart + back && (end = descriptorEnd(r, dataStart, at - back))) break;
        }
      }
      if (end) return end;
    }
    base += n - 3;  // the last three bytes start the next chunk, so no signature is split
  }
  return std::nullopt;
}

struct LocalWalk {
  std::vector<std::uint64_t> offsets;  // of every local header, ascending
  std::uint64_t end = 0;               // where the next record starts
};

std::optional<LocalWalk> walkLocalHeaders(Reader& r) {
  LocalWalk walk;
  std::uint64_t pos = 0;
  std::array<std::uint8_t, kLocalBytes> head{};
  while (r.signature(pos) == kLocalHeader) {
    if (walk.offsets.size() >= kMaxEntries || !r.read(pos, head)) return std::nullopt;
    walk.offsets.push_back(pos);
    const std::uint32_t compressed32 = u32le(head, kLocalCompressed);
    const std::uint32_t uncompressed32 = u32le(head, kLocalUncompressed);
    std::vector<std::uint8_t> extra(u16le(head, kLocalExtraLength));
    std::uint64_t dataStart = pos;
    if (!r.advance(dataStart, kLocalBytes + std::uint64_t{u16le(head, kLocalNameLength)}) ||
        !r.read(dataStart, extra) || !r.advance(dataStart, extra.size())) {
      return std::nullopt;
    }
    std::optional<std::uint64_t> compressed = compressed32;
    // A local header's ZIP64 field holds both sizes when either is saturated.
    const bool saturated = compressed32 == kSaturated32 || uncompressed32 == kSaturated32;
    const Zip64Values wide = zip64Extra(extra, saturated, saturated, false);
    if (compressed32 == kSaturated32) compressed = wide.compressed;
    if (u16le(head, kLocalFlags) & 0x0008) {
      // Sizes follow the data: the header's size is used when it is given and a
      // descriptor stands there; otherwise the data is searched for its descriptor.
      std::optional<std::uint64_t> end;
      if (compressed && *compressed > 0 && *compressed <= r.size() - dataStart) {
        end = descriptorEnd(r, dataStart, dataStart + *compressed);
      }
      if (!end) end = scanForDescriptor(r, dataStart, wide.present);
      if (!end) return std::nullopt;
      pos = *end;
    } else {
      pos = dataStart;
      if (!compressed || !r.advance(pos, *compressed)) return std::nullopt;
    }
  }
  if (walk.offsets.empty()) return std::nullopt;
  walk.end = pos;
  return walk;
}

// Walks the central directory at pos; every entry must name one of the local headers
// walked, and there must be one entry for each.
std::optional<std::uint64_t> walkCentralDirectory(Reader& r, std::uint64_t pos, const LocalWalk& locals) {
  std::array<std::uint8_t, kCentralBytes> head{};
  std::size_t count = 0;
  while (r.signature(pos) == kCentralHeader) {
    if (count == locals.offsets.size() || !r.read(pos, head)) return std::nullopt;
    const std::uint64_t nameLength = u16le(head, kCentralNameLength);
    std::vector<std::uint8_t> extra(u16le(head, kCentralExtraLength));
    std::uint64_t extraAt = pos + kCentralBytes + nameLength;
    if (!r.read(extraAt, extra)) return std::nullopt;
    std::optional<std::uint64_t> localOffset = u32le(head, kCentralLocalOffset);
    if (*localOffset == kSaturated32) {
      localOffset = zip64Extra(extra, u32le(head, kCentralUncompressed) == kSaturated32,
                               u32le(head, kCentralCompressed) == kSaturated32, true)
                        .localOffset;
    }
    if (!localOffset || !std::binary_search(locals.offsets.begin(), locals.offsets.end(), *localOffset)) {
      return std::nullopt;
    }
    if (!r.advance(pos, kCentralBytes + nameLength + extra.size() + u16le(head, kCentralCommentLength))) {
      return std::nullopt;
    }
    ++count;
  }
  if (count != locals.offsets.size()) return std::nullopt;
  if (r.signature(pos) == kDigitalSignature) {
    auto size = r.le(pos + 4, 2);
    if (!size || !r.advance(pos, 6 + *size)) return std::nullopt;
  }
  return pos;
}

// What the end records say of the central directory.
struct DirectoryFigures {
  std::uint64_t entries = 0, size = 0, offset = 0;
  bool operator==(const DirectoryFigures&) const = default;
};

// Reads the optional ZIP64 end record and locator and the end record at pos, checks
// their figures against the directory walked, and returns the end of the comment.
std::optional<std::uint64_t> readEndRecords(Reader& r, std::uint64_t pos, const DirectoryFigures& actual) {
  std::optional<DirectoryFigures> wide;
  if (r.signature(pos) == kZip64End) {
    std::array<std::uint8_t, kZip64EndBytes> rec{};
    if (!r.read(pos, rec)) return std::nullopt;
    wide = DirectoryFigures{u64le(rec, kZip64EndEntries), u64le(rec, kZip64EndDirectorySize),
                            u64le(rec, kZip64EndDirectoryOffset)};
    const std::uint64_t recordSize = u64le(rec, kZip64EndRecordSize);
    if (*wide != actual || recordSize < kZip64EndBytes - 12) return std::nullopt;
    const std::uint64_t recordAt = pos;
    if (!r.advance(pos, 12) || !r.advance(pos, recordSize)) return std::nullopt;
    if (r.signature(pos) == kZip64Locator) {
      if (r.le(pos + kZip64LocatorEndOffset, 8) != recordAt || !r.advance(pos, kZip64LocatorBytes)) {
        return std::nullopt;
      }
    }
  }
  std::array<std::uint8_t, kEndBytes> rec{};
  if (r.signature(pos) != kEnd || !r.read(pos, rec)) return std::nullopt;
  // A saturated field defers to the ZIP64 record; any other must match by itself.
  const std::uint16_t entries16 = u16le(rec, kEndEntries);
  const std::uint32_t size32 = u32le(rec, kEndDirectorySize);
  const std::uint32_t offset32 = u32le(rec, kEndDirectoryOffset);
  auto agrees = [&](std::uint64_t value, bool saturated, std::uint64_t real) {
    return value == real || (saturated && wide);
  };
  if (!agrees(entries16, entries16 == kSaturated16, actual.entries) ||
      !agrees(size32, size32 == kSaturated32, actual.size) || !agrees(offset32, offset32 == kSaturated32, actual.offset)) {
    return std::nullopt;
  }
  if (!r.advance(pos, kEndBytes + std::uint64_t{u16le(rec, kEndCommentLength)})) return std::nullopt;
  return pos;
}

std::optional<RawIdentity> identifyZip(ByteSource& bytes) {
  auto length = zipArchiveLength(bytes);
  if (!length) return std::nullopt;
  return RawIdentity{RawType::Zip, *length};
}

bool wantsZip(const RawTypeSet& types) { return types.has(RawType::Zip); }

}  // namespace

std::optional<std::uint64_t> zipArchiveLength(ByteSource& bytes) {
  Reader r(bytes);
  auto locals = walkLocalHeaders(r);
  if (!locals) return std::nullopt;
  std::uint64_t pos = locals->end;
  if (r.signature(pos) == kArchiveExtraData) {
    auto size = r.le(pos + 4, 4);
    if (!size || !r.advance(pos, 8 + *size)) return std::nullopt;
  }
  const std::uint64_t directoryStart = pos;
  auto directoryEnd = walkCentralDirectory(r, pos, *locals);
  if (!directoryEnd) return std::nullopt;
  return readEndRecords(r, *directoryEnd,
                        DirectoryFigures{locals->offsets.size(), *directoryEnd - directoryStart, directoryStart});
}

const RawFormat kZipFormat{"Zip archive", kZipLocalSignature, wantsZip, identifyZip, nullptr};

}  // namespace tessaly::raw
