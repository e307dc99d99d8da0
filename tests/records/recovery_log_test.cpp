#include "records/recovery_log.h"

#include <gtest/gtest.h>

#include <random>

#include "records/log_entries.h"

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Every number distinct, so that a field written in the wrong place shows.
VolumeParameters numbered(std::uint32_t base, FileSystem fileSystem) {
  VolumeParameters p;
  std::uint32_t v = base;
  for (auto* field : {&p.fatSectors, &p.sectorsPerCluster, &p.rootDirSectors, &p.rootDirStart,
                      &p.reservedSectors, &p.cluster0Sector, &p.fat1Start, &p.fat2Start, &p.mftStart,
                      &p.mftMirrorStart, &p.mftRecordSectors, &p.indexBufferSectors})
    *field = v++;
  p.fileSystem = fileSystem;
  return p;
}

FolderRecord folder(const std::string& name, std::uint32_t self, std::uint32_t parent) {
  return {.name = name, .parentId = parent, .selfId = self, .date = 0x1122334455667788,
          .time = 0x0102030405060708, .deleted = 1};
}

RecoveryLog fat32Log() {
  return {.diskModel = "ST3200822A", .recoveryMode = 2, .selectedDisk = 1, .diskNumber = 1,
          .partitionIndex = 3, .fileSystem = "FAT32", .searchMode = "Quick", .firstSector = 63,
          .lastSector = 0x1'0000'0040, .computed = numbered(100, FileSystem::None), .working = numbered(200, FileSystem::Fat32),
          .folders = {folder("Docs", 5, 0), folder("Lost", 0x0FFFFFFF, 0), folder("Übung", 9, 5)},
          .files = {}};
}

RecoveryLog ntfsLog() {
  RecoveryLog log = fat32Log();
  log.fileSystem = "NTFS";
  log.working.fileSystem = FileSystem::Ntfs;
  log.folders = {folder("Docs", 40, 5)};
  log.files = {{"a.txt", 0x10, 41, 40, 0x01D9'0000'0000'0001, 0x1'0000'0002, 1}, {"", 1, 2, 3, 4, 5, 0}};
  return log;
}

std::uint32_t u32At(const Bytes& b, std::size_t off) { return u32le(b, off); }

TEST(RecoveryLog, HeaderFieldsLieWhereTheFileKeepsThem) {
  const Bytes bytes = encodeRecoveryLog(fat32Log());
  ASSERT_TRUE(bytesEqual(bytes, 0, "Varnholt Tessaly Works"));
  EXPECT_EQ(u32At(bytes, 22), 10u);
  EXPECT_TRUE(bytesEqual(bytes, 26, std::string("ST3200822A\0\0\0\0\0\0\0\0\0\0", 20)));
  const std::size_t p = 26 + 20;
  EXPECT_EQ(Bytes(bytes.begin() + p, bytes.begin() + p + 5), (Bytes{2, 1, 1, 3, 5}));
  EXPECT_TRUE(bytesEqual(bytes, p + 5, std::string("FAT32\0\0\0\0\0", 10)));
  const std::size_t q = p + 5 + 10;
  EXPECT_EQ(bytes[q], 5);
  const std::size_t r = q + 1 + 10;
  EXPECT_EQ(u64le(bytes, r), 63u);
  EXPECT_EQ(u64le(bytes, r + 8), 0x1'0000'0040u);
  EXPECT_EQ(u32At(bytes, r + 16), 100u);  // computed fatSectors
  EXPECT_EQ(u32At(bytes, r + 60), 111u);  // computed indexBufferSectors
  EXPECT_EQ(u32At(bytes, r + 64), 200u);  // working fatSectors
  EXPECT_EQ(u32At(bytes, r + 96), 208u);  // working mftStart
  EXPECT_EQ(bytes[r + 112], 5);
  EXPECT_TRUE(bytesEqual(bytes, r + 113, "FAT32"));
  const std::size_t s = r + 113 + 10;
  EXPECT_EQ(u32At(bytes, s), 3u);

  // "Docs": L = 29, 8 name bytes, then 25 bytes of numbers and flag.
  const Bytes docs(bytes.begin() + s + 4, bytes.begin() + s + 4 + 37);
  const Bytes expected{29, 0, 0, 0, 'D', 'o', 'c', 's', 0, 0, 0, 0,                 //
                       5, 0, 0, 0, 0, 0, 0, 0,                                        // self, parent
                       0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,                // date
                       8, 7, 6, 5, 4, 3, 2, 1, 1};                                    // time, deleted
  EXPECT_EQ(docs, expected);
  // "Übung" is six UTF-8 bytes; nothing follows the last folder of a FAT log.
  EXPECT_EQ(bytes.size(), s + 4 + 37 + 37 + (2 * 6 + 29));
}

TEST(RecoveryLog, NtfsFileEntryOfATxtIsFortySixBytesAndEndsTheFile) {
  const Bytes bytes = encodeRecoveryLog(ntfsLog());
  const std::size_t entries = bytes.size() - 46 - 36;  // "a.txt", then the nameless entry
  EXPECT_EQ(u32At(bytes, entries - 4), 2u);
  const Bytes entry(bytes.begin() + entries, bytes.begin() + entries + 46);
  const Bytes expected{5, 0, 0, 0, 'a', '.', 't', 'x', 't', 0, 0, 0, 0, 0,  //
                       0x10, 0, 0, 0, 41, 0, 0, 0, 40, 0, 0, 0,             // sector, record, parent
                       1, 0, 0, 0, 0, 0, 0xD9, 0x01,                       // time
                       2, 0, 0, 0, 1, 0, 0, 0,                             // size
                       1, 0, 0, 0};                                        // deleted
  EXPECT_EQ(entry, expected);
}

// The positions are checked above: a log that reads back and writes the same bytes kept
// every field.
TEST(RecoveryLog, DecodesWhatWasEncoded) {
  for (const RecoveryLog& original : {fat32Log(), ntfsLog()}) {
    const Bytes bytes = encodeRecoveryLog(original);
    const DecodedLog decoded = decodeRecoveryLog(bytes);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded.log.folders.back().name, original.folders.back().name);
    EXPECT_EQ(encodeRecoveryLog(decoded.log), bytes);
  }
}

TEST(RecoveryLog, LongTextsAreCutBeforeAWholeCharacter) {
  RecoveryLog log = fat32Log();
  std::string name(254, 'x');
  name += "éé";  // 258 bytes: a cut at 255 would split the first é
  log.folders = {folder(name, 1, 0)};
  log.searchMode = std::string(300, 'q');
  const DecodedLog decoded = decodeRecoveryLog(encodeRecoveryLog(log));
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.log.folders[0].name, std::string(254, 'x'));
  EXPECT_EQ(decoded.log.searchMode, std::string(255, 'q'));
}

TEST(RecoveryLog, EveryTruncationIsAnError) {
  const Bytes bytes = encodeRecoveryLog(ntfsLog());
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    const DecodedLog decoded = decodeRecoveryLog(ByteSpan(bytes.data(), n));
    EXPECT_FALSE(decoded.ok()) << n;
    EXPECT_EQ(decoded.error == LogError::BadMagic, n < 22) << n;
    EXPECT_LE(decoded.errorOffset, n);
  }
}

TEST(RecoveryLog, HostileCountsAndLengthsAreRefused) {
  const RecoveryLog log = ntfsLog();
  const Bytes good = encodeRecoveryLog(log);
  auto patched = [&](std::size_t off, std::uint32_t v) {
    Bytes b = good;
    put32le(b, off, v);
    return decodeRecoveryLog(b).error;
  };
  const std::size_t s = 26 + 20 + 4 + 9 + 11 + 16 + 96 + 9;  // folderCount; "NTFS" takes 1 + 8
  ASSERT_EQ(u32At(good, s), 1u);
  EXPECT_EQ(patched(22, 0xFFFFFFFF), LogError::TextTooLong);  // disk model
  EXPECT_EQ(patched(22, 4000), LogError::Truncated);
  EXPECT_EQ(patched(s, 0xFFFFFFFF), LogError::CountTooLarge);
  EXPECT_EQ(patched(s + 4, 24), LogError::BadRecordLength);
  EXPECT_EQ(patched(s + 4, 25 + 256), LogError::TextTooLong);
  EXPECT_EQ(patched(s + 4 + 37, 0x7FFFFFFF), LogError::CountTooLarge);  // entryCount
  EXPECT_EQ(patched(s + 4 + 37 + 4, 4097), LogError::TextTooLong);      // entry name
  Bytes wrongMagic = good;
  wrongMagic[0] = 'v';
  EXPECT_EQ(decodeRecoveryLog(wrongMagic).error, LogError::BadMagic);
}

// Random files, and valid logs with random bytes changed: never a crash, and whatever
// decodes encodes to a file that decodes to the same.
TEST(RecoveryLog, RandomBytesDecodeSafely) {
  std::mt19937 random(18);
  const Bytes good = encodeRecoveryLog(ntfsLog());
  for (int round = 0; round < 20000; ++round) {
    Bytes bytes;
    if (round % 2 == 0) {
      bytes = good;
      for (auto k = random() % 4 + 1; k > 0; --k) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
      bytes.resize(random() % (bytes.size() + 1));
    } else {
      bytes.assign(kRecoveryLogMagic.begin(), kRecoveryLogMagic.end());
      for (auto k = random() % 300; k > 0; --k) bytes.push_back(static_cast<std::uint8_t>(random()));
    }
    const DecodedLog decoded = decodeRecoveryLog(bytes);
    if (!decoded.ok()) continue;
    const Bytes again = encodeRecoveryLog(decoded.log);
    ASSERT_EQ(encodeRecoveryLog(decodeRecoveryLog(again).log), again);
  }
}

TEST(RecoveryLog, LoadingKeepsTheSelectedDiskAndTakesTheLogsChoice) {
  RecoveryLog log = fat32Log();
  log.diskNumber = log.selectedDisk = 7;
  PartitionSelection current;
  current.diskNumber = 4;
  current.partitionIndex = 0x100;
  current.selectedDisk = 2;
  const PartitionSelection s = selectionFromLog(log, current);
  EXPECT_EQ(s.diskNumber, 2);
  EXPECT_EQ(s.partitionIndex, 0x103u);
  EXPECT_EQ(s.lastSector, log.lastSector);
  EXPECT_FALSE(sameDiskModel("ST3200822A", "ST3200822AS"));
}

TEST(RecoveryLog, SaveNamesAreUpperCasedAndGetTheirExtension) {
  const SaveLogName typed = saveLogName("/home/ann/Logs/case1");
  EXPECT_EQ(typed.path, "/home/ann/Logs/CASE1.SAV");
  EXPECT_TRUE(typed.validExtension && typed.askOverwrite(true));
  const SaveLogName old = saveLogName("/tmp/old.sav");
  EXPECT_EQ(old.path, "/tmp/OLD.SAV");
  EXPECT_FALSE(old.askOverwrite(true));  // the dialog asked already
  EXPECT_EQ(saveLogName("über.txt").path, "üBER.TXT.SAV");
  EXPECT_FALSE(saveLogName("/tmp/" + std::string(252, 'n')).validExtension);  // no room for ".SAV"
}

TEST(RecoveryLog, FileEntriesCarryTheTableEntrysTextsAsNumbers) {
  const NtfsEntry entry{.name = "a", .date = "133000000000000000", .kind = RowKind::File, .deleted = true};
  const LoggedFile file = loggedFile(entry);
  EXPECT_EQ(file.time, 133000000000000000u);
  EXPECT_EQ(file.deleted, 1u);
  const NtfsEntry loaded = entryFromLoggedFile(file);
  EXPECT_EQ(loaded.date, entry.date);
  EXPECT_TRUE(loaded.deleted);
  EXPECT_EQ(loaded.kind, RowKind::File);
}

}  // namespace
}  // namespace tessaly
