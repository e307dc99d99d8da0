// NTFS saving on the volume ntfs-3g filled: resident, non-resident, fragmented and
// sparse files, and whole recoveries of the deleted ones, checked byte for byte against
// what was written before deletion.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "../ntfs/ntfs_builders.h"
#include "ntfs/compressed_data.h"
#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"
#include "platform/device.h"
#include "support/manifest.h"
#include "partition/volume.h"
#include "save/save_engine.h"
#include "recovery/recover.h"
#include "save/save_job.h"
#include "save/save_walks.h"
#include "recovery/folder_contents.h"
#include "recovery/quick_scan.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

class NtfsSave : public ::testing::Test {
 protected:
  test::Manifest manifest{test::manifestPath("ntfs_files")};
  test::TempDir install, out;
  std::unique_ptr<test::TestSession> t;

  void SetUp() override {
    ASSERT_FALSE(manifest.entries.empty());
    t = std::make_unique<test::TestSession>(test::imagePath("ntfs_files"));
    Session& s = t->session;
    s.installFolder = install.path();
    const std::uint32_t start = manifest.partitionStart();
    s.partitionSelection.fileSystem = FileSystem::Ntfs;
    s.partitionSelection.firstSector = start;
    s.partitionSelection.lastSector = start + manifest.partitionSectors() - 1;
    validatePartition(s, t->scan);
    ASSERT_EQ(runQuickScan(s, t->scan), ScanEnd::Finished);
  }
  std::map<std::string, std::string> savedHashes() {
    std::map<std::string, std::string> hashes;
    for (const auto& entry : fs::recursive_directory_iterator(out.path()))
      if (entry.is_regular_file())
        hashes[fs::relative(entry.path(), out.path()).string()] = test::sha256File(entry.path().string());
    return hashes;
  }
};

TEST_F(NtfsSave, EveryKindOfFileIsSavedFromItsRecord) {
  // Live files too: their runs are intact, so this reads resident data, fragmented and
  // sparse run lists through the same path a deleted file takes.
  Session& s = t->session;
  SaveJob job(t->scan);
  int checked = 0;
  for (const auto& e : manifest.entries) {
    if (e.folder) continue;
    const std::string dest = out.file("r" + std::to_string(e.record));
    EXPECT_TRUE(saveNtfsFile(s, job, dest, e.name(), e.size, static_cast<std::uint32_t>(manifest.recordSector(e.record)),
                             false, e.deleted))
        << e.path;
    EXPECT_EQ(test::sha256File(dest), e.sha) << e.path << " (" << e.runsText << ")";
    ++checked;
  }
  EXPECT_GT(checked, 50);
}

TEST(NtfsSaveEncrypted, AnEncryptedFileIsSavedAsStoredButNeverCountedAsRecovered) {
  const test::Manifest manifest(test::manifestPath("ntfs_files"));
  const test::Entry* e = manifest.find("Documents/report.doc");
  ASSERT_TRUE(e);
  auto disk = std::make_shared<test::PatchedDevice>(platform::FileDevice::open(test::imagePath("ntfs_files")));
  test::TestSession t(disk);
  test::TempDir install, out;
  Session& s = t.session;
  s.installFolder = install.path();
  s.partitionSelection.fileSystem = FileSystem::Ntfs;
  s.partitionSelection.firstSector = manifest.partitionStart();
  s.partitionSelection.lastSector = manifest.partitionStart() + manifest.partitionSectors() - 1;
  validatePartition(s, t.scan);
  ASSERT_EQ(runQuickScan(s, t.scan), ScanEnd::Finished);
  // Give the file's $DATA the encrypted flag (0x4000 of the attribute flags at 12).
  const std::uint64_t sector = manifest.recordSector(e->record);
  MftRecord record{};
  ASSERT_TRUE(readRecordAt(s, sector, record));
  const std::size_t flags = locateData(record).position + 13;
  disk->patchByte(sector + flags / 512, flags % 512, 0x40);

  SaveJob job(t.scan);
  const std::string dest = out.file("report.doc");
  EXPECT_FALSE(saveNtfsFile(s, job, dest, "report.doc", e->size, static_cast<std::uint32_t>(sector), false, false));
  EXPECT_EQ(test::sha256File(dest), e->sha);  // the stored bytes, as they are
  EXPECT_EQ(job.outcome.encryptedFiles, 1);
  ASSERT_EQ(job.outcome.notes().size(), 1u);
  EXPECT_EQ(job.outcome.notes()[0].outcome, FileOutcome::Encrypted);
}

TEST_F(NtfsSave, ARecoveryBringsBackEveryDeletedFileInItsFolder) {
  Session& s = t->session;
  const TreeItem root = t->scan.folderTree.root();
  toggleCheck(t->scan.folderTree, root);
  SaveJob job(t->scan);
  job.destinationFolder = out.path();
  saveRootAndCheckedFolders(s, job, true);
  const int counted = job.filesToSave;

  std::map<std::string, std::string> expected;
  for (const auto& e : manifest.entries)
    if (!e.folder && e.deleted) expected[e.path] = e.sha;
  EXPECT_EQ(savedHashes(), expected);
  EXPECT_EQ(counted, static_cast<int>(expected.size()));
  EXPECT_EQ(job.outcome.filesCompleted.load(), static_cast<int>(expected.size()));
  EXPECT_EQ(job.outcome.writeFailures.load(), 0);
}

TEST_F(NtfsSave, AListedDeletedFolderIsSavedWithItsSubfolders) {
  ScanState& scan = t->scan;
  // The file list of "Pictures": the deleted folder "Trip" among its rows.
  TreeItem pictures = kNoItem;
  for (TreeItem child : scan.folderTree.children(scan.folderTree.root()))
    if (scan.folderTree.text(child) == "Pictures") pictures = child;
  ASSERT_NE(pictures, kNoItem);
  FolderContents contents = listFolder(t->session, scan, pictures);
  FileListModel list;
  list.setRows(contents.rows);
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list.row(i).columns[kColName] == "Trip") list.select(i, true);
  ASSERT_EQ(list.selectedCount(), 1u);
  SaveJob job(scan);
  job.destinationFolder = out.path();
  job.source = SaveSource::FileList;
  job.fileList = &list;
  runSave(t->session, job);
  std::map<std::string, std::string> expected;
  for (const auto& e : manifest.entries)
    if (!e.folder && e.deleted && e.path.rfind("Pictures/Trip/", 0) == 0) expected[e.path.substr(9)] = e.sha;
  EXPECT_EQ(savedHashes(), expected);
}

TEST(NtfsSaveSize, AFileOfMoreThanFourGibibytesIsSavedWhole) {
  // One sparse run of 5 GiB: nothing is read, every byte is a zero, the size is 64-bit.
  const std::uint64_t size = 5ull << 30;
  test::RecordBuilder record(1);
  record.fileName(5, 1, u"huge.bin");
  record.nonResident(0x80, {0x04, 0x00, 0x00, 0x14, 0x00}, size);
  // A disk of zeros large enough for the file, the record at sector 10.
  struct ZeroDisk : platform::Device {
    bool read(std::uint64_t, std::span<std::uint8_t> buffer) override {
      std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
      return true;
    }
    std::uint64_t size() const override { return 6ull << 30; }
  };
  auto disk = std::make_shared<test::PatchedDevice>(std::make_shared<ZeroDisk>());
  auto bytes = record.protectedBytes();
  disk->patch(10, {bytes.begin(), bytes.begin() + 512});
  disk->patch(11, {bytes.begin() + 512, bytes.begin() + 1024});
  test::TestSession t(disk);
  t.scan.workingVolume.fileSystem = FileSystem::Ntfs;
  t.scan.workingVolume.sectorsPerCluster = 8;
  t.scan.workingVolume.cluster0Sector = 0;
  SaveJob job(t.scan);
  test::TempDir out;
  EXPECT_TRUE(
      saveNtfsFile(t.session, job, out.file("huge.bin"), "huge.bin", size, 10, false, true));
  EXPECT_EQ(job.outcome.bytesWritten.load(), size);
  // Its zeros are holes: the copy takes its length, not 5 GiB of the destination.
  struct stat st {};
  ASSERT_EQ(::stat(out.file("huge.bin").c_str(), &st), 0);
  EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), size);
  EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, 1u << 20);
}

TEST(NtfsSaveRuns, RunsThatStopShortOfTheSizeGiveAnIncompleteFile) {
  // One cluster of runs (at cluster 2) for a size of 10000 bytes.
  test::RecordBuilder record(1);
  record.fileName(5, 1, u"short.bin");
  record.nonResident(0x80, {0x11, 0x01, 0x02, 0x00}, 10000);
  auto disk = std::make_shared<platform::MemoryDevice>(64);
  auto bytes = record.protectedBytes();
  std::copy(bytes.begin(), bytes.end(), disk->bytes().begin() + 10 * 512);
  std::fill(disk->bytes().begin() + 16 * 512, disk->bytes().begin() + 24 * 512, 0x5A);
  test::TestSession t(disk);
  t.scan.workingVolume.fileSystem = FileSystem::Ntfs;
  t.scan.workingVolume.sectorsPerCluster = 8;
  SaveJob job(t.scan);
  test::TempDir out;
  EXPECT_TRUE(
      saveNtfsFile(t.session, job, out.file("short.bin"), "short.bin", 10000, 10, true, true));
  const auto saved = test::readFile(out.file("short.bin"));
  EXPECT_EQ(saved, std::vector<std::uint8_t>(4096, 0x5A));
  EXPECT_EQ(job.outcome.filesCompleted.load(), 0);
  EXPECT_EQ(job.outcome.filesIncomplete.load(), 1);
  ASSERT_EQ(job.outcome.notes().size(), 1u);
  EXPECT_EQ(job.outcome.notes()[0].missingBytes, (std::vector<ByteRange>{{4096, 10000 - 4096}}));
}

TEST(NtfsSaveAttributeList, ALiveFileSpreadOverSeveralRecordsIsSavedWhole) {
  // frag.bin's run list fills several records, and its attribute list is itself
  // non-resident (ntfs-3g moves a long one into clusters).
  const test::Manifest manifest(test::manifestPath("streams_ntfs"));
  if (manifest.entries.empty()) GTEST_SKIP() << "streams_ntfs was not built: ntfs-3g cannot mount here";
  const test::Entry* e = manifest.find("frag.bin");
  ASSERT_TRUE(e);
  test::TestSession t(test::imagePath("streams_ntfs"));
  test::TempDir install, out;
  Session& s = t.session;
  s.installFolder = install.path();
  s.partitionSelection.fileSystem = FileSystem::Ntfs;
  s.partitionSelection.firstSector = manifest.partitionStart();
  s.partitionSelection.lastSector = manifest.partitionStart() + manifest.partitionSectors() - 1;
  validatePartition(s, t.scan);
  ASSERT_EQ(runQuickScan(s, t.scan), ScanEnd::Finished);
  // (The manifest lists no $MFT runs: the record is found through the scan's.)
  const std::uint32_t sector = sectorOfRecord(t.scan.mftRuns, e->record);
  MftRecord record{};
  ASSERT_TRUE(readRecordAt(s, sector, record));
  ASSERT_TRUE(hasAttributeList(record));
  SaveJob job(t.scan);
  EXPECT_TRUE(saveNtfsFile(s, job, out.file("frag.bin"), "frag.bin", e->size, sector, true, false));
  EXPECT_EQ(test::sha256File(out.file("frag.bin")), e->sha);
  EXPECT_EQ(job.outcome.filesCompleted.load(), 1);
}

// A crafted volume of 1 KiB clusters (2 sectors) whose one record, at sector 10, is the
// given one; cluster 50 (sector 100) holds `cluster`.
struct CraftedFile {
  std::shared_ptr<platform::MemoryDevice> disk = std::make_shared<platform::MemoryDevice>(256);
  std::unique_ptr<test::TestSession> t;
  test::TempDir out;
  CraftedFile(const test::RecordBuilder& record, const std::vector<std::uint8_t>& cluster = {}) {
    const auto bytes = record.protectedBytes();
    std::copy(bytes.begin(), bytes.end(), disk->bytes().begin() + 10 * 512);
    std::copy(cluster.begin(), cluster.end(), disk->bytes().begin() + 100 * 512);
    t = std::make_unique<test::TestSession>(disk);
    t->scan.workingVolume.fileSystem = FileSystem::Ntfs;
    t->scan.workingVolume.sectorsPerCluster = 2;
  }
};

TEST(NtfsSaveCompressed, AUnitThatDoesNotDecompressIsNotedDamagedNotCountedWhole) {
  // Two compression units of 16 clusters: the first stored in one cluster whose LZNT1 chunk
  // begins with a back reference (nothing to refer to), the second sparse.
  test::RecordBuilder record(0);
  record.fileName(5, 1, u"packed.txt");
  const std::size_t data = record.nonResident(0x80, {0x11, 0x01, 50, 0x01, 15, 0x01, 16}, 20000);
  put16le(record.raw(), data + kAttrFlags, kAttrFlagCompressed);
  record.raw()[data + kAttrCompressionUnit] = 4;
  CraftedFile f(record, {0x02, 0xB0, 0x01, 0x00, 0x10});
  SaveJob job(f.t->scan);
  EXPECT_TRUE(saveNtfsFile(f.t->session, job, f.out.file("packed.txt"), "packed.txt", 20000, 10, true, true));
  EXPECT_EQ(test::readFile(f.out.file("packed.txt")), std::vector<std::uint8_t>(20000, 0));
  EXPECT_EQ(job.outcome.filesCompleted.load(), 0);
  EXPECT_EQ(job.outcome.filesIncomplete.load(), 1);
  ASSERT_EQ(job.outcome.notes().size(), 1u);
  EXPECT_EQ(job.outcome.notes()[0].outcome, FileOutcome::Damaged);
  EXPECT_EQ(job.outcome.notes()[0].missingBytes, (std::vector<ByteRange>{{0, 16384}}));
}

TEST(NtfsSaveEncrypted, ResidentEncryptedDataAreNotedEncryptedLikeNonResidentOnes) {
  test::RecordBuilder record(0);
  record.fileName(5, 1, u"key.txt");
  const std::size_t data = record.resident(0x80, {'s', 'e', 'c', 'r', 'e', 't'});
  put16le(record.raw(), data + kAttrFlags, kAttrFlagEncrypted);
  CraftedFile f(record);
  SaveJob job(f.t->scan);
  EXPECT_FALSE(saveNtfsFile(f.t->session, job, f.out.file("key.txt"), "key.txt", 6, 10, true, true));
  EXPECT_EQ(test::readFile(f.out.file("key.txt")), (std::vector<std::uint8_t>{'s', 'e', 'c', 'r', 'e', 't'}));
  EXPECT_EQ(job.outcome.encryptedFiles.load(), 1);
  EXPECT_EQ(job.outcome.filesCompleted.load(), 0);
  ASSERT_EQ(job.outcome.notes().size(), 1u);
  EXPECT_EQ(job.outcome.notes()[0].outcome, FileOutcome::Encrypted);
}

// The ntfs_files volume with MFT records zeroed, in a copy of the image.
struct DamagedMft {
  test::Manifest manifest{test::manifestPath("ntfs_files")};
  test::TempDir dir, out;
  std::unique_ptr<test::TestSession> t;
  explicit DamagedMft(std::uint32_t zeroedRecords) {
    const std::string image = dir.file("ntfs.img");
    fs::copy_file(test::imagePath("ntfs_files"), image);
    std::fstream disk(image, std::ios::in | std::ios::out | std::ios::binary);
    const std::vector<char> zeros(1024, 0);
    for (std::uint32_t r = 0; r < zeroedRecords; ++r) {
      disk.seekp(static_cast<std::streamoff>(manifest.recordSector(r) * 512));
      disk.write(zeros.data(), 1024);
    }
    disk.close();
    t = std::make_unique<test::TestSession>(image);
    Session& s = t->session;
    s.installFolder = dir.path();
    s.partitionSelection.fileSystem = FileSystem::Ntfs;
    s.partitionSelection.firstSector = manifest.partitionStart();
    s.partitionSelection.lastSector = manifest.partitionStart() + manifest.partitionSectors() - 1;
    validatePartition(s, t->scan);
  }
};

TEST(NtfsMftMirror, ADamagedRecordZeroIsReadFromTheMirrorAndEveryFileComesBack) {
  DamagedMft volume(1);
  Session& s = volume.t->session;
  ScanState& scan = volume.t->scan;
  ASSERT_EQ(runQuickScan(s, scan), ScanEnd::Finished);
  EXPECT_EQ(scan.notes, (std::vector<std::string>{kMftMirrorNote}));
  toggleCheck(scan.folderTree, scan.folderTree.root());
  SaveJob job(scan);
  job.destinationFolder = volume.out.path();
  saveRootAndCheckedFolders(s, job, true);
  std::map<std::string, std::string> expected, saved;
  for (const auto& e : volume.manifest.entries)
    if (!e.folder && e.deleted) expected[e.path] = e.sha;
  for (const auto& entry : fs::recursive_directory_iterator(volume.out.path()))
    if (entry.is_regular_file())
      saved[fs::relative(entry.path(), volume.out.path()).string()] =
          test::sha256File(entry.path().string());
  EXPECT_EQ(saved, expected);
}

TEST(NtfsMftMirror, AnMftLostWithItsRootDirectoryFailsTheScanWithItsMessage) {
  DamagedMft volume(16);
  ASSERT_EQ(runQuickScan(volume.t->session, volume.t->scan), ScanEnd::Unreadable);
  ASSERT_EQ(volume.t->dialogs.messages.size(), 1u);
  EXPECT_EQ(volume.t->dialogs.messages[0].text, kMftLostMessage);
  // The command line says so and fails.
  test::TempDir home;
  const std::string image = volume.dir.file("ntfs.img");
  const int raw = std::system(("TESSALY_HOME='" + home.path() + "' '" + test::stageDir() +
                               "/tessaly-cli' scan '" + image + "' --partition 1 >'" +
                               home.file("out") + "' 2>&1 </dev/null")
                                  .c_str());
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  const std::string text = test::run("cat '" + home.file("out") + "'");
  EXPECT_NE(text.find("Advanced mode can search the disk for its records"), std::string::npos)
      << text;
}

}  // namespace
}  // namespace tessaly
