// The NTFS accessors on a volume made by mkntfs and filled through ntfs-3g (image
// ntfs_files), checked against the manifest written while the files were live: names,
// parents, states and sizes of every record, run lists as ntfsinfo reads them, and file
// contents read through the decoded runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "disk/sector_reader.h"
#include "ntfs/index_block.h"
#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"
#include "support/manifest.h"
#include "partition/volume.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::Entry;
using test::ListedRun;
using test::Manifest;
using test::parseRuns;

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

class NtfsImage : public ::testing::Test {
 protected:
  Manifest manifest{test::manifestPath("ntfs_files")};
  std::shared_ptr<test::PatchedDevice> disk;
  std::unique_ptr<test::TestSession> t;
  Session* session = nullptr;
  VolumeParameters volume;

  void SetUp() override {
    ASSERT_FALSE(manifest.entries.empty()) << "manifest missing or empty";
    std::shared_ptr<platform::Device> file = platform::FileDevice::open(test::imagePath("ntfs_files"));
    ASSERT_TRUE(file);
    disk = std::make_shared<test::PatchedDevice>(file);
    t = std::make_unique<test::TestSession>(disk);
    session = &t->session;

    const std::uint32_t start = manifest.partitionStart();
    session->partitionSelection.fileSystem = FileSystem::Ntfs;
    session->partitionSelection.firstSector = start;
    session->partitionSelection.lastSector = start + manifest.partitionSectors() - 1;
    ASSERT_EQ(validatePartition(*session, t->scan), 1);
    volume = t->scan.volume;
    ASSERT_EQ(volume.sectorsPerCluster, manifest.sectorsPerCluster());
    ASSERT_EQ(volume.cluster0Sector, start);
    buildMftRunList(*session, t->scan, volume.cluster0Sector, volume.mftStart, volume.sectorsPerCluster);
  }

  // Runs in sectors as the engine stores them.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> expected(const std::vector<ListedRun>& runs) const {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    const std::uint32_t spc = volume.sectorsPerCluster;
    for (const auto& run : runs)
      out.emplace_back(run.lcn ? static_cast<std::uint32_t>(volume.cluster0Sector + *run.lcn * spc) : 0,
                       static_cast<std::uint32_t>(run.clusters * spc));
    return out;
  }
  static std::vector<std::pair<std::uint32_t, std::uint32_t>> actual(const RunTable& table) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (std::size_t i = 0; i < table.size(); ++i) out.emplace_back(table.start(i), table.length(i));
    return out;
  }
  MftRecord record(std::uint32_t number) {
    MftRecord r{};
    const std::uint32_t sector = sectorOfRecord(t->scan.mftRuns, number);
    EXPECT_NE(sector, 0u) << "record " << number;
    EXPECT_TRUE(readRecordAt(*session, sector, r)) << "record " << number;
    return r;
  }
  std::string sha256(const std::vector<std::uint8_t>& bytes) {
    test::TempDir dir;
    std::ofstream(dir.file("data"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return test::sha256File(dir.file("data"));
  }
};

TEST_F(NtfsImage, MftRunsAreThoseTheToolsList) {
  const auto want = expected(parseRuns(manifest.header["mft_runs"]));
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(actual(t->scan.mftRuns), want);
  EXPECT_EQ(sectorOfRecord(t->scan.mftRuns, 0), volume.mftStart);
}

TEST_F(NtfsImage, ADamagedRootRecordLeavesTheMftRunsEmpty) {
  disk->zero(volume.mftStart + 10);
  buildMftRunList(*session, t->scan, volume.cluster0Sector, volume.mftStart, volume.sectorsPerCluster);
  EXPECT_TRUE(t->scan.mftRuns.empty());
}

TEST_F(NtfsImage, EveryRecordHasItsNameParentStateAndSize) {
  int deleted = 0;
  for (const auto& e : manifest.entries) {
    SCOPED_TRACE(e.path);
    const MftRecord r = record(e.record);
    EXPECT_EQ(recordAllocatedSize(r), 1024u);
    const std::uint8_t state = recordState(r);
    EXPECT_EQ(isDirectoryState(state), e.folder);
    EXPECT_EQ(isDeletedState(state), e.deleted);
    deleted += e.deleted;

    const auto name = findPreferredFileName(r);
    if (e.dosName == "-") {
      // The one file ntfs-3g left with a POSIX name only: that name is taken.
      EXPECT_FALSE(findWindowsFileName(r));
      ASSERT_TRUE(name);
      EXPECT_EQ(name->name, e.name());
      continue;
    }
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, e.name());
    EXPECT_EQ(name->parent, manifest.parentRecord(e));
    EXPECT_NE(name->creationTime, 0u);
    // A long name has a DOS name beside it (ntfs-3g drops it when it deletes the file).
    auto dos = findFileName(r, mft::kNamespaceDos);
    if (!e.deleted && !sameIgnoringCase(e.dosName, e.name())) {
      ASSERT_TRUE(dos);
      EXPECT_EQ(dos->name, e.dosName);
    }
    const auto withTimes = findFileNameWithTimes(r, mft::kNamespaceWin32);
    EXPECT_NE(withTimes.modificationTime, 0u);

    if (!e.folder) {
      auto size = findDataSize(r);
      ASSERT_TRUE(size);
      EXPECT_EQ(*size, e.size);
      EXPECT_EQ(locateData(r).kind, e.runs.empty() ? DataKind::Resident : DataKind::NonResident);
    }
  }
  EXPECT_GE(deleted, 5);
}

// The bytes of a file, read through its decoded runs (sparse runs read as zeros).
std::vector<std::uint8_t> readRuns(Session& session, const RunTable& table, std::uint64_t size) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < table.size() && bytes.size() < size; ++i) {
    std::vector<std::uint8_t> run(std::size_t{table.length(i)} * kSectorSize, 0);
    if (table.start(i) != 0 && !run.empty()) {
      EXPECT_TRUE(readDiskSectors(session, table.start(i), table.length(i), run).ok());
    }
    bytes.insert(bytes.end(), run.begin(), run.end());
  }
  if (bytes.size() > size) bytes.resize(size);
  return bytes;
}

TEST_F(NtfsImage, FileRunsMatchTheToolsAndGiveTheFilesBytes) {
  int fragmented = 0, sparse = 0, resident = 0;
  for (const auto& e : manifest.entries) {
    if (e.folder || e.dosName == "-") continue;
    SCOPED_TRACE(e.path);
    const std::uint32_t sector = sectorOfRecord(t->scan.mftRuns, e.record);
    if (e.runs.empty()) {
      MftRecord r{};
      ASSERT_TRUE(readRecordAt(*session, sector, r));
      auto where = locateData(r);
      ASSERT_EQ(where.kind, DataKind::Resident);
      AttributeWalk walk(r);
      std::optional<Attribute> data;
      while (auto a = walk.next())
        if (a->position == where.position) data = a;
      ASSERT_TRUE(data);
      auto content = data->residentContent();
      ASSERT_TRUE(content);
      EXPECT_EQ(sha256(std::vector<std::uint8_t>(content->begin(), content->end())), e.sha);
      ++resident;
      continue;
    }
    RunTable table;
    buildDataRunList(*session, t->scan.mftRuns, volume.cluster0Sector, sector, volume.sectorsPerCluster, table);
    // Deleted files keep their runs, and nothing was written after the deletions.
    EXPECT_EQ(actual(table), expected(e.runs));
    EXPECT_EQ(sha256(readRuns(*session, table, e.size)), e.sha);
    fragmented += e.runs.size() > 1;
    for (const auto& run : e.runs) sparse += !run.lcn;
  }
  EXPECT_GE(fragmented, 2);  // the fragmented and the sparse file
  EXPECT_GE(sparse, 1);
  EXPECT_GE(resident, 10);
}

TEST_F(NtfsImage, DirectoriesGiveTheirOwnNumberAndTheirIndexBlocks) {
  // A small folder keeps its entries in the index root.
  const Entry* letters = manifest.find("Documents/Letters");
  ASSERT_TRUE(letters);
  const MftRecord small = record(letters->record);
  EXPECT_EQ(directorySelfNumber(small), letters->record);
  EXPECT_EQ(firstIndexRun(small), 0u);

  // A folder of 40 files needs index blocks; its children are named in them.
  const Entry* many = manifest.find("Archive/Many");
  ASSERT_TRUE(many);
  const MftRecord big = record(many->record);
  const std::uint32_t lcn = firstIndexRun(big);
  ASSERT_NE(lcn, 0u);
  const auto block = readIndexBlockAt(*session, volume.clusterSector(lcn));
  ASSERT_TRUE(isIndexBlock(block));
  EXPECT_EQ(indexBlockVcn(block), 0u);
  std::set<std::string> children;
  for (const auto& e : manifest.entries)
    if (e.parentPath() == many->path) children.insert(e.name());
  int seen = 0;
  forEachIndexEntry(block, block.size(), [&](const IndexEntry& entry) {
    EXPECT_TRUE(children.count(entry.name)) << entry.name;
    EXPECT_FALSE(entry.isDirectory);
    const Entry* child = manifest.find(many->path + "/" + entry.name);
    ASSERT_TRUE(child);
    EXPECT_EQ(entry.parent, many->record);
    EXPECT_EQ(entry.recordNumber, child->record);
    ++seen;
  });
  EXPECT_GE(seen, 10);

  // The root's index names the top folders as directories.
  const MftRecord root = record(5);
  const std::uint32_t rootLcn = firstIndexRun(root);
  ASSERT_NE(rootLcn, 0u);
  std::set<std::string> folders;
  for (const auto& rootBlock : {readIndexBlockAt(*session, volume.clusterSector(rootLcn))})
    forEachIndexEntry(rootBlock, rootBlock.size(), [&](const IndexEntry& entry) {
      if (entry.parent == 5 && entry.isDirectory) folders.insert(entry.name);
    });
  EXPECT_TRUE(folders.count("Documents"));
  EXPECT_TRUE(folders.count("Archive"));
}

}  // namespace
}  // namespace tessaly
