// Advanced FAT: boot-sector and directory-start parsing on crafted bytes, the two phases
// of identification on crafted lists, the FAT search on a crafted disk, and whole
// recoveries of mkfs.fat/mtools volumes whose boot sectors were zeroed, checked byte for
// byte against what the image builder wrote.
#include "fat/file_system_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "fat/quick_scan.h"
#include "partition/volume.h"
#include "recovery/recover.h"
#include "save/save_job.h"
#include "save/save_walks.h"
#include "support/manifest.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

using Bytes = std::array<std::uint8_t, 512>;

Bytes fat16BootSector() {
  Bytes b{};
  put16le(b, 11, 512);
  b[13] = 8;              // sectors per cluster
  put16le(b, 14, 4);      // reserved
  b[16] = 2;              // FATs
  put16le(b, 17, 512);    // root entries: 32 sectors
  put16le(b, 19, 0);      // the 16-bit total is 0 ...
  put16le(b, 22, 250);    // sectors per FAT
  put32le(b, 32, 40000);  // ... so the 32-bit one counts
  std::memcpy(b.data() + 54, "FAT16   ", 8);
  b[510] = 0x55;
  b[511] = 0xAA;
  return b;
}

TEST(FileSystemSearchParsers, BootSectorsGiveTheLayoutTheyDescribe) {
  Bytes b = fat16BootSector();
  auto row = bootSectorRow(b, 63);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->type, FileSystem::Fat16);
  EXPECT_EQ((std::vector<std::uint64_t>{row->sector, row->sectorsPerFat, row->sectorsPerCluster,
                                        row->rootSectors, row->rootStart, row->reservedSectors,
                                        static_cast<std::uint64_t>(row->cluster0Start),
                                        row->firstFat, row->secondFat, row->totalSectors}),
            (std::vector<std::uint64_t>{63, 250, 8, 32, 567, 4, 583, 67, 317, 40063}));
  put16le(b, 19, 20000);  // a 16-bit total is taken before the 32-bit one
  EXPECT_EQ(bootSectorRow(b, 63)->totalSectors, 20063u);

  Bytes f32{};
  f32[13] = 1;
  put16le(f32, 14, 32);
  put32le(f32, 32, 69632);
  put32le(f32, 36, 536);
  put32le(f32, 44, 2);
  std::memcpy(f32.data() + 82, "FAT32   ", 8);
  f32[510] = 0x55;
  f32[511] = 0xAA;
  row = bootSectorRow(f32, 43008);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->type, FileSystem::Fat32);
  EXPECT_EQ(row->rootStart, 2u);  // the root's cluster
  EXPECT_EQ(row->rootSectors, 0u);
  EXPECT_EQ(row->cluster0Start, 43008 + 32 + 2 * 536 - 2);
  EXPECT_EQ(row->totalSectors, 43008u + 69632u);

  f32[511] = 0;  // no signature: no boot sector
  EXPECT_FALSE(bootSectorRow(f32, 0));
  Bytes ntfs = fat16BootSector();
  std::memcpy(ntfs.data() + 54, "FAT12   ", 8);
  EXPECT_FALSE(bootSectorRow(ntfs, 0));
}

TEST(FileSystemSearchParsers, DirectoryStartsTakeTheHighWordOfTheirClusters) {
  Bytes d{};
  std::memcpy(d.data(), ".          ", 11);
  std::memcpy(d.data() + 32, "..         ", 11);
  put16le(d, 26, 0x1170);
  put16le(d, 20, 0x0001);  // "." names cluster 0x11170 = 70000
  put16le(d, 58, 5);
  put16le(d, 24, 0x3269);
  put16le(d, 22, 0x70A0);
  auto row = directorySectorRow(d, 123456789012ull);
  ASSERT_TRUE(row);
  EXPECT_EQ(*row, (DirectorySectorRow{123456789012ull, 70000, 5, kUnassigned, 0x3269, 0x70A0}));
  d[32] = 'X';
  EXPECT_FALSE(directorySectorRow(d, 0));
}

DirectorySectorRow dir(std::uint64_t sector, std::uint32_t self) {
  return {sector, self, 0, kUnassigned, 0, 0};
}

TEST(FileSystemSearchParsers, PairsSolveForClusterSizeAndClusterZero) {
  EXPECT_EQ(fitPair(dir(1000, 5), dir(1032, 9)), (PairFit{8, 960}));
  EXPECT_FALSE(fitPair(dir(1000, 5), dir(1030, 9)));            // 30 is not a multiple of 4
  EXPECT_FALSE(fitPair(dir(1000, 5), dir(1000 + 4 * 256, 9)));  // 256 sectors a cluster
  EXPECT_FALSE(fitPair(dir(1032, 9), dir(1000, 5)));            // the later one must lie further on
  // Sound arithmetic, but a cluster number beyond the first one's sector cannot be.
  EXPECT_FALSE(fitPair(dir(100, 5), dir(100 + 8 * 200, 205)));
  // Cluster 0 may lie before sector 0 as long as cluster 2 starts on the disk.
  EXPECT_EQ(fitPair(dir(38, 2), dir(70, 3)), (PairFit{32, -26}));
  EXPECT_FALSE(fitPair(dir(32, 3), dir(64, 4)));  // cluster 2 would be sector 0
}

struct Crafted {
  test::TestSession t{std::make_shared<platform::MemoryDevice>(std::size_t{2000})};
  Session& session = t.session;
  ScanState& scan = t.scan;
  test::TempDir install;
  Crafted() {
    session.installFolder = install.path();
    session.partitionSelection.fileSystem = FileSystem::Fat16;
  }
};

TEST(IdentifyFileSystems, BootSectorsFirstThenPairsThenTheRestGivenUp) {
  Crafted c;
  FileSystemRow boot = *bootSectorRow(fat16BootSector(), 63);  // cluster 0 at 583, 8 a cluster
  FileSystemRow broken = boot;
  broken.sectorsPerCluster = 0;  // would claim any directory at its cluster-0 sector
  broken.cluster0Start = 1000;
  c.scan.bootSectors = {broken, boot};
  c.scan.directorySectors = {dir(583 + 8 * 3, 3),   dir(1000, 5),
                             dir(1500, 77),         dir(1032, 9),
                             dir(583 + 8 * 10, 10), dir(960 + 8 * 70000ull, 70000)};
  identifyFileSystems(c.session, c.scan);

  ASSERT_EQ(c.scan.fileSystems.size(), 2u);
  EXPECT_EQ(c.scan.fileSystems[0], boot);
  const FileSystemRow& derived = c.scan.fileSystems[1];
  EXPECT_TRUE(derived.derived);
  EXPECT_EQ(derived.sector, 0u);
  EXPECT_EQ(derived.sectorsPerCluster, 8u);
  EXPECT_EQ(derived.cluster0Start, 960);
  EXPECT_EQ(derived.firstFat, 0u);
  // A FAT16 selection, but one of its directories lies above cluster 65536.
  EXPECT_EQ(derived.type, FileSystem::Fat32);
  std::vector<std::int32_t> assigned;
  for (const auto& d : c.scan.directorySectors) assigned.push_back(d.fileSystem);
  EXPECT_EQ(assigned, (std::vector<std::int32_t>{1, 2, kUnassignable, 2, 1, 2}));
  EXPECT_EQ(c.scan.identifyStatus, IdentifyStatus::Done);
  EXPECT_EQ(c.t.report.scanPercents().back(), 100);
  EXPECT_EQ(c.t.report.statuses(),
            (std::vector<std::string>{"Identifying File Systems from Boot Sectors...",
                                      "Identifying File Systems from Directories..."}));
}

TEST(PrepareChosenFileSystem, TheFatSearchCompletesADerivedLayout) {
  Crafted c;
  auto& disk = static_cast<platform::MemoryDevice&>(
      *c.session.devices.open(platform::DeviceTable::physicalDriveName(0)));
  for (std::uint64_t s : {32u, 282u}) {
    disk.sector(s)[0] = 0xF8;
    disk.sector(s)[1] = 0xFF;
    disk.sector(s)[2] = 0xFF;
  }
  disk.sector(100)[0] = 0xF8;  // a FAT sector further on, not a FAT's start
  FileSystemRow derived;
  derived.derived = true;
  derived.sectorsPerCluster = 8;
  derived.cluster0Start = 582;  // the search starts 550 sectors lower, at 32
  derived.type = FileSystem::Fat16;
  c.scan.fileSystems = {derived};
  c.scan.directorySectors = {dir(582 + 8 * 3, 3)};
  c.scan.directorySectors[0].fileSystem = 1;

  ASSERT_TRUE(prepareChosenFileSystem(c.session, c.scan, 0));
  const FileSystemRow& row = c.scan.fileSystems[0];
  EXPECT_EQ(row.firstFat, 32u);
  EXPECT_EQ(row.secondFat, 282u);
  EXPECT_EQ(row.sectorsPerFat, 250u);
  EXPECT_EQ(row.rootStart, 532u);
  const VolumeParameters& v = c.scan.workingVolume;
  EXPECT_EQ((std::vector<std::uint32_t>{v.fat1Start, v.fat2Start, v.fatSectors, v.rootDirStart,
                                        v.rootDirSectors, v.sectorsPerCluster, v.cluster0Sector}),
            (std::vector<std::uint32_t>{32, 282, 250, 532, 32, 8, 582}));
  // The directory table: "Lost", then the directory under its "DIR" name.
  ASSERT_EQ(c.scan.directoryTable.rowCount(), 2u);
  EXPECT_EQ(c.scan.directoryTable.name(0), "Lost");
  EXPECT_EQ(c.scan.directoryTable.name(1), "DIR0");
  EXPECT_FALSE(prepareChosenFileSystem(c.session, c.scan, 1));
}

TEST(SweepForFileSystems, SectorsThatCannotBeReadAreNotTakenForWhatTheChunkBeforeHeld) {
  auto memory = std::make_shared<platform::MemoryDevice>(std::size_t{200});
  Bytes d{};
  std::memcpy(d.data(), ".          ", 11);
  std::memcpy(d.data() + 32, "..         ", 11);
  std::copy(d.begin(), d.end(), memory->sector(5).begin());
  const Bytes boot = fat16BootSector();
  std::copy(boot.begin(), boot.end(), memory->sector(10).begin());
  // The same places of the next chunk cannot be read.
  auto faulty = std::make_shared<platform::FaultyDevice>(memory);
  faulty->failSector(45);
  faulty->failSector(50);
  test::TestSession t(faulty);
  t.session.partitionSelection.firstSector = 0;
  t.session.partitionSelection.lastSector = 199;
  sweepForFileSystems(t.session, t.scan);
  ASSERT_EQ(t.scan.directorySectors.size(), 1u);
  EXPECT_EQ(t.scan.directorySectors[0].sector, 5u);
  ASSERT_EQ(t.scan.bootSectors.size(), 1u);
  EXPECT_EQ(t.scan.bootSectors[0].sector, 10u);
  EXPECT_EQ(t.report.lastCounter(Counter::FoldersFound), "1");
  EXPECT_EQ(t.report.lastCounter(Counter::BootSectorsFound), "1");
}

// A disk of `sectors` zeros but for a FAT start at each of `fats`.
std::shared_ptr<platform::MemoryDevice> diskWithFatStarts(std::size_t sectors,
                                                          std::initializer_list<std::uint64_t> fats) {
  auto memory = std::make_shared<platform::MemoryDevice>(sectors);
  for (std::uint64_t s : fats) {
    memory->sector(s)[0] = 0xF8;
    memory->sector(s)[1] = 0xFF;
    memory->sector(s)[2] = 0xFF;
  }
  return memory;
}

TEST(SearchFats, Fat32FatsLongerThanTheWindowAreFoundBelowClusterZero) {
  // Two FATs of 19950 sectors: the window of 30000 sectors below cluster 0 starts
  // inside the first one.
  test::TestSession t(diskWithFatStarts(40100, {100, 20050}));
  const FatPositions found = searchFats(t.session, 40000, 8, FileSystem::Fat32, 0);
  EXPECT_EQ(found.first, 100u);
  EXPECT_EQ(found.second, 20050u);
  // Not below the range searched.
  EXPECT_EQ(searchFats(t.session, 40000, 8, FileSystem::Fat32, 101).first, 0u);
}

TEST(SearchFats, Fat16FatsAtTheStartOfTheDiskAreFoundUpToClusterTwo) {
  // A volume at sector 0 with 32-sector clusters and FATs of 18 sectors: cluster 0 lies at
  // -26, cluster 2 at 38, both FATs between the boot sector and the one-sector root folder.
  test::TestSession t(diskWithFatStarts(200, {1, 19}));
  const FatPositions found = searchFats(t.session, -26, 32, FileSystem::Fat16, 0);
  EXPECT_EQ(found.first, 1u);
  EXPECT_EQ(found.second, 19u);
  // A range from sector 63 and up keeps the search from there, as for any disk.
  EXPECT_EQ(searchFats(t.session, -26, 32, FileSystem::Fat16, 2048).first, 0u);
}

// ------------------------------------------------------------------ on real volumes

std::map<std::string, std::string> treeHashes(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      out[fs::relative(entry.path(), root).string()] = test::sha256File(entry.path().string());
  return out;
}

// fat_disk with chosen sectors zeroed, under an Advanced search of a range.
struct AdvancedDisk {
  std::shared_ptr<test::PatchedDevice> disk;
  std::unique_ptr<test::TestSession> t;
  test::TempDir install;

  explicit AdvancedDisk(const std::vector<std::uint64_t>& zeroed = {}) {
    disk = std::make_shared<test::PatchedDevice>(
        platform::FileDevice::open(test::imagePath("fat_disk")));
    for (std::uint64_t s : zeroed) disk->zero(s);
    t = std::make_unique<test::TestSession>(disk);
    t->session.installFolder = install.path();
  }
  Session& session() { return t->session; }
  ScanState& scan() { return t->scan; }
  void search(FileSystem selection, std::uint64_t first, std::uint64_t last) {
    session().partitionSelection.fileSystem = selection;
    session().partitionSelection.firstSector = first;
    session().partitionSelection.lastSector = last;
    sweepForFileSystems(session(), scan());
    identifyFileSystems(session(), scan());
  }
};

// The first clusters of folders, by their manifest paths, and the cluster-0 sector, from a
// Quick scan of the intact volume.
struct IntactLayout {
  std::vector<std::uint32_t> clusters;
  VolumeParameters volume;
};
IntactLayout intactLayout(const test::ManifestEntry& volume, const std::vector<std::string>& paths,
                          const std::vector<test::ManifestEntry>& folders) {
  AdvancedDisk intact;
  Session& s = intact.session();
  s.partitionSelection.fileSystem = fileSystemFromName(volume.path);
  s.partitionSelection.firstSector = volume.firstSector;
  s.partitionSelection.lastSector = volume.lastSector;
  validatePartition(s, intact.scan());
  runQuickFatScan(s, intact.scan());
  IntactLayout layout;
  layout.volume = intact.scan().volume;
  for (const std::string& path : paths) {
    const TreeItem item =
        test::treeItemAt(intact.scan().folderTree, "Root/" + test::fatListedPath(folders, path));
    FolderRecord record;
    EXPECT_TRUE(intact.scan().catalogue.findTreeItem(item, &record)) << path;
    layout.clusters.push_back(record.selfId);
  }
  return layout;
}

// Recovers every file of the prepared file system and compares the destination with the
// manifest's deleted files. Files below a folder whose parent was overwritten hang under
// "Lost" in a "DIR" folder named by the scan ("Lost/*/" in the keys); files right inside
// an overwritten folder are gone with its entries.
void expectWholeRecovery(Session& s, ScanState& scan, const std::string& volumeName,
                         const std::vector<std::string>& overwritten) {
  const auto manifest = test::loadManifest(test::manifestPath("fat_disk"));
  const auto folders = test::entriesOf(manifest, volumeName, "folder");
  test::TempDir out;
  toggleCheck(scan.folderTree, scan.folderTree.root());
  SaveJob job(scan);
  job.destinationFolder = out.path();
  saveRootAndCheckedFolders(s, job, true);

  std::map<std::string, std::string> recovered;
  for (const auto& [path, sha] : treeHashes(out.path()))
    recovered[path.rfind("Lost/DIR", 0) == 0 ? "Lost/*" + path.substr(path.find('/', 5)) : path] =
        sha;
  std::map<std::string, std::string> expected;
  for (const auto& f : test::entriesOf(manifest, volumeName, "file")) {
    const std::string folder = test::parentPath(f.path);
    if (!f.deleted ||
        std::find(overwritten.begin(), overwritten.end(), folder) != overwritten.end())
      continue;
    std::string key = test::fatListedPath(folders, folder);
    for (const std::string& gone : overwritten) {
      if (folder.rfind(gone + "/", 0) != 0) continue;
      // The orphan is the folder right below the overwritten one.
      const std::string rest =
          test::fatListedPath(folders, folder, folder.substr(0, folder.find('/', gone.size() + 1)));
      key = "Lost/*" + (rest.empty() ? "" : "/" + rest);
    }
    expected[(key.empty() ? "" : key + "/") + test::fatListedName(test::baseName(f.path), true)] =
        f.sha256;
  }
  EXPECT_GT(expected.size(), 8u);
  EXPECT_EQ(recovered, expected);
  EXPECT_EQ(job.outcome.filesCompleted.load(), static_cast<int>(expected.size()));
  EXPECT_EQ(job.outcome.sourceFailures.load(), 0);
}

// Each partition of fat_disk with its boot sector (and on FAT32 the backup) zeroed, and
// the clusters of the deleted folders "Photos Folder" and "Old Archive" overwritten: the
// file system is solved from directory pairs; "Summer" and "Deep Folder" go under "Lost"
// with their files and subfolders named, as does the volume's own orphan.
TEST(AdvancedFat, AVolumeWithoutBootSectorsIsSolvedFromItsDirectoriesAndRecovered) {
  const auto manifest = test::loadManifest(test::manifestPath("fat_disk"));
  const std::vector<std::string> overwritten{"/Photos Folder", "/Documents/Old Archive"};
  for (const char* name : {"fat32", "fat16"}) {
    SCOPED_TRACE(name);
    const auto volume = test::entriesOf(manifest, name, "volume").at(0);
    const IntactLayout layout =
        intactLayout(volume, overwritten, test::entriesOf(manifest, name, "folder"));
    // The boot sector, and on FAT32 its backup six sectors on.
    std::vector<std::uint64_t> zeroed{volume.firstSector};
    if (volume.path == "FAT32") zeroed.push_back(volume.firstSector + 6);
    for (std::uint32_t cluster : layout.clusters)
      for (std::uint32_t i = 0; i < volume.sectorsPerCluster; ++i)
        zeroed.push_back(layout.volume.clusterSector(cluster) + i);
    // The list form of the directory table gives the same recovery.
    for (std::size_t memoryLimit : {SIZE_MAX, std::size_t{0}}) {
      AdvancedDisk d(zeroed);
      d.session().memoryLimit = memoryLimit;
      d.search(fileSystemFromName(volume.path), volume.firstSector, volume.lastSector);
      ASSERT_EQ(d.scan().fileSystems.size(), 1u);
      const FileSystemRow& row = d.scan().fileSystems[0];
      EXPECT_TRUE(row.derived);
      EXPECT_EQ(row.type, fileSystemFromName(volume.path));
      EXPECT_EQ(row.sectorsPerCluster, volume.sectorsPerCluster);
      EXPECT_EQ(row.cluster0Start, layout.volume.cluster0Sector);
      ASSERT_TRUE(prepareChosenFileSystem(d.session(), d.scan(), 0));
      // The FAT search finds the FATs the boot sector named.
      const VolumeParameters& v = d.scan().workingVolume;
      EXPECT_EQ((std::vector<std::uint32_t>{v.fat1Start, v.fat2Start, v.fatSectors}),
                (std::vector<std::uint32_t>{layout.volume.fat1Start, layout.volume.fat2Start,
                                            layout.volume.fatSectors}));
      if (volume.path == "FAT16") {
        EXPECT_EQ(v.rootDirStart, layout.volume.rootDirStart);
      }
      EXPECT_EQ(d.scan().directoryTable.tableMode(), memoryLimit != 0);
      std::vector<std::string> gone = overwritten;
      gone.push_back("/LOSTPARENT");
      expectWholeRecovery(d.session(), d.scan(), name, gone);
    }
  }
}

// The whole disk: the FAT32 partition by its boot sector, the FAT16 one (boot sector
// zeroed) from its directories; each chosen in turn is recovered whole.
TEST(AdvancedFat, TwoFileSystemsInOneRangeAreListedAndEachCanBeChosen) {
  AdvancedDisk d({2048});
  d.search(FileSystem::Fat16, 0, 112639);
  ASSERT_EQ(d.scan().fileSystems.size(), 2u);
  EXPECT_EQ(d.scan().fileSystems[0].sector, 43008u);
  EXPECT_EQ(d.scan().fileSystems[0].type, FileSystem::Fat32);
  EXPECT_TRUE(d.scan().fileSystems[1].derived);
  EXPECT_EQ(d.scan().fileSystems[1].type, FileSystem::Fat16);
  ASSERT_TRUE(prepareChosenFileSystem(d.session(), d.scan(), 0));
  expectWholeRecovery(d.session(), d.scan(), "fat32", {"/LOSTPARENT"});
  ASSERT_TRUE(prepareChosenFileSystem(d.session(), d.scan(), 1));
  expectWholeRecovery(d.session(), d.scan(), "fat16", {"/LOSTPARENT"});
}

}  // namespace
}  // namespace tessaly
