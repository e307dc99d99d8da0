// The scan and recover commands on a disk that stops answering in the middle of the
// sweep: what was found before is printed, the message names the disk, and the command
// fails.
#include <gtest/gtest.h>

#include <regex>

#include "cli/commands.h"
#include "fat/directory_sweep.h"
#include "partition/volume.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using platform::FaultyDevice;

constexpr std::uint64_t kFirst = 2048, kLast = 43007;  // the FAT16 partition of fat_disk

// The directories the sweep finds on the partition, by sector.
std::vector<std::uint32_t> directorySectors(const std::string& image) {
  test::TestSession t(image);
  t.session.partitionSelection.fileSystem = FileSystem::Fat16;
  t.session.partitionSelection.firstSector = kFirst;
  t.session.partitionSelection.lastSector = kLast;
  EXPECT_EQ(validatePartition(t.session, t.scan), 1);
  sweepDirectories(t.session, t.scan);
  std::vector<std::uint32_t> sectors;
  for (std::size_t r = 1; r < t.scan.directoryTable.rowCount(); ++r)
    sectors.push_back(t.scan.directoryTable.row(r).sector);
  std::sort(sectors.begin(), sectors.end());
  return sectors;
}

struct Outcome {
  int code;
  std::string out, err;
};

Outcome run(int (*command)(const std::vector<std::string>&, platform::DeviceTable&),
            std::vector<std::string> args, std::shared_ptr<platform::Device> disk) {
  test::TempDir home;
  ::setenv("TESSALY_HOME", home.path().c_str(), 1);
  platform::DeviceTable devices;
  devices.attach(platform::DeviceTable::physicalDriveName(0), std::move(disk));
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int code = command(args, devices);
  Outcome r{code, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
  ::unsetenv("TESSALY_HOME");
  return r;
}

int foldersOf(const std::string& json) {
  std::smatch m;
  return std::regex_search(json, m, std::regex("\"folders\":([0-9]+)")) ? std::stoi(m[1]) : -1;
}

TEST(LostDisk, AScanKeepsTheFoldersFoundBeforeTheDiskStoppedAnsweringAndFails) {
  const std::string image = test::imagePath("fat_disk");
  const auto sectors = directorySectors(image);
  ASSERT_GE(sectors.size(), 3u);
  const std::vector<std::string> args{
      image, "--range", std::to_string(kFirst), std::to_string(kLast), "--fs", "FAT16", "--json"};
  const Outcome whole = run(cli::scanCommand, args, platform::FileDevice::open(image));
  ASSERT_EQ(whole.code, 0) << whole.err;
  EXPECT_NE(whole.out.find("\"deviceLost\":false"), std::string::npos);

  for (auto kind : {FaultyDevice::Breakdown::Removed, FaultyDevice::Breakdown::FailsEverything}) {
    SCOPED_TRACE(kind == FaultyDevice::Breakdown::Removed ? "removed" : "failing every read");
    auto faulty = std::make_shared<FaultyDevice>(platform::FileDevice::open(image));
    // The last directory of the sweep is never reached.
    faulty->breakDownAt(kind, sectors.back());
    const Outcome cut = run(cli::scanCommand, args, faulty);
    EXPECT_EQ(cut.code, 1);
    EXPECT_NE(cut.err.find("The disk Disk0 stopped answering"), std::string::npos) << cut.err;
    EXPECT_NE(cut.out.find("\"deviceLost\":true"), std::string::npos);
    // "Lost", the root's folders and all the others before the last one.
    EXPECT_GE(foldersOf(cut.out), 2);
    EXPECT_LT(foldersOf(cut.out), foldersOf(whole.out));
  }
}

TEST(LostDisk, ARecoveryWhoseDiskStopsAnsweringFailsWithoutClaimingTheFile) {
  const std::string image = test::imagePath("fat_disk");
  test::TempDir out;
  // A whole recovery first, to count its reads.
  auto faulty = std::make_shared<FaultyDevice>(platform::FileDevice::open(image));
  const std::vector<std::string> args{image,
                                      "--range",
                                      std::to_string(kFirst),
                                      std::to_string(kLast),
                                      "--fs",
                                      "FAT16",
                                      "--out",
                                      out.path(),
                                      "--quiet"};
  const Outcome whole = run(cli::recoverCommand, args, faulty);
  ASSERT_EQ(whole.code, 0) << whole.err;
  const std::size_t reads = faulty->requests().size();

  test::TempDir again;
  auto late = std::make_shared<FaultyDevice>(platform::FileDevice::open(image));
  late->breakDown(FaultyDevice::Breakdown::Removed, reads - 3);  // during the last file
  auto argsAgain = args;
  argsAgain[7] = again.path();
  const Outcome cut = run(cli::recoverCommand, argsAgain, late);
  EXPECT_EQ(cut.code, 1);
  EXPECT_NE(cut.out.find("1 file could not be read from the disk"), std::string::npos) << cut.out;
  EXPECT_NE(cut.err.find("stopped answering. The save ended there"), std::string::npos) << cut.err;
}

}  // namespace
}  // namespace tessaly
