// The save engine on crafted FAT volumes: the saving modes, the filters, the prompts,
// Skip and Stop, and the agreed mends (write errors prompted, skipped bad sectors saved
// as zeros, names kept inside the destination).
#include "save/save_engine.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "../fat/crafted_fat.h"
#include "save/save_job.h"
#include "save/save_walks.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

// Cluster c holds the byte (c & 0xFF) everywhere, so a saved file shows which clusters it came from.
struct SaveVolume : test::CraftedFat {
  test::TempDir out;
  SaveJob job{scan()};
  explicit SaveVolume(std::uint32_t spc = 4, FileSystem fsType = FileSystem::Fat16)
      : CraftedFat(fsType, spc, 2000, 4) {
    for (std::uint32_t c = 2; c < 300; ++c) {
      const std::uint64_t first = clusterSector(c);
      if (first + spc > 2000) break;
      for (std::uint32_t s = 0; s < spc; ++s) {
        auto bytes = sector(first + s);
        std::fill(bytes.begin(), bytes.end(), static_cast<std::uint8_t>(c));
      }
    }
    job.progressIntervalMs = 0;
  }
  std::vector<std::uint8_t> saved(const std::string& name) { return test::readFile(out.file(name)); }
  // The cluster each stretch of clusterBytes came from.
  std::vector<int> clustersOf(const std::string& name) {
    auto bytes = saved(name);
    std::vector<int> clusters;
    const std::size_t clusterBytes = v.sectorsPerCluster * 512u;
    for (std::size_t at = 0; at < bytes.size(); at += clusterBytes) clusters.push_back(bytes[at]);
    return clusters;
  }
  bool save(const std::string& name, std::uint32_t size, std::uint32_t first, bool deleted = true) {
    return saveFatFile(session(), job, out.file(name), name, size, first, true, deleted);
  }
};

TEST(SaveFatFile, AutoModeTakesTheFatWhoseChainHasExactlyTheNeededClusters) {
  SaveVolume v(4);  // 2048-byte clusters: 5000 bytes need 3
  v.fat(10, 11, true);
  v.fat(11, 0xFFFF, true);
  // FAT 2 alone: 10 -> 14 -> 15.
  auto fat2 = [&](std::uint32_t c, std::uint16_t value) {
    put16le(std::span<std::uint8_t>(v.device->bytes()).subspan(v.v.fat2Start * 512, 2048), c * 2, value);
  };
  fat2(10, 14);
  fat2(14, 15);
  fat2(15, 0xFFFF);
  ASSERT_TRUE(v.save("auto.bin", 5000, 10));
  EXPECT_EQ(v.clustersOf("auto.bin"), (std::vector<int>{10, 14, 15}));
  EXPECT_EQ(v.saved("auto.bin").size(), 5000u);

  v.job.options.savingMode = SavingMode::Fat1;  // FAT1: its chain is too short, so contiguous
  ASSERT_TRUE(v.save("fat1.bin", 5000, 10));
  EXPECT_EQ(v.clustersOf("fat1.bin"), (std::vector<int>{10, 11, 12}));
  v.job.options.savingMode = SavingMode::Fat2;
  ASSERT_TRUE(v.save("fat2.bin", 5000, 10));
  EXPECT_EQ(v.clustersOf("fat2.bin"), (std::vector<int>{10, 14, 15}));
  v.job.options.savingMode = SavingMode::Contiguous;
  ASSERT_TRUE(v.save("contiguous.bin", 5000, 10));
  EXPECT_EQ(v.clustersOf("contiguous.bin"), (std::vector<int>{10, 11, 12}));
}

TEST(SaveFatFile, AChainThatRunsIntoAnotherFileIsNotUsed) {
  SaveVolume v(4);
  v.chain({10, 11, 20, 21});  // continues into another file's clusters
  v.job.options.savingMode = SavingMode::Fat1;
  ASSERT_TRUE(v.save("f.bin", 5000, 10));
  EXPECT_EQ(v.clustersOf("f.bin"), (std::vector<int>{10, 11, 12}));
}

TEST(SaveFatFile, FreeClustersPassOverClustersInUseAndAutoFallsBackToThem) {
  SaveVolume v(4);  // 5000 bytes need 3 clusters; 11 and 13 belong to live files
  v.chain({11});
  v.chain({13});
  v.job.options.savingMode = SavingMode::FreeClusters;
  ASSERT_TRUE(v.save("free.bin", 5000, 10));
  EXPECT_EQ(v.clustersOf("free.bin"), (std::vector<int>{10, 12, 14}));
  EXPECT_EQ(v.job.outcome.filesByMethod[static_cast<int>(SaveMethod::FreeClusters)].load(), 1);
  // A first cluster in use: contiguous.
  ASSERT_TRUE(v.save("used.bin", 5000, 11));
  EXPECT_EQ(v.clustersOf("used.bin"), (std::vector<int>{11, 12, 13}));
  EXPECT_EQ(v.job.outcome.filesByMethod[static_cast<int>(SaveMethod::Contiguous)].load(), 1);
  // Auto: neither FAT holds a chain of 3 clusters from 10.
  v.job.options.savingMode = SavingMode::Auto;
  ASSERT_TRUE(v.save("auto.bin", 5000, 10));
  EXPECT_EQ(v.clustersOf("auto.bin"), (std::vector<int>{10, 12, 14}));
  // Fewer free clusters than the size needs before the volume ends: contiguous.
  EXPECT_EQ(chooseFileClusters(v.session(), v.v, SavingMode::FreeClusters, 10, 100000).method,
            SaveMethod::Contiguous);
}

TEST(SaveFatFile, BlocksAndFinalPieces) {
  SaveVolume one(1);
  SaveJob& s = one.job;
  ASSERT_TRUE(one.save("empty.bin", 0, 10));
  EXPECT_TRUE(fs::exists(one.out.file("empty.bin")));
  EXPECT_EQ(fs::file_size(one.out.file("empty.bin")), 0u);
  s.bytesSaved = 0;
  ASSERT_TRUE(one.save("k.bin", 1000, 10));
  EXPECT_EQ(one.saved("k.bin").size(), 1000u);
  EXPECT_EQ(one.saved("k.bin")[999], 11);
  EXPECT_EQ(s.bytesSaved.load(), 512u);  // the final piece is not counted
  EXPECT_EQ(s.outcome.bytesWritten.load(), 1000u);

  SaveVolume eight(8);
  ASSERT_TRUE(eight.save("4k.bin", 4096, 5));
  EXPECT_EQ(eight.saved("4k.bin").size(), 4096u);
  EXPECT_EQ(eight.job.bytesSaved.load(), 0u);
}

TEST(SaveFatFile, FiltersPassFilesOverWithoutCountingThem) {
  SaveVolume v(1);
  SaveJob& s = v.job;
  s.options.extensionList = {"doc"};
  EXPECT_TRUE(v.save("REPORT.DOC", 10, 10));
  EXPECT_FALSE(v.save("REPORT.DOCX", 10, 10));
  EXPECT_TRUE(v.save("DOC", 10, 10));
  EXPECT_FALSE(fs::exists(v.out.file("REPORT.DOCX")));
  EXPECT_EQ(s.filesSaved.load(), 2);

  s.options.extensionList.clear();
  s.options.deletedFilter = DeletedFilter::DeletedOnly;
  EXPECT_FALSE(v.save("LIVE.TXT", 10, 10, false));
  EXPECT_TRUE(v.save("GONE.TXT", 10, 10, true));
  s.options.deletedFilter = DeletedFilter::ExcludeDeleted;
  EXPECT_FALSE(v.save("GONE2.TXT", 10, 10, true));
  EXPECT_EQ(s.filesSaved.load(), 3);
  EXPECT_TRUE(v.t->dialogs.messages.empty());
}

TEST(SaveFatFile, ReplacePolicies) {
  SaveVolume v(1);
  SaveJob& s = v.job;
  std::ofstream(v.out.file("A.TXT")) << "old";
  s.replacePolicy = ReplaceAnswer::NoToAll;
  EXPECT_FALSE(v.save("A.TXT", 10, 10));
  EXPECT_EQ(v.saved("A.TXT").size(), 3u);
  s.replacePolicy = ReplaceAnswer::YesToAll;
  EXPECT_TRUE(v.save("A.TXT", 10, 10));
  EXPECT_EQ(v.saved("A.TXT").size(), 10u);
  EXPECT_TRUE(v.t->dialogs.replacePrompts.empty());

  s.replacePolicy = ReplaceAnswer::Yes;
  v.t->dialogs.replaceAnswers = {ReplaceAnswer::No, ReplaceAnswer::YesToAll};
  EXPECT_FALSE(v.save("A.TXT", 20, 10));
  EXPECT_TRUE(v.save("A.TXT", 20, 10));
  EXPECT_TRUE(v.save("A.TXT", 30, 10));  // Yes to All: no further question
  EXPECT_EQ(v.t->dialogs.replacePrompts.size(), 2u);
  EXPECT_EQ(v.saved("A.TXT").size(), 30u);
}

TEST(SaveFatFile, SkipLeavesNoPartFileAndStopEndsEveryLaterFile) {
  SaveVolume v(1);
  SaveJob& s = v.job;
  // The progress report of the second block presses Skip.
  int blocks = 0;
  v.t->report.setListener([&](const test::RecordingReport::Event& e) {
    if (e.kind == test::RecordingReport::Event::SaveCurrentFile && ++blocks == 2) s.skipCurrentFile = true;
  });
  EXPECT_FALSE(v.save("big.bin", 10 * 512, 10));
  // Neither under its name nor under the temporary one.
  EXPECT_TRUE(fs::is_empty(v.out.path()));
  EXPECT_FALSE(s.skipCurrentFile.load());
  EXPECT_TRUE(v.save("next.bin", 700, 20));

  s.stopSaving = true;
  EXPECT_FALSE(v.save("after-stop.bin", 700, 20));
  EXPECT_FALSE(fs::exists(v.out.file("after-stop.bin")));
}

TEST(SaveFatFile, ADestinationThatCannotBeCreatedAsksAbortOrSkip) {
  SaveVolume v(1);
  Session& s = v.session();
  SaveJob& job = v.job;
  v.t->dialogs.errorWritingAnswers = {WriteErrorAnswer::Skip, WriteErrorAnswer::Abort};
  EXPECT_FALSE(saveFatFile(s, job, v.out.file("no/such/folder/x.bin"), "x.bin", 10, 10, true, true));
  EXPECT_TRUE(job.skipCurrentFile.load());
  EXPECT_FALSE(job.stopSaving.load());
  EXPECT_FALSE(saveFatFile(s, job, v.out.file("no/such/folder/y.bin"), "y.bin", 10, 10, true, true));
  EXPECT_TRUE(job.stopSaving.load());
  EXPECT_EQ(v.t->dialogs.errorWritingPrompts.size(), 2u);
  EXPECT_EQ(job.outcome.writeFailures.load(), 2);
  // A quiet save asks nothing.
  job.stopSaving = false;
  EXPECT_FALSE(saveFatFile(s, job, v.out.file("no/such/z.bin"), "z.bin", 10, 10, false, true));
  EXPECT_EQ(v.t->dialogs.errorWritingPrompts.size(), 2u);
}

TEST(SaveFatFile, ASkippedBadSectorSavesZerosAndCountsTheFileIncomplete) {
  SaveVolume v(1);
  auto faulty = std::make_shared<platform::FaultyDevice>(v.device);
  faulty->failSector(v.clusterSector(11));
  v.t->devices.attach(platform::DeviceTable::physicalDriveName(0), faulty);
  v.session().badSectorPolicy = BadSectorAnswer::SkipAll;
  ASSERT_TRUE(v.save("holes.bin", 3 * 512, 10));
  auto bytes = v.saved("holes.bin");
  EXPECT_EQ(bytes[0], 10);
  EXPECT_EQ(bytes[512], 0);
  EXPECT_EQ(bytes[1023], 0);
  EXPECT_EQ(bytes[1024], 12);
  EXPECT_EQ(v.job.outcome.filesCompleted.load(), 0);
  EXPECT_EQ(v.job.outcome.filesIncomplete.load(), 1);
  const auto notes = v.job.outcome.notes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].outcome, FileOutcome::Incomplete);
  EXPECT_EQ(notes[0].missingBytes, (std::vector<ByteRange>{{512, 512}}));
}

TEST(SaveFatFile, AFileWhoseDiskStopsAnsweringIsNotReportedSavedAndEndsTheSave) {
  SaveVolume v(1);
  auto faulty = std::make_shared<platform::FaultyDevice>(v.device);
  v.t->devices.attach(platform::DeviceTable::physicalDriveName(0), faulty);
  ASSERT_TRUE(v.save("before.bin", 512, 10));
  // The disk goes away after a few more reads: in the middle of the next file.
  faulty->breakDown(platform::FaultyDevice::Breakdown::Removed, 3);
  EXPECT_FALSE(v.save("cut.bin", 20 * 512, 10));
  EXPECT_TRUE(v.job.stopSaving.load());
  EXPECT_EQ(v.job.outcome.filesCompleted.load(), 1);
  EXPECT_EQ(v.job.outcome.sourceFailures.load(), 1);
  const auto notes = v.job.outcome.notes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].path, v.out.file("cut.bin"));
  EXPECT_EQ(notes[0].outcome, FileOutcome::SourceUnreadable);
  EXPECT_EQ(v.t->dialogs.badSectorPrompts, 0);
}

TEST(SaveFatFile, ADestinationThatFillsUpIsReportedNotPassedOffAsSaved) {
  test::TempDir mountPoint;
  if (::mount("tessaly-test", mountPoint.path().c_str(), "tmpfs", 0, "size=16k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): the full-destination case is not run";
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount(path.c_str()); }
  } unmount{mountPoint.path()};
  SaveVolume v(1);
  Session& s = v.session();
  v.t->dialogs.errorWritingFallback = WriteErrorAnswer::Skip;
  EXPECT_TRUE(saveFatFile(s, v.job, mountPoint.file("small.bin"), "small.bin", 4096, 10, true, true));
  EXPECT_FALSE(saveFatFile(s, v.job, mountPoint.file("large.bin"), "large.bin", 64 * 1024, 10, true, true));
  EXPECT_EQ(v.t->dialogs.errorWritingPrompts, (std::vector<std::string>{mountPoint.file("large.bin")}));
  EXPECT_EQ(v.job.outcome.filesCompleted.load(), 1);
  EXPECT_EQ(v.job.outcome.writeFailures.load(), 1);
  // Nothing of the file that did not fit is left, under its name or a temporary one.
  EXPECT_EQ(std::distance(fs::directory_iterator(mountPoint.path()), fs::directory_iterator()), 1);
}

TEST(SaveFatFile, ProgressShowsMegabytesPercentageAndTimes) {
  SaveVolume v(1);
  SaveJob& job = v.job;
  job.bytesToSave = 4 * 1048576;
  job.bytesSaved = 3 * 1048576;
  job.startTime = static_cast<std::int64_t>(std::time(nullptr)) - 192;
  updateSaveProgress(v.session(), job, 512, 2048, true, true);
  using E = test::RecordingReport::Event;
  const auto data = v.t->report.events(E::SaveData);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(megabytesText(static_cast<std::uint64_t>(data[0].value)), "3 MB");
  EXPECT_EQ(megabytesText(static_cast<std::uint64_t>(data[0].second)), "4 MB");
  EXPECT_EQ(data[0].third, 75);
  const auto times = v.t->report.events(E::SaveTimes);
  ASSERT_EQ(times.size(), 1u);
  EXPECT_EQ(minutesAndSecondsText(times[0].value), "3 Min 12 Sec");
  EXPECT_EQ(minutesAndSecondsText(times[0].second), "1 Min 4 Sec");
  const auto current = v.t->report.events(E::SaveCurrentFile);
  ASSERT_EQ(current.size(), 1u);
  EXPECT_EQ(current[0].value, 512);
  EXPECT_EQ(current[0].second, 2048);
}

TEST(SaveNames, NamesOffTheDiskStayInsideTheDestination) {
  EXPECT_EQ(safeComponent(".."), "_..");
  EXPECT_EQ(safeComponent("."), "_.");
  EXPECT_EQ(safeComponent(""), "_");
  EXPECT_EQ(safeComponent("a/b"), "a_b");
  EXPECT_EQ(safeComponent("Budget 2024.xls"), "Budget 2024.xls");
  // Control characters and direction overrides become "_"; the rest of the UTF-8 stays.
  EXPECT_EQ(safeComponent("\x1b[2Jé\xe2\x80\xaegpj.exe"), "_[2Jé_gpj.exe");
}

TEST(SaveFatFile, NothingIsWrittenIntoOrRenamedOverWhatIsNoRegularFile) {
  SaveVolume v(1);
  v.t->dialogs.errorWritingFallback = WriteErrorAnswer::Skip;
  fs::create_directory(v.out.file("taken"));
  ::mkfifo(v.out.file("pipe").c_str(), 0600);
  fs::create_symlink("elsewhere", v.out.file("link"));
  v.job.replacePolicy = ReplaceAnswer::YesToAll;
  for (const char* name : {"taken", "pipe", "link"}) EXPECT_FALSE(v.save(name, 700, 10)) << name;
  EXPECT_EQ(v.t->dialogs.errorWritingPrompts.size(), 3u);
  EXPECT_TRUE(fs::is_directory(v.out.file("taken")));
  EXPECT_TRUE(fs::is_fifo(v.out.file("pipe")));
  EXPECT_TRUE(fs::is_symlink(v.out.file("link")));
  EXPECT_EQ(std::distance(fs::directory_iterator(v.out.path()), fs::directory_iterator()), 3);
}

TEST(SaveDestination, AFolderIsCreatedOneLevelDeepOrRefused) {
  SaveVolume v(1);
  Session& s = v.session();
  EXPECT_EQ(acceptDestination(s, v.out.file("new")), v.out.file("new"));
  EXPECT_TRUE(fs::is_directory(v.out.file("new")));
  EXPECT_FALSE(acceptDestination(s, v.out.file("missing/child")));
  ASSERT_EQ(v.t->dialogs.messages.size(), 1u);
  EXPECT_EQ(v.t->dialogs.messages[0].text, "Failed to create " + v.out.file("missing/child"));
}

}  // namespace
}  // namespace tessaly
