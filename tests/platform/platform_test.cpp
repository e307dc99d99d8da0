#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/device.h"
#include "platform/geometry.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/version.h"
#include "support/test_support.h"

namespace tessaly::platform {
namespace {

TEST(Registry, KeysValuesAndSubKeysBehaveLikeTheWindowsRegistry) {
  test::TempDir dir;
  Registry reg(dir.file("registry"));
  EXPECT_FALSE(reg.keyExists("TY Windows"));
  EXPECT_FALSE(reg.setValue("TY Windows", "Disk0", "HDD"));  // the key must exist first
  EXPECT_EQ(reg.readString("TY Windows", "Disk0"), "");

  ASSERT_TRUE(reg.createKey("TY Windows\\Size"));
  EXPECT_TRUE(reg.keyExists("TY Windows"));
  ASSERT_TRUE(reg.setValue("TY Windows\\Size", "Disk0", "80026361856"));
  ASSERT_TRUE(reg.setValue("TY Windows\\Size", "Disk1", "line\nbreak\ttab\\slash"));
  ASSERT_TRUE(reg.setValue("TY Windows\\Size", "Disk0", "512"));
  EXPECT_EQ(reg.readString("TY Windows\\Size", "Disk0"), "512");
  EXPECT_EQ(reg.value("TY Windows\\Size", "Disk1"), "line\nbreak\ttab\\slash");
  EXPECT_EQ(reg.valueNames("TY Windows\\Size"), (std::vector<std::string>{"Disk0", "Disk1"}));

  EXPECT_FALSE(reg.deleteKey("TY Windows"));  // it still has a sub-key
  EXPECT_TRUE(reg.deleteValue("TY Windows\\Size", "Disk1"));
  EXPECT_FALSE(reg.deleteValue("TY Windows\\Size", "Disk1"));
  EXPECT_TRUE(reg.deleteKey("TY Windows\\Size"));
  EXPECT_TRUE(reg.deleteKey("TY Windows"));
  EXPECT_FALSE(reg.keyExists("TY Windows"));

  ASSERT_TRUE(reg.writeValue("KestrelOrgNTFS", "FilePath", std::string(300, 'x')));
  EXPECT_EQ(reg.readString("KestrelOrgNTFS", "FilePath").size(), 259u);
}

TEST(Registry, ReadsFallBackToTheMachineWideCopyAndWritesStayPerUser) {
  test::TempDir dir;
  Registry machine(dir.file("machine"));
  ASSERT_TRUE(machine.writeValue("KestrelOrgNTFS", "FilePath", "/opt/tessaly"));
  ASSERT_TRUE(machine.writeValue("KestrelOrgNTFS", "LngFile", "GermanA.dat"));
  Registry reg(dir.file("user"), dir.file("machine"));
  EXPECT_TRUE(reg.keyExists("KestrelOrgNTFS"));
  EXPECT_EQ(reg.readString("KestrelOrgNTFS", "FilePath"), "/opt/tessaly");
  ASSERT_TRUE(reg.writeValue("KestrelOrgNTFS", "LngFile", "FrenchA.dat"));
  EXPECT_EQ(reg.readString("KestrelOrgNTFS", "LngFile"), "FrenchA.dat");
  EXPECT_EQ(reg.readString("KestrelOrgNTFS", "FilePath"), "/opt/tessaly");
  EXPECT_EQ(machine.readString("KestrelOrgNTFS", "LngFile"), "GermanA.dat");
}

TEST(Registry, AKeyThatCannotBeCreatedIsReportedAsAFailure) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.file("registry/TY Windows"));
  std::ofstream(dir.file("registry/TY Windows/Head")) << "in the way";
  Registry reg(dir.file("registry"));
  EXPECT_FALSE(reg.createKey("TY Windows\\Head"));
  EXPECT_FALSE(reg.writeValue("TY Windows\\Head", "Disk0", "255"));
}

TEST(DeviceTable, ResolvesTheTablesDeviceNames) {
  DeviceTable table = DeviceTable::fromPaths({"/images/a.img", "/images/b.img"}, "/images/floppy.img");
  table.setVolumes({"/dev/sda1", "/dev/sda2"});
  EXPECT_EQ(table.resolve("\\\\.\\PhysicalDrive0"), "/images/a.img");
  EXPECT_EQ(table.resolve("\\\\.\\physicaldrive1"), "/images/b.img");
  EXPECT_EQ(table.resolve("\\\\.\\PhysicalDrive2"), std::nullopt);
  EXPECT_EQ(table.resolve("\\\\.\\PhysicalDrive"), std::nullopt);
  EXPECT_EQ(table.resolve("\\\\.\\A:"), "/images/floppy.img");
  EXPECT_EQ(table.resolve("\\\\.\\c:"), "/dev/sda1");
  EXPECT_EQ(table.resolve("\\\\.\\D:"), "/dev/sda2");
  EXPECT_EQ(table.resolve("\\\\.\\e:"), std::nullopt);
  EXPECT_TRUE(table.isFixedDrive('C'));
  EXPECT_TRUE(table.isFixedDrive('d'));
  EXPECT_FALSE(table.isFixedDrive('E'));
  EXPECT_FALSE(table.isFixedDrive('A'));
  EXPECT_EQ(table.open("\\\\.\\PhysicalDrive0"), nullptr);  // no such file
}

TEST(DeviceTable, ImageFilesAreOpenedReadOnlyAndMeasured) {
  test::TempDir dir;
  std::string image = dir.file("disk.img");
  std::ofstream(image).close();
  std::filesystem::resize_file(image, 255ull * 63 * 512 * 3 + 1000);
  DeviceTable table = DeviceTable::fromPaths({image});
  auto device = table.open("\\\\.\\PhysicalDrive0");
  ASSERT_TRUE(device);
  std::vector<std::uint8_t> sector(512, 1);
  EXPECT_TRUE(device->read(512, sector));
  EXPECT_EQ(sector[0], 0);
  auto geometry = queryGeometry(table, "\\\\.\\PhysicalDrive0");
  ASSERT_TRUE(geometry);
  EXPECT_EQ(geometry->tracksPerCylinder, 255u);
  EXPECT_EQ(geometry->sectorsPerTrack, 63u);
  EXPECT_EQ(geometry->cylinders, 3);
  EXPECT_EQ(geometry->bytesPerSector, 512u);
  EXPECT_FALSE(queryGeometry(table, "\\\\.\\PhysicalDrive1"));
}

TEST(Process, StartsAProgramAndReportsItsExitStatus) {
  EXPECT_EQ(runAndWait("/bin/sh", {"-c", "exit 3"}), 3);
  EXPECT_EQ(runAndWait("/bin/true", {}), 0);
  EXPECT_EQ(runAndWait("/nonexistent/diskfacts", {}), std::nullopt);
}

TEST(Version, ReportsTheNtFamilyVersionFiveOneUnlessTestsSayOtherwise) {
  auto v = versionInfo();
  ASSERT_TRUE(v);
  EXPECT_EQ(v->platformId, kPlatformWin32Nt);
  EXPECT_EQ(v->major, 5u);
  overrideVersion(std::optional<VersionInfo>{VersionInfo{kPlatformWin32Nt, 6, 0}});
  EXPECT_EQ(versionInfo()->major, 6u);
  overrideVersion(std::optional<VersionInfo>{});
  EXPECT_FALSE(versionInfo());
  overrideVersion(std::nullopt);
  EXPECT_EQ(versionInfo()->major, 5u);
}

}  // namespace
}  // namespace tessaly::platform
