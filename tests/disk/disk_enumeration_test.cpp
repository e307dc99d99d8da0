#include "disk/disk_enumeration.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "diskfacts/disk_facts_key.h"
#include "platform/version.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using diskfacts::kDiskFactsKey;
using platform::VersionInfo;

void useGeometryQuery() {
  platform::overrideVersion(std::optional<VersionInfo>{{platform::kPlatformWin32Nt, 6, 0}});
}

TEST(UsesGeometryQuery, OnlyNtFiveAndFailingOrWindowsPlatformsUseTheHelper) {
  using V = std::optional<VersionInfo>;
  const std::pair<V, bool> cases[] = {{VersionInfo{2, 5, 0}, false},  {VersionInfo{2, 5, 1}, false},
                                      {VersionInfo{2, 4, 0}, true},   {VersionInfo{2, 6, 1}, true},
                                      {VersionInfo{1, 4, 10}, false}, {VersionInfo{0, 3, 1}, true},
                                      {std::nullopt, false}};
  for (const auto& [version, expected] : cases) {
    platform::overrideVersion(version);
    EXPECT_EQ(usesGeometryQuery(), expected) << (version ? version->major : 0);
  }
  platform::overrideVersion(std::nullopt);
  EXPECT_FALSE(usesGeometryQuery());  // this system reports NT 5.1
}

// A session with a private registry over disk images in a temporary folder; the staged
// diskfacts helper in the installation folder.
struct Enumeration : ::testing::Test {
  test::TempDir dir;
  platform::DeviceTable devices;
  test::RecordingReport report;
  test::ScriptedDialogs dialogs;
  Session session{devices, report, dialogs};
  TreeModel tree;

  Enumeration() {
    session.registry = platform::Registry(dir.file("registry"));
    session.installFolder = test::stageDir();
  }
  ~Enumeration() override { platform::overrideVersion(std::nullopt); }

  std::string image(const std::string& name, std::uint64_t bytes) {
    std::ofstream(dir.file(name)).close();
    fs::resize_file(dir.file(name), bytes);
    return dir.file(name);
  }
  void disksZeroAndTwo() {  // the path of slot 1 does not exist
    devices.setDisks({image("a.img", 1073741824), dir.file("b.img"), image("c.img", 80026361856)});
  }
  void fakeHelper(const std::string& script) {
    session.installFolder = dir.file("install");
    fs::create_directories(session.installFolder);
    std::ofstream(session.installFolder + "/diskfacts") << "#!/bin/sh\n" << script << '\n';
    fs::permissions(session.installFolder + "/diskfacts", fs::perms::owner_all);
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> out;
    for (TreeItem item : tree.children(tree.root())) out.push_back(tree.text(item));
    return out;
  }
  std::vector<std::string> rows(unsigned disk) {
    std::vector<std::string> out;
    for (const auto& row : diskFactsRows(session, disk)) out.push_back(row.text());
    return out;
  }
  int exitCode() {
    try {
      enumerateDisks(session, tree);
    } catch (const ProgramExit& exit) {
      return exit.code;
    }
    return -1;
  }
};

TEST_F(Enumeration, TheGeometryQueryStopsAtTheFirstGap) {
  useGeometryQuery();
  disksZeroAndTwo();
  enumerateDisks(session, tree);
  EXPECT_EQ(tree.text(tree.root()), "My Computer");
  EXPECT_EQ(entries(), (std::vector<std::string>{"1.44\" Floppy", "Disk0"}));
  EXPECT_EQ(session.hardDiskCount, 1);
  EXPECT_TRUE(tree.expanded(tree.root()));
  EXPECT_EQ(tree.selected(), tree.root());
  EXPECT_EQ(report.events().back().kind, test::RecordingReport::Event::DiskListReady);

  EXPECT_EQ(session.registry.value(kDiskFactsKey, "Disk0"), "");
  EXPECT_EQ(session.registry.value(diskfacts::kModelKey, "Disk0"), std::nullopt);
  EXPECT_EQ(session.registry.value(diskfacts::kSizeKey, "Disk0"), "1069286400");  // 130 cylinders
  EXPECT_EQ(rows(0), (std::vector<std::string>{"Physical Disk Number : 0", "Cylinder   : 130",
                                               "Head   : 255", "Sectors Per Track   : 63",
                                               "Disk Size  : 1019 MB"}));
  EXPECT_EQ(session.currentDiskModel, "");
}

TEST_F(Enumeration, TheHelperListsEveryDiskItDescribes) {
  disksZeroAndTwo();
  enumerateDisks(session, tree);
  EXPECT_EQ(entries(), (std::vector<std::string>{"1.44\" Floppy", "Disk0", "Disk2"}));
  EXPECT_EQ(session.hardDiskCount, 2);
  EXPECT_EQ(rows(2), (std::vector<std::string>{
                         "Physical Disk Number : 2", "Model   : Disk image",
                         "Media Type   : Fixed hard disk media", "Cylinder   : 9729",
                         "Head   : 255", "Sectors Per Track   : 63", "Disk Size  : 76319 MB"}));
  EXPECT_EQ(session.currentDiskModel, "Disk image");

  session.registry.writeValue(diskfacts::kSizeKey, "Disk2", "18446744073709551615");
  EXPECT_EQ(rows(2).back(), "Disk Size  : 17592186044415 MB");
  session.registry.writeValue(diskfacts::kSizeKey, "Disk2", "big");
  EXPECT_EQ(rows(2).back(), "Disk Size  : 0 MB");
}

TEST_F(Enumeration, WithoutTheHelperOnlyTheRootIsListed) {
  disksZeroAndTwo();
  fs::create_directories(session.installFolder = dir.file("empty-install"));
  enumerateDisks(session, tree);
  EXPECT_EQ(tree.size(), 1u);
  EXPECT_EQ(session.hardDiskCount, 0);
}

TEST_F(Enumeration, FindingNoDiskRunsTheHelperOnceMoreAndListsTheFloppyOnce) {
  const std::string log = dir.file("runs.log");
  fakeHelper("echo \"$@\" >> '" + log + "'");
  devices.setDisks({dir.file("gone.img")});
  enumerateDisks(session, tree);
  // The step runs it, the retry runs it, the step runs it again.
  const std::string run = "--registry " + session.registry.folder() + " -- " + dir.file("gone.img");
  EXPECT_EQ(test::run("cat '" + log + "'"), run + "\n" + run + "\n" + run + "\n");
  EXPECT_EQ(entries(), (std::vector<std::string>{"1.44\" Floppy"}));

  fs::remove(log);
  useGeometryQuery();  // one helper run between two geometry queries, still one floppy
  tree.clear();
  session.floppyEntryListed = false;
  enumerateDisks(session, tree);
  EXPECT_EQ(test::run("cat '" + log + "'"), run + "\n");
  EXPECT_EQ(entries(), (std::vector<std::string>{"1.44\" Floppy"}));
}

TEST_F(Enumeration, FactsOfAnEarlierRunAreRemoved) {
  auto& registry = session.registry;
  registry.writeValue(kDiskFactsKey, "Disk5", "HDD");
  registry.writeValue(diskfacts::kSizeKey, "Disk5", "1");
  registry.writeValue(diskfacts::kDisplayDeviceKey, "Disk0", "x");
  devices.setDisks({image("a.img", 1 << 20)});
  enumerateDisks(session, tree);
  EXPECT_EQ(registry.valueNames(kDiskFactsKey), (std::vector<std::string>{"Disk0"}));
  EXPECT_EQ(registry.valueNames(diskfacts::kSizeKey), (std::vector<std::string>{"Disk0"}));
  EXPECT_FALSE(registry.keyExists(diskfacts::kDisplayDeviceKey));

  // A key that cannot be deleted (an unknown sub-key) still loses its disk values.
  registry.createKey("TY Windows\\Other");
  registry.writeValue(kDiskFactsKey, "Note", "kept");
  fakeHelper("true");
  tree.clear();
  enumerateDisks(session, tree);
  EXPECT_EQ(registry.valueNames(kDiskFactsKey), (std::vector<std::string>{"Note"}));
}

TEST_F(Enumeration, RegistryFailuresEndTheProgramWithTheirCodes) {
  disksZeroAndTwo();
  std::ofstream(dir.file("blocked")) << "a file where the registry folder should be";
  session.registry = platform::Registry(dir.file("blocked"));
  EXPECT_EQ(exitCode(), 0);  // the disk-facts key cannot be created

  session.registry = platform::Registry(dir.file("registry"));
  ASSERT_TRUE(session.registry.createKey(kDiskFactsKey));
  std::ofstream(dir.file("registry/TY Windows/Head")) << "in the way";
  EXPECT_EQ(exitCode(), 1);  // a sub-key cannot be created
  useGeometryQuery();
  EXPECT_EQ(exitCode(), 1);

  fs::remove(dir.file("registry/TY Windows/Head"));
  platform::overrideVersion(std::nullopt);
  tree.clear();
  fakeHelper("rm -rf \"$2/TY Windows\"");  // the key is gone after the helper ran
  EXPECT_EQ(exitCode(), 0);
  EXPECT_EQ(tree.size(), 1u);
}

}  // namespace
}  // namespace tessaly
