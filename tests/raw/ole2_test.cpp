#include "raw/ole2.h"

#include <gtest/gtest.h>

#include "raw_fixtures.h"

namespace tessaly::raw {
namespace {

using test::Bytes;
constexpr std::uint32_t kNone = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;

struct DirEntry {
  std::string name;
  std::uint8_t type;  // 1 storage, 2 stream, 5 root
  std::uint32_t left = kNone, right = kNone, child = kNone;
};

// A compound file with 512-byte sectors: dataSectors of stream data, then the directory,
// the FAT and (for more than 109 FAT sectors) the DIFAT. Every sector is in use.
Bytes makeCompound(const std::vector<DirEntry>& entries, std::uint32_t dataSectors) {
  const std::uint32_t dirSectors = static_cast<std::uint32_t>((entries.size() + 3) / 4);
  std::uint32_t fatSectors = 1, difatSectors = 0;
  for (;;) {
    const std::uint32_t total = dataSectors + dirSectors + fatSectors + difatSectors;
    const std::uint32_t fat = (total + 127) / 128;
    const std::uint32_t difat = fat > 109 ? (fat - 109 + 126) / 127 : 0;
    if (fat == fatSectors && difat == difatSectors) break;
    fatSectors = fat;
    difatSectors = difat;
  }
  const std::uint32_t dirFirst = dataSectors, fatFirst = dirFirst + dirSectors, difatFirst = fatFirst + fatSectors;
  const std::uint32_t total = difatFirst + difatSectors;
  Bytes file((std::size_t{total} + 1) * 512);
  auto sector = [&](std::uint32_t id) { return std::span(file).subspan((std::size_t{id} + 1) * 512, 512); };
  std::vector<std::uint32_t> fat(std::size_t{fatSectors} * 128, kNone);
  auto chain = [&](std::uint32_t first, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) fat[first + i] = i + 1 < count ? first + i + 1 : kEndOfChain;
  };
  chain(0, dataSectors);
  chain(dirFirst, dirSectors);
  for (std::uint32_t i = 0; i < fatSectors; ++i) fat[fatFirst + i] = 0xFFFFFFFD;
  for (std::uint32_t i = 0; i < difatSectors; ++i) fat[difatFirst + i] = 0xFFFFFFFC;
  for (std::size_t i = 0; i < fat.size(); ++i) put32le(sector(fatFirst + static_cast<std::uint32_t>(i / 128)), i % 128 * 4, fat[i]);
  for (std::uint32_t i = 0; i < dataSectors; ++i) std::fill_n(sector(i).begin(), 512, static_cast<std::uint8_t>(i));

  std::memcpy(file.data(), kOle2Signature.data(), 8);
  put16le(file, 0x1A, 3);
  put16le(file, ole2::kByteOrder, 0xFFFE);
  put16le(file, ole2::kSectorShift, 9);
  put32le(file, ole2::kFatSectors, fatSectors);
  put32le(file, ole2::kFirstDirectory, dirFirst);
  put32le(file, ole2::kFirstDifat, difatSectors ? difatFirst : kEndOfChain);
  put32le(file, ole2::kDifatSectors, difatSectors);
  for (std::uint32_t i = 0; i < 109; ++i) put32le(file, ole2::kHeaderDifat + 4 * i, i < fatSectors ? fatFirst + i : kNone);
  for (std::uint32_t i = 109, d = 0; i < fatSectors; ++i) {
    const std::uint32_t slot = (i - 109) % 127;
    put32le(sector(difatFirst + d), slot * 4, fatFirst + i);
    if (slot == 126) {
      put32le(sector(difatFirst + d), 508, difatFirst + d + 1);
      ++d;
    }
  }
  if (difatSectors) put32le(sector(total - 1), 508, kEndOfChain);

  for (std::size_t i = 0; i < entries.size(); ++i) {
    auto entry = sector(dirFirst + static_cast<std::uint32_t>(i / 4)).subspan(i % 4 * 128, 128);
    for (std::size_t c = 0; c < entries[i].name.size(); ++c) entry[2 * c] = static_cast<std::uint8_t>(entries[i].name[c]);
    put16le(entry, ole2::kEntryNameLength, static_cast<std::uint16_t>((entries[i].name.size() + 1) * 2));
    entry[ole2::kEntryType] = entries[i].type;
    put32le(entry, ole2::kEntryLeft, entries[i].left);
    put32le(entry, ole2::kEntryRight, entries[i].right);
    put32le(entry, ole2::kEntryChild, entries[i].child);
  }
  return file;
}

std::optional<Ole2Document> read(const Bytes& bytes) {
  SpanByteSource source(bytes);
  return readOle2Document(source);
}

const std::vector<DirEntry> kWordDirectory{{"Root Entry", 5, kNone, kNone, 1}, {"WordDocument", 2}};

TEST(Ole2Document, LargeFilesFindTheirTableThroughTheDifatChain) {
  Bytes file = makeCompound(kWordDirectory, 15000);  // 119 FAT sectors, 10 beyond the header
  ASSERT_GT(u32le(file, ole2::kFatSectors), 109u);
  const std::size_t length = file.size();
  file.resize(length + 4096, 0x5A);  // the disk goes on after the document
  auto doc = read(file);
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->type, RawType::Word);
  EXPECT_EQ(doc->bytes, length);
}

TEST(Ole2Document, OnlyStreamsDirectlyUnderTheRootDecideTheType) {
  // An embedded Word object below a storage does not make a presentation a Word file.
  auto presentation = read(makeCompound({{"Root Entry", 5, kNone, kNone, 1},
                                         {"ObjectPool", 1, kNone, 2, 3},
                                         {"PowerPoint Document", 2},
                                         {"WordDocument", 2}},
                                        8));
  ASSERT_TRUE(presentation);
  EXPECT_EQ(presentation->type, RawType::PowerPoint);
  auto excel5 = read(makeCompound({{"Root Entry", 5, kNone, kNone, 1}, {"Contents", 2, kNone, 2}, {"BOOK", 2}}, 8));
  ASSERT_TRUE(excel5);
  EXPECT_EQ(excel5->type, RawType::Excel);
  auto other = read(makeCompound({{"Root Entry", 5, kNone, kNone, 1}, {"Contents", 2}}, 8));
  ASSERT_TRUE(other);
  EXPECT_EQ(other->type, std::nullopt);
  EXPECT_EQ(other->bytes, 11u * 512);
}

TEST(Ole2Document, DamagedOrHostileTablesAreNotTrusted) {
  const Bytes good = makeCompound(kWordDirectory, 20);  // sectors: 20 data, dir 20, FAT 21
  ASSERT_TRUE(read(good));
  const Bytes large = makeCompound(kWordDirectory, 15000);
  struct Damage {
    const char* what;
    const Bytes& file;
    std::size_t at;
    std::uint32_t value;
    int bytes;
  };
  const Damage damages[] = {
      {"byte order", good, ole2::kByteOrder, 0xFEFF, 2},
      {"sector shift", good, ole2::kSectorShift, 10, 2},
      {"no FAT sector", good, ole2::kFatSectors, 0, 4},
      {"FAT beyond any document", good, ole2::kFatSectors, 70000, 4},
      {"DIFAT too short", large, ole2::kDifatSectors, 0, 4},
      {"FAT sector not a sector", good, ole2::kHeaderDifat, 0xFFFFFFFB, 4},
      {"FAT sector past the end", good, ole2::kHeaderDifat, 5000, 4},
      {"DIFAT sector past the end", large, ole2::kFirstDifat, 90000, 4},
      {"directory outside the FAT", good, ole2::kFirstDirectory, 200, 4},
      {"root not a root", good, 21 * 512 + ole2::kEntryType, 1, 1},
      {"a sector in use past the end", good, 22 * 512 + 40 * 4, 0xFFFFFFFE, 4},
  };
  for (const Damage& d : damages) {
    Bytes bad = d.file;
    if (d.bytes == 1) bad[d.at] = static_cast<std::uint8_t>(d.value);
    else if (d.bytes == 2) put16le(bad, d.at, static_cast<std::uint16_t>(d.value));
    else put32le(bad, d.at, d.value);
    EXPECT_EQ(read(bad), std::nullopt) << d.what;
  }
  // A directory chain that links to itself ends where it comes back: its sector is read
  // once, not again and again up to the directory's limit.
  Bytes loop = good;
  put32le(loop, 22 * 512 + 20 * 4, 20);
  struct CountingSource : SpanByteSource {
    using SpanByteSource::SpanByteSource;
    int directoryReads = 0;
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override {
      if (offset == 21 * 512) ++directoryReads;
      return SpanByteSource::read(offset, out);
    }
  } source(loop);
  auto doc = readOle2Document(source);
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->type, RawType::Word);
  EXPECT_EQ(source.directoryReads, 1);
}

}  // namespace
}  // namespace tessaly::raw
