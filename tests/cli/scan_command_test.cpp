// tessaly-cli scan as installed, on the ntfs_files image: the JSON result names every
// deleted file with its size and, as its location, the sector of its MFT record.
#include <gtest/gtest.h>

#include "support/manifest.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

TEST(ScanCommand, NtfsPartitionListsItsDeletedFilesAtTheirRecords) {
  test::Manifest manifest(test::manifestPath("ntfs_files"));
  ASSERT_FALSE(manifest.entries.empty());
  // A copy of the installation folder of its own: the scan's catalogue file lives there.
  test::TempDir dir;
  test::run("cp -r '" + test::stageDir() + "' '" + dir.file("install") + "'");
  const std::string out = test::run("TESSALY_HOME='" + dir.file("home") + "' '" + dir.file("install") +
                                    "/tessaly-cli' scan '" + test::imagePath("ntfs_files") +
                                    "' --partition 1 --json 2>/dev/null");
  EXPECT_NE(out.find("\"fileSystem\":\"NTFS\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"tree\":{\"name\":\"Root\",\"deleted\":false,\"id\":5,"), std::string::npos) << out;
  int deleted = 0;
  for (const test::Entry& e : manifest.entries) {
    if (e.folder) continue;
    const std::string head = "{\"name\":\"" + e.name() + "\",";
    if (!e.deleted) {
      EXPECT_EQ(out.find(head), std::string::npos) << e.path << " is live";
      continue;
    }
    ++deleted;
    const auto at = out.find(head);
    ASSERT_NE(at, std::string::npos) << e.path << "\n" << out;
    const std::string row = out.substr(at, out.find('}', at) - at);
    EXPECT_NE(row.find("\"size\":\"" + std::to_string(e.size) + "\""), std::string::npos) << row;
    EXPECT_NE(row.find("\"location\":\"" + std::to_string(manifest.recordSector(e.record)) + "\""),
              std::string::npos)
        << row;
  }
  EXPECT_GE(deleted, 4);
}

}  // namespace
}  // namespace tessaly
