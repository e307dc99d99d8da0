// Crafted NTFS structures for the tests: MFT records with chosen attributes, $FILE_NAME
// and $ATTRIBUTE_LIST contents, and index blocks. Written with the same little-endian
// helpers the engine reads with, at the offsets NTFS defines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/le.h"
#include "ntfs/mft_record.h"

namespace tessaly::test {

using Bytes = std::vector<std::uint8_t>;

inline std::size_t align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

inline void putUtf16(Bytes& out, std::size_t at, const std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) put16le(out, at + 2 * i, text[i]);
}

// $FILE_NAME content: parent, creation time, flags, name.
inline Bytes fileNameContent(std::uint32_t parent, std::uint8_t nameSpace, const std::u16string& name,
                             std::uint64_t creation = 0, std::uint32_t flags = 0) {
  Bytes c(66 + 2 * name.size(), 0);
  put32le(c, 0, parent);
  put16le(c, 6, 1);  // sequence part of the reference, ignored
  put64le(c, 8, creation);
  put32le(c, 56, flags);
  c[64] = static_cast<std::uint8_t>(name.size());
  c[65] = nameSpace;
  putUtf16(c, 66, name);
  return c;
}

// $STANDARD_INFORMATION content.
inline Bytes standardInfoContent(std::uint64_t creation, std::uint64_t modification,
                                 std::uint64_t access) {
  Bytes c(72, 0);
  put64le(c, 0, creation);
  put64le(c, 8, modification);
  put64le(c, 16, modification);
  put64le(c, 24, access);
  return c;
}

struct ListEntry {
  std::uint32_t type;
  std::uint32_t segment;
  std::u16string name = u"";
};
// $ATTRIBUTE_LIST content: one entry per element, 8-aligned.
inline Bytes attributeListContent(const std::vector<ListEntry>& entries) {
  Bytes c;
  for (const auto& e : entries) {
    const std::size_t length = align8(26 + 2 * e.name.size());
    const std::size_t at = c.size();
    c.resize(at + length, 0);
    put32le(c, at, e.type);
    put16le(c, at + 4, static_cast<std::uint16_t>(length));
    c[at + 6] = static_cast<std::uint8_t>(e.name.size());
    c[at + 7] = 26;
    put32le(c, at + 16, e.segment);
    putUtf16(c, at + 26, e.name);
  }
  return c;
}

// A 1024-byte record built attribute by attribute; bytes() gives it finished, with the
// end marker, as a repaired record (the update sequence array holds the sector ends).
class RecordBuilder {
 public:
  explicit RecordBuilder(std::uint8_t state = 1, std::uint16_t firstAttribute = 56) {
    std::copy_n("FILE", 4, record_.begin());
    put16le(record_, 4, 48);  // update sequence array
    put16le(record_, 6, 3);
    put16le(record_, 16, 1);  // sequence number, as the references to it carry
    put16le(record_, 20, firstAttribute);
    record_[22] = state;
    put32le(record_, 28, 1024);
    next_ = firstAttribute;
  }

  // A resident attribute; returns its position.
  std::size_t resident(std::uint32_t type, const Bytes& content, const std::u16string& name = u"") {
    const std::size_t contentOffset = align8(24 + 2 * name.size());
    const std::size_t length = align8(contentOffset + content.size());
    const std::size_t at = place(type, length);
    record_[at + 8] = 0;
    record_[at + 9] = static_cast<std::uint8_t>(name.size());
    put16le(record_, at + 10, 24);
    put32le(record_, at + 16, static_cast<std::uint32_t>(content.size()));
    put16le(record_, at + 20, static_cast<std::uint16_t>(contentOffset));
    putUtf16(record_, at + 24, name);
    std::copy(content.begin(), content.end(), record_.begin() + static_cast<long>(at + contentOffset));
    return at;
  }

  // A non-resident attribute with the given run list (mapping pairs); returns its position.
  std::size_t nonResident(std::uint32_t type, const Bytes& runList, std::uint64_t realSize,
                          const std::u16string& name = u"") {
    const std::size_t pairsOffset = align8(64 + 2 * name.size());
    const std::size_t length = align8(pairsOffset + runList.size() + 1);
    const std::size_t at = place(type, length);
    record_[at + 8] = 1;
    record_[at + 9] = static_cast<std::uint8_t>(name.size());
    put16le(record_, at + 10, 64);
    put16le(record_, at + 32, static_cast<std::uint16_t>(pairsOffset));
    put64le(record_, at + 40, realSize);
    put64le(record_, at + 48, realSize);
    put64le(record_, at + 56, realSize);
    putUtf16(record_, at + 64, name);
    std::copy(runList.begin(), runList.end(), record_.begin() + static_cast<long>(at + pairsOffset));
    return at;
  }

  // Raw header bytes for hostile cases: type and length only.
  std::size_t raw(std::uint32_t type, std::uint32_t length, std::size_t advance) {
    const std::size_t at = next_;
    put32le(record_, at, type);
    put32le(record_, at + 4, length);
    next_ += advance;
    return at;
  }

  std::size_t fileName(std::uint32_t parent, std::uint8_t nameSpace, const std::u16string& name,
                       std::uint64_t creation = 0) {
    return resident(mft::kTypeFileName, fileNameContent(parent, nameSpace, name, creation));
  }
  std::size_t standardInfo(std::uint64_t creation, std::uint64_t modification, std::uint64_t access) {
    return resident(mft::kTypeStandardInformation, standardInfoContent(creation, modification, access));
  }

  // An "$I30" index root whose first entry names `child` in directory `self`; with no
  // child it holds only the end entry.
  std::size_t indexRoot(std::uint32_t self, const std::u16string& child) {
    Bytes c(32, 0);
    put32le(c, 0, mft::kTypeFileName);
    put32le(c, 8, 4096);
    Bytes entries;
    if (!child.empty()) {
      Bytes key = fileNameContent(self, 1, child);
      Bytes entry(16, 0);
      entry.insert(entry.end(), key.begin(), key.end());
      entry.resize(align8(entry.size()), 0);
      put32le(entry, 0, 99);
      put16le(entry, 8, static_cast<std::uint16_t>(entry.size()));
      put16le(entry, 10, static_cast<std::uint16_t>(key.size()));
      entries = entry;
    }
    Bytes end(16, 0);
    put16le(end, 8, 16);
    put32le(end, 12, 2);
    entries.insert(entries.end(), end.begin(), end.end());
    put32le(c, 16, 16);
    put32le(c, 20, static_cast<std::uint32_t>(16 + entries.size()));
    put32le(c, 24, static_cast<std::uint32_t>(16 + entries.size()));
    c.insert(c.end(), entries.begin(), entries.end());
    return resident(mft::kTypeIndexRoot, c, u"$I30");
  }

  Bytes& raw() { return record_; }
  std::size_t next() const { return next_; }

  // The finished record: end marker after the last attribute.
  MftRecord bytes() const {
    MftRecord out{};
    std::copy(record_.begin(), record_.end(), out.begin());
    if (next_ + 4 <= out.size()) put32le(out, next_, mft::kTypeEnd);
    return out;
  }

  // The record as it lies on disk: sector ends moved into the update sequence array and
  // replaced by the sequence number.
  MftRecord protectedBytes(std::uint16_t sequence = 0x0123) const {
    MftRecord out = bytes();
    put16le(out, 48, sequence);
    for (std::size_t i = 1; i <= 2; ++i) {
      const std::size_t end = i * 512 - 2;
      out[48 + 2 * i] = out[end];
      out[48 + 2 * i + 1] = out[end + 1];
      put16le(out, end, sequence);
    }
    return out;
  }

 private:
  std::size_t place(std::uint32_t type, std::size_t length) {
    const std::size_t at = next_;
    put32le(record_, at, type);
    put32le(record_, at + 4, static_cast<std::uint32_t>(length));
    next_ += length;
    return at;
  }

  Bytes record_ = Bytes(1024, 0);
  std::size_t next_;
};

}  // namespace tessaly::test
