// The scan thread driven through the window: whole Quick scans ending on the results
// page, the floppy, Stop during a sweep and during the MFT walk, and leaving the program
// while a scan runs. The folder trees are compared with a scan of the same range run
// without the window.
#include "wizard_fixture.h"

#include <algorithm>

#include "fat/directory_sweep.h"
#include "partition/volume.h"
#include "recovery/quick_scan.h"

namespace tessaly::wizard::test {
namespace {

namespace wid = wizard::id;

constexpr const char* kStopQuestion = "Are you sure you want to stop current process.";

// The folder paths ("Root/...") a Quick scan of the range finds without any window.
std::vector<std::string> referenceTree(const std::string& image, const std::string& fs,
                                       std::uint64_t first, std::uint64_t last,
                                       bool* supported = nullptr) {
  TempDir install;
  std::unique_ptr<TestSession> t;
  if (fs == "FAT12") {
    t = std::make_unique<TestSession>(std::make_shared<platform::MemoryDevice>(1));
    t->devices.setFloppy(image);
    t->session.selectedDiskName = "1.44\" Floppy";
  } else {
    t = std::make_unique<TestSession>(image);
  }
  Session& session = t->session;
  ScanState& s = t->scan;
  session.installFolder = install.path();
  session.partitionSelection.fileSystem = fileSystemFromName(fs);
  session.partitionSelection.firstSector = first;
  session.partitionSelection.lastSector = last;
  if (fs != "FAT12") validatePartition(session, s);
  const bool ran = runQuickScan(session, s) != ScanEnd::NotAvailable;
  if (supported) *supported = ran;
  std::vector<std::string> paths = test::treePaths(s.folderTree);
  releaseScanState(s);
  return paths;
}

// The layout of a volume, for placing a hold inside its sweep or its MFT.
VolumeParameters layoutOf(const std::string& image, const std::string& fs, std::uint64_t first,
                          std::uint64_t last) {
  TestSession t(image);
  t.session.partitionSelection.fileSystem = fileSystemFromName(fs);
  t.session.partitionSelection.firstSector = first;
  t.session.partitionSelection.lastSector = last;
  validatePartition(t.session, t.scan);
  return t.scan.volume;
}


class QuickScanTest : public WizardTest {
 protected:
  // stopped: the page a confirmed Stop leaves, which enables Select All and Save but
  // not the directory list.
  void expectResultsPage(bool stopped = false) {
    EXPECT_EQ(window->wizardPage(), WizardPage::Results);
    EXPECT_EQ(window->stepPicture(), "Step6_1.bmp");
    EXPECT_EQ(window->listColumns(),
              (std::vector<std::string>{"Name", "Type", "Size", "Date", "Time", "Debug Info 1",
                                        "Debug Info 2", "Debug Info 3"}));
    EXPECT_TRUE(window->listRows().empty());
    EXPECT_TRUE(shown(wid::kFolderTree));
    EXPECT_TRUE(shown(control::kCurrentFolderLabel));
    EXPECT_FALSE(shown(control::kStopSearching));
    EXPECT_FALSE(shown(control::kStatusLine));
    EXPECT_FALSE(shown(control::kScanProgress));
    EXPECT_FALSE(shown(wid::kSelectedDiskLabel));
    EXPECT_TRUE(enabled(wid::kBack));
    EXPECT_FALSE(enabled(wid::kNext));
    for (int id : {wid::kSaveFilesButton, wid::kSelectAllButton, wid::kUnselectAllButton})
      EXPECT_TRUE(enabled(id)) << id;
    EXPECT_FALSE(enabled(wid::kLoadLogButton));
    EXPECT_TRUE(enabled(wid::kSaveLogButton));
    for (int item : {wid::kMenuSelectAll, wid::kMenuSave}) EXPECT_TRUE(menuEnabled(item)) << item;
    if (!stopped) {
      for (int item : {wid::kMenuDirectoryView, wid::kMenuDirectoryPrint})
        EXPECT_TRUE(menuEnabled(item)) << item;
    }
    EXPECT_EQ(window->focusContext(), 0);
    EXPECT_FALSE(window->scanRunning());
  }
};

struct FatPartition {
  std::string entry, fs;
  std::uint64_t first, last;
};
void PrintTo(const FatPartition& p, std::ostream* os) { *os << p.entry; }

class FatPartitionScanTest : public QuickScanTest,
                             public ::testing::WithParamInterface<FatPartition> {};

TEST_P(FatPartitionScanTest, AWholeQuickScanEndsOnTheResultsPageWithTheFolderTree) {
  const FatPartition& p = GetParam();
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  scanPartition(p.entry);
  expectResultsPage();
  EXPECT_TRUE(menuEnabled(wid::kMenuSaveLog));
  EXPECT_TRUE(messages().empty());
  const auto paths = treePaths(wid::kFolderTree);
  EXPECT_EQ(paths, referenceTree(imagePath("fat_disk"), p.fs, p.first, p.last));
  EXPECT_NE(std::find(paths.begin(), paths.end(), "Root/Documents"), paths.end());
  // The counter shows the directories the sweep found (the "Lost" row among them).
  EXPECT_GT(std::stoi(text(control::kFoundCount)), 1);
}

INSTANTIATE_TEST_SUITE_P(FatDisk, FatPartitionScanTest,
                         ::testing::Values(FatPartition{"Partition - 1 ( FAT16 )", "FAT16", 2048, 43007},
                                           FatPartition{"Partition - 2 ( FAT32 )", "FAT32", 43008, 112639}),
                         [](const auto& param) { return param.param.fs; });

TEST_F(QuickScanTest, ADiskRemovedMidSweepEndsWithTheMessageAndTheFoldersFoundBefore) {
  const std::string image = imagePath("fat_disk");
  // The sweep's last directory lies beyond the point where the disk goes away.
  TestSession probe(image);
  probe.session.partitionSelection = {0, 0, FileSystem::Fat16, "Quick Mode", 2048, 43007, 0};
  ASSERT_TRUE(validatePartition(probe.session, probe.scan));
  sweepDirectories(probe.session, probe.scan);
  std::uint32_t last = 0;
  for (std::size_t r = 1; r < probe.scan.directoryTable.rowCount(); ++r)
    last = std::max(last, probe.scan.directoryTable.row(r).sector);
  auto faulty = std::make_shared<platform::FaultyDevice>(platform::FileDevice::open(image));
  faulty->breakDownAt(platform::FaultyDevice::Breakdown::Removed, last);
  devices.attach(platform::DeviceTable::physicalDriveName(0), faulty);
  ASSERT_FALSE(open({image}).has_value());
  scanPartition("Partition - 1 ( FAT16 )");
  expectResultsPage();
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].rfind("The disk Disk0 stopped answering.", 0), 0u) << messages()[0];
  const auto paths = treePaths(wid::kFolderTree);
  const auto whole = referenceTree(image, "FAT16", 2048, 43007);
  EXPECT_GT(paths.size(), 2u);  // Root, Lost and what was found before
  EXPECT_LT(paths.size(), whole.size());
}

TEST_F(QuickScanTest, APartitionPastTheEndOfTheDiskIsScannedUpToTheEndAndTheUserIsTold) {
  const std::string image = imagePath("fat_disk");
  // The FAT32 partition, the disk's last, claims 2^31 - 1 sectors.
  auto disk = std::make_shared<PatchedDevice>(platform::FileDevice::open(image));
  auto mbr = disk->sector(0);
  for (int i = 0; i < 4; ++i) mbr[446 + 16 + 12 + i] = i < 3 ? 0xFF : 0x7F;
  disk->patch(0, mbr);
  devices.attach(platform::DeviceTable::physicalDriveName(0), disk);
  ASSERT_FALSE(open({image}).has_value());
  scanPartition("Partition - 2 ( FAT32 )");
  expectResultsPage();
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_NE(messages()[0].find("past the end of the disk (112640 sectors): it is scanned up to sector 112639"),
            std::string::npos)
      << messages()[0];
  EXPECT_EQ(treePaths(wid::kFolderTree), referenceTree(image, "FAT32", 43008, 112639));
  // A scan of a partition that fits says nothing of it (Back asks whether to save).
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kBack));
  ASSERT_TRUE(clickTree(wid::kPartitionTree, "Partition - 1 ( FAT16 )"));
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  EXPECT_EQ(messages().size(), 2u);
}

TEST_F(QuickScanTest, TheFloppyIsScannedAtOnceWithoutAStopButton) {
  ASSERT_FALSE(open({imagePath("fat_disk")}, imagePath("fat_floppy")).has_value());
  ASSERT_TRUE(clickTree(control::kDiskTree, "1.44\" Floppy"));
  ASSERT_TRUE(click(wid::kQuick));
  ASSERT_TRUE(click(wid::kNext));
  EXPECT_EQ(window->wizardPage(), WizardPage::Results);
  EXPECT_FALSE(shown(control::kStopSearching));
  EXPECT_EQ(text(wid::kFileSystem), "FAT12");
  EXPECT_EQ(text(wid::kRange), "0 - 2880");
  ASSERT_TRUE(waitForScan());
  expectResultsPage();
  // A floppy's recovery cannot be saved as a log.
  EXPECT_FALSE(menuEnabled(wid::kMenuSaveLog));
  EXPECT_EQ(treePaths(wid::kFolderTree), referenceTree(imagePath("fat_floppy"), "FAT12", 0, 2880));

  // Back from the floppy's results goes straight to the disk page.
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kBack));
  EXPECT_EQ(messages().back(), "Do you want to save the recovery?");
  EXPECT_EQ(window->wizardPage(), WizardPage::Disk);
  EXPECT_TRUE(shown(control::kDiskTree));
  EXPECT_FALSE(shown(wid::kFolderTree));
  EXPECT_TRUE(treePaths(wid::kFolderTree).empty());
}

TEST_F(QuickScanTest, BackFromTheResultsAndNextAgainScansAFreshTree) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  scanPartition("Partition - 1 ( FAT16 )");
  const auto first = treePaths(wid::kFolderTree);
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kBack));
  EXPECT_EQ(window->wizardPage(), WizardPage::Partition);
  EXPECT_TRUE(shown(wid::kPartitionTree));
  EXPECT_FALSE(shown(wid::kFolderTree));
  EXPECT_EQ(window->listRows()[1], "Partition Number : 1");
  EXPECT_NE(window->onlineHelpText().find("Select partition that you want to recover"),
            std::string::npos);
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  EXPECT_EQ(treePaths(wid::kFolderTree), first);
}

TEST_F(QuickScanTest, StopDuringTheSweepAsksNothingAndBuildsTheTreeOfWhatWasFound) {
  const std::string image = imagePath("fat_disk");
  const VolumeParameters v = layoutOf(image, "FAT16", 2048, 43007);
  ASSERT_GT(v.sectorsPerCluster, 0u);
  // Hold the sweep a few clusters in.
  const std::uint64_t holdSector = v.clusterSector(6);
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(image), holdSector, 43008);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({image}).has_value());
  toPartitionPage();
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));
  EXPECT_TRUE(window->scan().sweepRunning);
  EXPECT_TRUE(shown(control::kStopSearching));

  ASSERT_TRUE(click(control::kStopSearching));
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(window->scan().stopRequested);
  hold->release();
  ASSERT_TRUE(waitForScan());
  expectResultsPage();
  EXPECT_TRUE(messages().empty());
  // The sweep ended early: fewer folders than the whole volume has, none it lacks.
  const auto stopped = treePaths(wid::kFolderTree);
  const auto whole = referenceTree(image, "FAT16", 2048, 43007);
  EXPECT_LT(stopped.size(), whole.size());
  for (const auto& path : stopped)
    EXPECT_NE(std::find(whole.begin(), whole.end(), path), whole.end()) << path;
}

// The Quick NTFS scan arrives in the core; until runQuickScan takes NTFS these skip.
bool ntfsQuickScanAvailable(std::vector<std::string>* tree = nullptr) {
  bool supported = false;
  auto paths = referenceTree(imagePath("ntfs_disk"), "NTFS", 2048, 43007, &supported);
  if (tree) *tree = paths;
  return supported;
}
constexpr const char* kNoNtfs =
    "the core's runQuickScan does not scan NTFS yet; this test runs once it does";

TEST_F(QuickScanTest, AWholeQuickScanOfAnNtfsPartitionEndsOnTheResultsPage) {
  std::vector<std::string> reference;
  if (!ntfsQuickScanAvailable(&reference)) GTEST_SKIP() << kNoNtfs;
  ASSERT_FALSE(open({imagePath("ntfs_disk")}).has_value());
  scanPartition("Partition - 1 ( NTFS )");
  expectResultsPage();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(treePaths(wid::kFolderTree), reference);
}

class MftStopTest : public QuickScanTest {
 protected:
  // Starts the NTFS scan with reads held inside the MFT; returns the hold.
  std::shared_ptr<HoldingDevice> startHeldInTheMft() {
    const std::string image = imagePath("ntfs_disk");
    const VolumeParameters v = layoutOf(image, "NTFS", 2048, 43007);
    // Records 8 to 15: past records 0 and 5, which the run list is read from, and inside
    // the small MFT of a fresh volume (validation reads the MFT mirror elsewhere).
    const std::uint64_t holdSector = std::uint64_t{v.mftStart} + 16;
    auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(image), holdSector,
                                                holdSector + 16);
    devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
    EXPECT_FALSE(open({image}).has_value());
    toPartitionPage();
    EXPECT_TRUE(click(wid::kNext));
    EXPECT_TRUE(pumpUntil([&] { return hold->holding(); }));
    EXPECT_FALSE(window->scan().sweepRunning);
    return hold;
  }
};

TEST_F(MftStopTest, StopDuringTheMftWalkAsksAndNoResumesTheScan) {
  std::vector<std::string> reference;
  if (!ntfsQuickScanAvailable(&reference)) GTEST_SKIP() << kNoNtfs;
  auto hold = startHeldInTheMft();
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(control::kStopSearching));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], kStopQuestion);
  EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
  // No: the button is back and the scan goes on where it was.
  EXPECT_TRUE(shown(control::kStopSearching));
  EXPECT_TRUE(enabled(control::kStopSearching));
  EXPECT_TRUE(window->scanRunning());
  hold->release();
  ASSERT_TRUE(waitForScan());
  expectResultsPage();
  EXPECT_EQ(treePaths(wid::kFolderTree), reference);
}

TEST_F(MftStopTest, StopDuringTheMftWalkAndYesBuildsTheTreeFoundSoFar) {
  std::vector<std::string> reference;
  if (!ntfsQuickScanAvailable(&reference)) GTEST_SKIP() << kNoNtfs;
  ReleasingDialogs releasing;
  auto hold = startHeldInTheMft();
  releasing.hold = hold;
  window->session().dialogs = &releasing;
  ASSERT_TRUE(click(control::kStopSearching));
  ASSERT_EQ(releasing.messages.size(), 1u);
  EXPECT_EQ(releasing.messages[0].text, kStopQuestion);
  pump();
  expectResultsPage(true);
  const auto stopped = treePaths(wid::kFolderTree);
  ASSERT_FALSE(stopped.empty());
  EXPECT_EQ(stopped[0], "Root");
  for (const auto& path : stopped)
    EXPECT_NE(std::find(reference.begin(), reference.end(), path), reference.end()) << path;
  // The report of a stop names the physical disk and counts the partition from 1.
  const std::vector<std::uint8_t> report = readFile(window->session().dataFolder() + "/LogDetails.txt");
  EXPECT_NE(std::string(report.begin(), report.end())
                .find("Physical Disk Number : 0\r\nModel Number : Disk image\r\nPartition Number : 1\r\n"),
            std::string::npos);
}

TEST_F(QuickScanTest, ExitDuringAScanEndsTheScanThreadAndThenTheProgram) {
  const std::string image = imagePath("fat_disk");
  const VolumeParameters v = layoutOf(image, "FAT16", 2048, 43007);
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(image),
                                              v.clusterSector(6), 43008);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({image}).has_value());
  toPartitionPage();
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));

  // No leaves the scan running.
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kExitButton));
  EXPECT_TRUE(window->scanRunning());
  EXPECT_FALSE(terminatedWith.has_value());

  // Yes ends the worker at its next safe point, then the program.
  ReleasingDialogs releasing;
  releasing.hold = hold;
  window->session().dialogs = &releasing;
  ASSERT_TRUE(click(wid::kExitButton));
  EXPECT_EQ(terminatedWith, 0);
  EXPECT_FALSE(window->scanRunning());
  // No save question: the results page was never reached.
  EXPECT_EQ(releasing.messages.size(), 1u);
}

TEST_F(QuickScanTest, CloseDuringAScanAnsweredYesLeavesItsReport) {
  const std::string image = imagePath("fat_disk");
  const VolumeParameters v = layoutOf(image, "FAT16", 2048, 43007);
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(image), v.clusterSector(6), 43008);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({image}).has_value());
  toPartitionPage();
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));
  // The held read is let go only once the question is answered: the scan is still running
  // when the window is closed, whatever the machine's speed.
  ReleasingDialogs releasing;
  releasing.hold = hold;
  releasing.messageAnswers = {kIdYes};
  window->session().dialogs = &releasing;
  ASSERT_TRUE(click(wid::kCancel));
  EXPECT_EQ(terminatedWith, 0);
  const std::vector<std::uint8_t> report = readFile(window->session().dataFolder() + "/LogDetails.txt");
  const std::string text(report.begin(), report.end());
  EXPECT_NE(text.find("Disk Number : 0\r\nModel Number : Disk image\r\nPartition Number : 0\r\nPartition Type : "
                      "FAT16\r\nSearch Mode : Quick\r\nSearch Entire Disk Status: FALSE\r\nSearch Range : 2048 to "
                      "43007\r\n"),
            std::string::npos)
      << text;
}

TEST_F(QuickScanTest, CloseDuringAScanAsksWithTwentySevenBlanks) {
  const std::string image = imagePath("fat_disk");
  const VolumeParameters v = layoutOf(image, "FAT16", 2048, 43007);
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(image),
                                              v.clusterSector(6), 43008);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({image}).has_value());
  toPartitionPage();
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kCancel));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "Do you want to exit from Tessaly?" + std::string(27, ' '));
  EXPECT_TRUE(window->scanRunning());
  hold->release();
  ASSERT_TRUE(waitForScan());
  // On the results page the close sequence first offers to save the recovery.
  dialogs.messageAnswers = {kIdNo, kIdNo};
  ASSERT_TRUE(click(wid::kCancel));
  ASSERT_EQ(messages().size(), 3u);
  EXPECT_EQ(messages()[1], "Do you want to save the recovery?");
  EXPECT_EQ(messages()[2], "Do you want to exit from Tessaly?" + std::string(21, ' '));
}

}  // namespace
}  // namespace tessaly::wizard::test
