// Which disk a destination lies on, as far as a test can see without a spare disk: a
// folder beside a scanned image file is another disk; the system's folders are refused.
#include "platform/disk_identity.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_support.h"

namespace tessaly::platform {
namespace {

TEST(DiskIdentity, BesideAnImageIsAllowedAndSystemFoldersAreNot) {
  test::TempDir dir;
  const std::string image = dir.file("disk.img");
  std::ofstream(image) << std::string(4096, '\0');
  EXPECT_EQ(destinationProblem(image, dir.file("out/not/made/yet")), std::nullopt);
  EXPECT_EQ(destinationProblem(image, "/proc/self"), DestinationProblem::SystemFolder);
  EXPECT_EQ(destinationProblem(image, "/sys/kernel/none"), DestinationProblem::SystemFolder);
  // An image file is a disk of its own (with no loop device reading it here).
  EXPECT_EQ(scannedDiskKeys(image).keys.size(), 1u);
}

}  // namespace
}  // namespace tessaly::platform
