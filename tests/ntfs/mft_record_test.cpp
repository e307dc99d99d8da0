#include "ntfs/mft_record.h"

#include <gtest/gtest.h>

#include "ntfs/index_block.h"
#include "ntfs/ntfs_builders.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::Bytes;
using test::RecordBuilder;

// ------------------------------------------------------------------ update sequence

// A buffer of `sectors` sectors with distinct bytes, whose sector ends are moved into an
// update sequence array of `count` entries at 40 and replaced by the sequence number.
struct Protected {
  Bytes original;
  Bytes disk;
  Protected(std::size_t sectors, std::uint16_t count) {
    original.resize(sectors * 512);
    for (std::size_t i = 0; i < original.size(); ++i)
      original[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    put16le(original, 4, 40);
    put16le(original, 6, count);
    disk = original;
    for (std::size_t i = 1; i < count; ++i) {
      const std::size_t end = (i - 1) * 512 + 510;
      disk[40 + 2 * i] = original[end];
      disk[41 + 2 * i] = original[end + 1];
      put16le(disk, end, 0xBEEF);
    }
    original = disk;  // the array bytes stay as they are on disk
    for (std::size_t i = 1; i < count; ++i) {
      const std::size_t end = (i - 1) * 512 + 510;
      original[end] = disk[40 + 2 * i];
      original[end + 1] = disk[41 + 2 * i];
    }
  }
};

TEST(UpdateSequence, RestoresTheSectorEndsOfARecordAndOfAnIndexBlock) {
  Protected record(2, 3);
  applyUpdateSequence(record.disk, 1024);
  EXPECT_EQ(record.disk, record.original);

  Protected block(8, 9);
  ASSERT_NE(block.disk, block.original);
  applyUpdateSequence(block.disk, 4096);
  EXPECT_EQ(block.disk, block.original);
  for (std::size_t s = 0; s < 8; ++s) EXPECT_NE(u16le(block.disk, s * 512 + 510), 0xBEEF) << s;
}

TEST(UpdateSequence, StaysInsideTheGivenSizeAndIgnoresHostileHeaders) {
  // Only the first `size` bytes are repaired: the second sector's end is left alone.
  Protected record(2, 3);
  applyUpdateSequence(record.disk, 600);
  EXPECT_EQ(u16le(record.disk, 510), u16le(record.original, 510));
  EXPECT_EQ(u16le(record.disk, 1022), 0xBEEF);

  // A count far beyond the buffer stops at its last sector.
  Protected many(2, 3);
  put16le(many.disk, 6, 0xFFFF);
  applyUpdateSequence(many.disk, 1024);
  EXPECT_EQ(u16le(many.disk, 1022), u16le(record.original, 1022));

  // An array that lies outside the buffer, or runs out of it, changes nothing outside.
  Bytes small(1024, 0xAA);
  put16le(small, 4, 1023);
  put16le(small, 6, 3);
  Bytes before = small;
  applyUpdateSequence(small, 1024);
  EXPECT_EQ(small, before);
  put16le(small, 4, 1020);  // entry 1 at 1022 fits, entry 2 at 1024 does not
  applyUpdateSequence(small, 1024);
  EXPECT_EQ(small[510], 0xAA);
  applyUpdateSequence(std::span<std::uint8_t>(small).first(3), 1024);  // header cut short
}

// ------------------------------------------------------------------ names

TEST(FileNames, APosixNameIsTakenOnlyWhenNoOtherExists) {
  RecordBuilder b;
  b.standardInfo(1, 2, 3);
  b.fileName(5, mft::kNamespacePosix, u"posix name.txt");
  auto r = b.bytes();
  for (auto ns : {mft::kNamespaceWin32, mft::kNamespaceWin32AndDos, mft::kNamespaceDos})
    EXPECT_FALSE(findFileName(r, ns)) << int(ns);
  ASSERT_TRUE(findPreferredFileName(r));
  EXPECT_EQ(findPreferredFileName(r)->name, "posix name.txt");
  // A DOS name, even after it, comes first.
  b.fileName(5, mft::kNamespaceDos, u"POSIXN~1.TXT");
  EXPECT_EQ(findPreferredFileName(b.bytes())->name, "POSIXN~1.TXT");
}

TEST(FileNames, TheWin32NameWinsWhateverTheOrder) {
  for (bool dosFirst : {true, false}) {
    RecordBuilder b;
    b.standardInfo(1, 2, 3);
    if (dosFirst) b.fileName(40, mft::kNamespaceDos, u"LONGFI~1.TXT", 111);
    b.fileName(41, mft::kNamespaceWin32, u"Long file name.txt", 222);
    if (!dosFirst) b.fileName(40, mft::kNamespaceDos, u"LONGFI~1.TXT", 111);
    auto name = findPreferredFileName(b.bytes());
    ASSERT_TRUE(name) << dosFirst;
    EXPECT_EQ(name->name, "Long file name.txt");
    EXPECT_EQ(name->parent, 41u);
    EXPECT_EQ(name->creationTime, 222u);
    EXPECT_EQ(findFileName(b.bytes(), mft::kNamespaceDos)->name, "LONGFI~1.TXT");
  }
  // Win32 and DOS in one name is taken before a DOS-only name.
  RecordBuilder both;
  both.fileName(7, mft::kNamespaceDos, u"OTHER.TXT");
  both.fileName(8, mft::kNamespaceWin32AndDos, u"SHORT.TXT");
  EXPECT_EQ(findPreferredFileName(both.bytes())->name, "SHORT.TXT");
}

TEST(FileNames, AreUtf8SkipNamedAttributesAndReturnTimesWithoutAName) {
  RecordBuilder b;
  b.standardInfo(10, 20, 30);
  // A named $FILE_NAME attribute is not a file name.
  b.resident(mft::kTypeFileName, test::fileNameContent(9, 1, u"named.txt"), u"x");
  // U+0100's low byte is 0; a pair is one character; a lone low surrogate reads as U+FFFD.
  std::u16string stored = u"\u0141\u00f3d\u017a\u0100\U0001F600\xDE00";
  stored += u'\0';
  stored += u"tail";
  b.fileName(6, mft::kNamespaceWin32, stored);
  auto r = b.bytes();
  auto name = findFileName(r, mft::kNamespaceWin32);
  ASSERT_TRUE(name);
  EXPECT_EQ(name->name, "\u0141\u00f3d\u017a\u0100\U0001F600\uFFFD");
  EXPECT_EQ(name->parent, 6u);

  auto withTimes = findFileNameWithTimes(r, mft::kNamespaceDos);
  EXPECT_FALSE(withTimes.fileName);
  EXPECT_EQ(withTimes.modificationTime, 20u);
  auto times = readStandardTimes(r);
  ASSERT_TRUE(times);
  EXPECT_EQ(times->creation, 10u);
  EXPECT_EQ(times->modification, 20u);
  EXPECT_EQ(times->access, 30u);
}

// A record whose only attribute is a $FILE_NAME placed so that the last byte of its
// 40-character name is at `lastByte`.
MftRecord nameEndingAt(std::size_t lastByte) {
  RecordBuilder b;
  const Bytes content = test::fileNameContent(5, 1, std::u16string(40, u'n'));
  const std::size_t at = lastByte + 1 - 24 - content.size();
  auto& raw = b.raw();
  put16le(raw, 20, static_cast<std::uint16_t>(at));
  put32le(raw, at, mft::kTypeFileName);
  put32le(raw, at + 4, static_cast<std::uint32_t>(1024 - at));
  put32le(raw, at + 16, static_cast<std::uint32_t>(content.size()));
  put16le(raw, at + 20, 24);
  std::copy(content.begin(), content.end(), raw.begin() + static_cast<long>(at + 24));
  MftRecord r{};
  std::copy(raw.begin(), raw.end(), r.begin());
  return r;
}

TEST(FileNames, ANameReachingTheLastByteOfTheRecordIsNotRead) {
  EXPECT_TRUE(findFileName(nameEndingAt(1022), 1));
  EXPECT_FALSE(findFileName(nameEndingAt(1023), 1));
}

// ------------------------------------------------------------------ data

TEST(DataAttribute, NamedStreamsAreSkippedAndSizesAreSixtyFourBit) {
  RecordBuilder b;
  b.fileName(5, 1, u"a");
  b.resident(mft::kTypeData, Bytes(33, 1), u"Zone.Identifier");
  const std::size_t unnamed = b.nonResident(mft::kTypeData, {0x11, 0x01, 0x10}, 0x123456789ULL);
  auto r = b.bytes();
  ASSERT_TRUE(findDataSize(r));
  EXPECT_EQ(*findDataSize(r), 0x123456789ULL);
  auto where = locateData(r);
  EXPECT_EQ(where.kind, DataKind::NonResident);
  EXPECT_EQ(where.position, unnamed);

  RecordBuilder onlyNamed;
  onlyNamed.resident(mft::kTypeData, Bytes(10, 1), u"s1");
  onlyNamed.nonResident(mft::kTypeData, {0x11, 0x01, 0x10}, 4096, u"s2");
  EXPECT_FALSE(findDataSize(onlyNamed.bytes()));
  EXPECT_EQ(locateData(onlyNamed.bytes()).kind, DataKind::None);

  RecordBuilder small;
  const std::size_t at = small.resident(mft::kTypeData, Bytes(100, 7));
  EXPECT_EQ(*findDataSize(small.bytes()), 100u);
  EXPECT_EQ(locateData(small.bytes()).kind, DataKind::Resident);
  EXPECT_EQ(locateData(small.bytes()).position, at);
  small.raw()[at + 8] = 5;  // neither resident nor non-resident
  EXPECT_EQ(locateData(small.bytes()).kind, DataKind::None);
}

TEST(DataAttribute, NamedStreamsAreListedWithTheirNamesSizesAndFirstClusters) {
  RecordBuilder b;
  b.fileName(5, 1, u"mult1.dat");
  b.nonResident(mft::kTypeData, {0x11, 0x01, 0x10}, 3000);
  const std::size_t zone = b.resident(mft::kTypeData, Bytes(26, 1), u"Zone.Identifier");
  const std::size_t ads = b.nonResident(mft::kTypeData, {0x11, 0x01, 0x20}, 0x100000123ULL, u"\u00e9t\u00e9");
  const std::size_t later = b.nonResident(mft::kTypeData, {0x11, 0x01, 0x30}, 0, u"ADS");
  put64le(b.raw(), later + mft::kAttrLowestVcn, 7);  // an extent that continues a stream
  const std::size_t hostile = b.resident(mft::kTypeData, Bytes(4, 1), u"xy");
  put16le(b.raw(), hostile + mft::kAttrNameOffset, 1000);  // the name lies outside the attribute

  const auto streams = findNamedStreams(b.bytes());
  ASSERT_EQ(streams.size(), 3u);
  EXPECT_EQ(streams[0].name, "Zone.Identifier");
  EXPECT_TRUE(streams[0].resident);
  EXPECT_EQ(streams[0].size, 26u);
  EXPECT_EQ(streams[0].position, zone);
  EXPECT_EQ(streams[1].name, "\u00e9t\u00e9");
  EXPECT_FALSE(streams[1].resident);
  EXPECT_EQ(streams[1].size, 0x100000123ULL);
  EXPECT_EQ(streams[1].position, ads);
  EXPECT_EQ(streams[2].lowestVcn, 7u);
}

TEST(AttributeWalk, AZeroLengthAttributeEndsTheWalk) {
  RecordBuilder b;
  b.fileName(5, 1, u"before");
  b.raw(mft::kTypeStandardInformation, 0, 24);  // length 0, bytes after it look valid
  b.resident(mft::kTypeData, Bytes(10, 1));
  auto r = b.bytes();
  EXPECT_TRUE(findFileName(r, 1));
  EXPECT_FALSE(findDataSize(r));
  EXPECT_EQ(locateData(r).kind, DataKind::None);
  AttributeWalk walk(r);
  int seen = 0;
  while (walk.next()) ++seen;
  EXPECT_EQ(seen, 2);
}

TEST(AttributeWalk, StartsAndLengthsOutsideTheRecordFindNothing) {
  for (std::uint16_t first : {std::uint16_t{1016}, std::uint16_t{1023}, std::uint16_t{0x8000}}) {
    RecordBuilder b(1, first);
    EXPECT_FALSE(AttributeWalk(b.bytes()).next()) << first;
  }
  RecordBuilder b;
  b.raw(mft::kTypeData, 2000, 8);  // longer than a record
  b.resident(mft::kTypeData, Bytes(10, 1));
  const auto record = b.bytes();  // the walk reads it in place: it must outlive the walk
  AttributeWalk walk(record);
  auto first = walk.next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->bytes.size(), 1023u - 56u);  // cut at the record's limit
  EXPECT_FALSE(walk.next());
}

// ------------------------------------------------------------------ directories

TEST(Directories, SelfNumberComesFromTheFirstIndexRootEntry) {
  RecordBuilder b(3);
  b.fileName(5, 1, u"dir");
  b.indexRoot(77, u"child.txt");
  EXPECT_EQ(directorySelfNumber(b.bytes()), 77u);

  RecordBuilder endOnly(3);
  endOnly.indexRoot(77, u"");
  EXPECT_EQ(directorySelfNumber(endOnly.bytes()), 0u);

  RecordBuilder unknown(3);
  unknown.indexRoot(0xFFFFFFFF, u"child.txt");
  EXPECT_EQ(directorySelfNumber(unknown.bytes()), 0u);

  RecordBuilder otherIndex(3);
  const std::size_t at = otherIndex.indexRoot(77, u"child.txt");
  otherIndex.raw()[at + 28] = 'X';  // "$IX0"
  EXPECT_EQ(directorySelfNumber(otherIndex.bytes()), 0u);
}

TEST(Directories, FirstIndexRunIsTheFirstClusterOfTheI30Allocation) {
  RecordBuilder none(3);
  none.indexRoot(77, u"child.txt");
  EXPECT_EQ(firstIndexRun(none.bytes()), 0u);

  RecordBuilder b(3);
  b.indexRoot(77, u"");
  b.nonResident(mft::kTypeIndexAllocation, {0x31, 0x02, 0x34, 0x12, 0x05, 0x00}, 8192, u"$I30");
  EXPECT_EQ(firstIndexRun(b.bytes()), 0x51234u);

  // A five-byte offset keeps its low four bytes.
  RecordBuilder wide(3);
  wide.nonResident(mft::kTypeIndexAllocation, {0x51, 0x01, 0x44, 0x33, 0x22, 0x11, 0x7F}, 4096,
                   u"$I30");
  EXPECT_EQ(firstIndexRun(wide.bytes()), 0x11223344u);

  RecordBuilder otherName(3);
  otherName.nonResident(mft::kTypeIndexAllocation, {0x11, 0x01, 0x05}, 4096, u"$SDH");
  EXPECT_EQ(firstIndexRun(otherName.bytes()), 0u);
}

// ------------------------------------------------------------------ attribute lists

TEST(AttributeList, CollectsEverySegmentAndStaysInsideTheList) {
  RecordBuilder b;
  b.standardInfo(1, 2, 3);
  b.resident(mft::kTypeAttributeList,
             test::attributeListContent({{0x10, 40}, {0x30, 40}, {0x80, 41}, {0x80, 42, u"ads"}}));
  // What follows the list must not be read as list entries.
  b.fileName(5, 1, u"after");
  std::vector<std::uint32_t> numbers{40};
  collectAttributeList(b.bytes(), numbers);
  EXPECT_EQ(numbers, (std::vector<std::uint32_t>{40, 40, 40, 41, 42}));

  RecordBuilder nonResident;
  nonResident.nonResident(mft::kTypeAttributeList, {0x11, 0x01, 0x10}, 64);
  std::vector<std::uint32_t> none;
  collectAttributeList(nonResident.bytes(), none);
  EXPECT_TRUE(none.empty());
}

// ------------------------------------------------------------------ index blocks

// A 4096-byte "INDX" block with the given entries (name, record, directory?).
struct IndexBlockBuilder {
  Bytes block = Bytes(4096, 0);
  std::size_t next = 64;
  IndexBlockBuilder() {
    std::copy_n("INDX", 4, block.begin());
    put16le(block, 4, 40);
    put16le(block, 6, 9);
    put64le(block, 16, 0x100000007ULL);
    put32le(block, 24, 40);  // entries at 24 + 40
    put32le(block, 32, 4096 - 24);
  }
  std::size_t add(const std::u16string& name, std::uint32_t record, std::uint32_t parent,
                  bool directory, std::uint64_t creation = 0) {
    Bytes key = test::fileNameContent(parent, 1, name, creation, directory ? 0x10000000u : 0x20u);
    const std::size_t length = test::align8(16 + key.size());
    const std::size_t at = next;
    put32le(block, at, record);
    put16le(block, at + 8, static_cast<std::uint16_t>(length));
    put16le(block, at + 10, static_cast<std::uint16_t>(key.size()));
    std::copy(key.begin(), key.end(), block.begin() + static_cast<long>(at + 16));
    next += length;
    return at;
  }
  std::vector<IndexEntry> walk(std::size_t size = 4096) const {
    std::vector<IndexEntry> out;
    forEachIndexEntry(block, size, [&](const IndexEntry& e) { out.push_back(e); });
    return out;
  }
};

TEST(IndexBlocks, EntriesAreHandedOverUntilTheEndEntry) {
  IndexBlockBuilder b;
  b.add(u"Folder", 70, 5, true, 1234);
  b.add(u"file.txt", 71, 5, false);
  // The end entry, followed by a stale copy of an entry that was moved out: the walk
  // ends at it, whatever lies at its name offset.
  const std::size_t end = b.add(u"stale.txt", 72, 5, true);
  std::fill_n(b.block.begin() + static_cast<long>(end), 16, std::uint8_t{0});
  put16le(b.block, end + 8, 16);
  put32le(b.block, end + 12, 0x02);
  ASSERT_NE(b.block[end + 80], 0);
  EXPECT_TRUE(isIndexBlock(b.block));
  EXPECT_EQ(indexBlockVcn(b.block), 7u);
  EXPECT_EQ(indexBlockSize(b.block), 4096u);
  auto entries = b.walk();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "Folder");
  EXPECT_EQ(entries[0].recordNumber, 70u);
  EXPECT_EQ(entries[0].parent, 5u);
  EXPECT_EQ(entries[0].creationTime, 1234u);
  EXPECT_TRUE(entries[0].isDirectory);
  EXPECT_EQ(entries[1].name, "file.txt");
  EXPECT_FALSE(entries[1].isDirectory);

  // Without the end flag the walk stops at a name length of 0.
  put32le(b.block, end + 12, 0);
  b.block[end + 80] = 0;
  EXPECT_EQ(b.walk().size(), 2u);
}

TEST(IndexBlocks, HostileEntriesEndTheWalkInsideTheBlock) {
  // An entry length of 0 stops after the entry.
  IndexBlockBuilder zero;
  std::size_t at = zero.add(u"a", 1, 5, false);
  put16le(zero.block, at + 8, 0);
  zero.add(u"b", 2, 5, false);
  EXPECT_EQ(zero.walk().size(), 1u);

  // A name running past the block's end is not read; nor is an entry near its end.
  IndexBlockBuilder tail;
  tail.next = 4096 - 90;
  tail.add(u"x", 1, 5, false);
  tail.block[4096 - 90 + 80] = 200;
  EXPECT_TRUE(tail.walk().empty());
  EXPECT_TRUE(tail.walk(4096 - 9).empty());

  // A first-entry offset far outside.
  IndexBlockBuilder far;
  far.add(u"a", 1, 5, false);
  put32le(far.block, 24, 0xFFFFFFF0);
  EXPECT_TRUE(far.walk().empty());

  // A block of 0x01 bytes: every entry is 257 bytes long with a one-character name, so
  // entries start at 64 + 257k and the last whose name ends inside the block is k = 15.
  IndexBlockBuilder crawl;
  std::fill(crawl.block.begin() + 64, crawl.block.end(), std::uint8_t{1});
  EXPECT_EQ(crawl.walk().size(), 16u);
}

// ------------------------------------------------------------------ hostile records

// Every accessor over a buffer, with its results checked against the buffer's bounds.
void exerciseRecord(ByteSpan r) {
  (void)readStandardTimes(r);
  for (std::uint8_t ns = 0; ns < 4; ++ns) {
    auto name = findFileName(r, ns);
    if (name) {
      EXPECT_LE(name->name.size(), 255u);
    }
  }
  (void)findFileNameWithTimes(r, 1);
  (void)findDataSize(r);
  auto where = locateData(r);
  if (where.kind != DataKind::None) {
    EXPECT_LT(where.position, mft::kRecordLimit);
  }
  std::vector<std::uint32_t> numbers;
  collectAttributeList(r, numbers);
  EXPECT_LE(numbers.size(), kMaxSegments);
  (void)directorySelfNumber(r);
  (void)firstIndexRun(r);
  AttributeWalk walk(r);
  int steps = 0;
  while (auto a = walk.next()) {
    EXPECT_LE(a->position + a->bytes.size(), mft::kRecordLimit);
    ASSERT_LT(++steps, 1024);
  }
  forEachIndexEntry(r, r.size(), [](const IndexEntry&) {});
}

TEST(HostileRecords, EveryFieldCorruptedInTurnNeverReadsOutside) {
  RecordBuilder b(3);
  b.standardInfo(1, 2, 3);
  b.resident(mft::kTypeAttributeList, test::attributeListContent({{0x10, 40}, {0x80, 41}}));
  b.fileName(5, 1, u"Some name.txt");
  b.indexRoot(77, u"child");
  b.nonResident(mft::kTypeIndexAllocation, {0x11, 0x01, 0x05}, 4096, u"$I30");
  b.nonResident(mft::kTypeData, {0x21, 0x10, 0x00, 0x01, 0x11, 0x02, 0xFF, 0x00}, 99999);
  const MftRecord good = b.bytes();
  for (std::size_t i = 0; i < 700; ++i) {
    for (int v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      MftRecord r = good;
      r[i] = static_cast<std::uint8_t>(v);
      // On the heap at its exact size, so that a memory checker sees any read past it;
      // then cut short, where the span's end comes before the record's.
      const Bytes whole(r.begin(), r.end());
      exerciseRecord(whole);
      const Bytes cut(r.begin(), r.begin() + static_cast<long>(i));
      exerciseRecord(cut);
    }
  }
}

}  // namespace
}  // namespace tessaly
