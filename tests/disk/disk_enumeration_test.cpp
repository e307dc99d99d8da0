#include "disk/disk_enumeration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

// Disk images in a temporary folder, a session over them with a private registry, the
// staged diskfacts helper in its installation folder, and an empty disk tree.
struct Enumeration : ::testing::Test {
  test::TempDir dir;
  platform::DeviceTable devices;
  test::RecordingControls controls;
  test::ScriptedDialogs dialogs;
  Session session{devices, controls, dialogs};
  TreeModel tree;

  Enumeration() {
    session.registry = platform::Registry(dir.file("registry"));
    session.installFolder = test::stageDir();
  }
  ~Enumeration() override { platform::overrideVersion(std::nullopt); }

  std::string image(const std::string& name, std::uint64_t bytes) {
    std::string path = dir.file(name);
    std::ofstream(path).close();
    fs::resize_file(path, bytes);
    return path;
  }
  // Disks 0 and 2 exist, the path of slot 1 does not.
  void disksZeroAndTwo() {
    devices.setDisks({image("a.img", 1073741824), dir.file("b.img"), image("c.img", 80026361856)});
  }
  // An installation folder whose "diskfacts" is the given shell script.
  void fakeHelper(const std::string& script) {
    session.installFolder = dir.file("install");
    fs::create_directories(session.installFolder);
    std::string path = session.installFolder + "/diskfacts";
    std::ofstream(path) << "#!/bin/sh\n" << script << '\n';
    fs::permissions(path, fs::perms::owner_all);
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> out;
    for (TreeItem item : tree.children(tree.root())) out.push_back(tree.text(item));
    return out;
  }
  std::string factsValue(const std::string& key, unsigned disk) const {
    return session.registry.readString(key, diskfacts::diskValueName(disk));
  }
  std::vector<std::string> rows(unsigned disk) {
    std::vector<std::string> out;
    for (const auto& row : diskFactsRows(session, disk)) out.push_back(row.text());
    return out;
  }
};

TEST(UsesGeometryQuery, OnlyNtFiveAndFailingOrOlderPlatformsUseTheHelper) {
  struct Case {
    std::optional<VersionInfo> version;
    bool expected;
  } cases[] = {
      {VersionInfo{platform::kPlatformWin32Nt, 5, 0}, false},
      {VersionInfo{platform::kPlatformWin32Nt, 5, 1}, false},
      {VersionInfo{platform::kPlatformWin32Nt, 4, 0}, true},
      {VersionInfo{platform::kPlatformWin32Nt, 6, 1}, true},
      {VersionInfo{platform::kPlatformWin32Windows, 4, 10}, false},
      {VersionInfo{0, 3, 1}, true},  // Win32s
      {std::nullopt, false},         // the version call fails
  };
  for (const auto& c : cases) {
    platform::overrideVersion(c.version);
    EXPECT_EQ(usesGeometryQuery(), c.expected)
        << (c.version ? c.version->platformId : 99) << " " << (c.version ? c.version->major : 0);
  }
  platform::overrideVersion(std::nullopt);
  EXPECT_FALSE(usesGeometryQuery());  // this system reports NT 5.1
}

TEST_F(Enumeration, TheGeometryQueryStopsAtTheFirstGap) {
  useGeometryQuery();
  disksZeroAndTwo();
  enumerateDisks(session, tree);

  EXPECT_EQ(tree.text(tree.root()), "My Computer");
  EXPECT_EQ(tree.image(tree.root()), 2);
  EXPECT_EQ(entries(), (std::vector<std::string>{"1.44\" Floppy", "Disk0"}));
  for (TreeItem item : tree.children(tree.root())) EXPECT_EQ(tree.image(item), 1);
  EXPECT_EQ(session.hardDiskCount, 1);
  EXPECT_EQ(session.osFamily, 'N');
  EXPECT_TRUE(tree.expanded(tree.root()));
  EXPECT_EQ(tree.selected(), tree.root());
  ASSERT_FALSE(controls.events().empty());
  EXPECT_EQ(controls.events().back().kind, test::RecordingControls::Event::Focus);
  EXPECT_EQ(controls.events().back().id, control::kDiskTree);

  EXPECT_EQ(session.registry.value(kDiskFactsKey, "Disk0"), "");
  EXPECT_EQ(factsValue(diskfacts::kCylinderKey, 0), "130");
  EXPECT_EQ(factsValue(diskfacts::kHeadKey, 0), "255");
  EXPECT_EQ(factsValue(diskfacts::kSectorsPerTrackKey, 0), "63");
  EXPECT_EQ(factsValue(diskfacts::kSizeKey, 0), "1069286400");  // whole cylinders only
  EXPECT_EQ(session.registry.value(diskfacts::kModelKey, "Disk0"), std::nullopt);
  EXPECT_EQ(session.registry.value(kDiskFactsKey, "Disk2"), std::nullopt);

  EXPECT_EQ(rows(0), (std::vector<std::string>{"Physical Disk Number : 0", "Cylinder   : 130",
                                               "Head   : 255", "Sectors Per Track   : 63",
                                               "Disk Size  : 1019 MB"}));
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
}

TEST_F(Enumeration, WithoutTheHelperOnlyTheRootIsListed) {
  disksZeroAndTwo();
  session.installFolder = dir.file("empty-install");
  fs::create_directories(session.installFolder);
  enumerateDisks(session, tree);
  EXPECT_EQ(tree.size(), 1u);
  EXPECT_EQ(tree.text(tree.root()), "My Computer");
  EXPECT_EQ(session.hardDiskCount, 0);
}

TEST_F(Enumeration, FindingNoDiskRunsTheHelperOnceMoreAndListsTheFloppyOnce) {
  const std::string log = dir.file("runs.log");
  fakeHelper("echo \"$@\" >> '" + log + "'");
  devices.setDisks({dir.file("gone.img")});
  enumerateDisks(session, tree);
  // The probe-program step runs it, then the retry, then the step again.
  std::string expected = "--registry " + session.registry.folder() + " -- " + dir.file("gone.img");
  auto lines = test::run("cat '" + log + "'");
  EXPECT_EQ(lines, expected + "\n" + expected + "\n" + expected + "\n");
  EXPECT_EQ(entries(), (std::vector<std::string>{"1.44\" Floppy"}));

  // The geometry query finds nothing either: one helper run, and still one floppy entry.
  fs::remove(log);
  useGeometryQuery();
  TreeModel fresh;
  session.floppyEntryListed = false;
  enumerateDisks(session, fresh);
  EXPECT_EQ(test::run("cat '" + log + "'"), expected + "\n");
  std::vector<std::string> texts;
  for (TreeItem item : fresh.children(fresh.root())) texts.push_back(fresh.text(item));
  EXPECT_EQ(texts, (std::vector<std::string>{"1.44\" Floppy"}));
}

TEST_F(Enumeration, StaleFactsOfAnEarlierRunAreRemoved) {
  auto& registry = session.registry;
  ASSERT_TRUE(registry.writeValue(kDiskFactsKey, "Disk5", "HDD"));
  ASSERT_TRUE(registry.writeValue(diskfacts::kSizeKey, "Disk5", "1"));
  ASSERT_TRUE(registry.writeValue(diskfacts::kDisplayDeviceKey, "Disk0", "x"));
  devices.setDisks({image("a.img", 1 << 20)});
  enumerateDisks(session, tree);
  EXPECT_EQ(registry.valueNames(kDiskFactsKey), (std::vector<std::string>{"Disk0"}));
  EXPECT_EQ(registry.valueNames(diskfacts::kSizeKey), (std::vector<std::string>{"Disk0"}));
  EXPECT_FALSE(registry.keyExists(diskfacts::kDisplayDeviceKey));

  // A key that cannot be deleted (a sub-key nobody knows) still loses its disk values.
  ASSERT_TRUE(registry.createKey("TY Windows\\Other"));
  ASSERT_TRUE(registry.writeValue(kDiskFactsKey, "Disk7", "ZIP"));
  ASSERT_TRUE(registry.writeValue(kDiskFactsKey, "Note", "kept"));
  devices.setDisks({});
  fakeHelper("true");
  TreeModel again;
  enumerateDisks(session, again);
  EXPECT_EQ(registry.valueNames(kDiskFactsKey), (std::vector<std::string>{"Note"}));
}

TEST_F(Enumeration, RegistryFailuresEndTheProgramWithTheirCodes) {
  disksZeroAndTwo();
  // The disk-facts key cannot be created at all: code 0.
  std::ofstream(dir.file("blocked")) << "a file, not a folder";
  session.registry = platform::Registry(dir.file("blocked"));
  try {
    enumerateDisks(session, tree);
    ADD_FAILURE() << "the program went on";
  } catch (const ProgramExit& exit) {
    EXPECT_EQ(exit.code, 0);
  }

  // A sub-key cannot be created: code 1, on either path.
  session.registry = platform::Registry(dir.file("registry"));
  ASSERT_TRUE(session.registry.createKey(kDiskFactsKey));
  std::ofstream(dir.file("registry/TY Windows/Head")) << "in the way";
  for (bool geometry : {false, true}) {
    if (geometry) useGeometryQuery();
    TreeModel t;
    try {
      enumerateDisks(session, t);
      ADD_FAILURE() << "the program went on";
    } catch (const ProgramExit& exit) {
      EXPECT_EQ(exit.code, 1);
    }
  }
}

TEST_F(Enumeration, AHelperThatRemovesTheKeyEndsTheProgram) {
  platform::overrideVersion(std::nullopt);
  fakeHelper("rm -rf \"$2/TY Windows\"");
  try {
    enumerateDisks(session, tree);
    ADD_FAILURE() << "the program went on";
  } catch (const ProgramExit& exit) {
    EXPECT_EQ(exit.code, 0);
  }
  EXPECT_EQ(tree.size(), 1u);  // nothing was listed before it ended
}

TEST_F(Enumeration, FactsRowsReadTheKeyAsWritten) {
  auto& registry = session.registry;
  ASSERT_TRUE(registry.writeValue(diskfacts::kSizeKey, "Disk1", "80026361856"));
  ASSERT_TRUE(registry.writeValue(diskfacts::kModelKey, "Disk1", "ST380011A"));
  ASSERT_TRUE(registry.writeValue(diskfacts::kMediaTypeKey, "Disk1", "Fixed hard disk media"));
  ASSERT_TRUE(registry.writeValue(diskfacts::kCylinderKey, "Disk1", "9729"));
  auto r = rows(1);
  ASSERT_EQ(r.size(), 7u);
  EXPECT_EQ(r[1], "Model   : ST380011A");
  EXPECT_EQ(r[2], "Media Type   : Fixed hard disk media");
  EXPECT_EQ(r[3], "Cylinder   : 9729");
  EXPECT_EQ(r[4], "Head   : ");  // a missing value reads as empty text
  EXPECT_EQ(r[6], "Disk Size  : 76319 MB");
  EXPECT_EQ(session.currentDiskModel, "ST380011A");

  useGeometryQuery();  // no model or media type rows, and no model for the reports
  r = rows(1);
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[1], "Cylinder   : 9729");
  EXPECT_EQ(r[4], "Disk Size  : 76319 MB");
  EXPECT_EQ(session.currentDiskModel, "");

  ASSERT_TRUE(registry.writeValue(diskfacts::kSizeKey, "Disk1", "18446744073709551615"));
  EXPECT_EQ(rows(1)[4], "Disk Size  : 17592186044415 MB");
  ASSERT_TRUE(registry.writeValue(diskfacts::kSizeKey, "Disk1", "big"));
  EXPECT_EQ(rows(1)[4], "Disk Size  : 0 MB");
}

TEST(DiskNumberOf, OnlyDiskEntriesHaveNumbers) {
  EXPECT_EQ(diskNumberOf("Disk0"), 0);
  EXPECT_EQ(diskNumberOf("Disk25"), 25);
  EXPECT_EQ(diskNumberOf("1.44\" Floppy"), -1);
  EXPECT_EQ(diskNumberOf("Disk"), -1);
  EXPECT_EQ(diskNumberOf("Disk1a"), -1);
  EXPECT_EQ(diskNumberOf("My Computer"), -1);
}

}  // namespace
}  // namespace tessaly
