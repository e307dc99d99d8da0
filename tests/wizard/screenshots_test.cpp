// Screenshots of every page of the wizard, saved under build/screenshots/ for a person to
// look at. Each also checks that no visible control reaches outside the window or covers
// another visible control.
#include "wizard_fixture.h"

#include <filesystem>

#include "partition/volume.h"

namespace tessaly::wizard::test {
namespace {

namespace wid = wizard::id;

class ScreenshotTest : public WizardTest {
 protected:
  // Visible controls of the page area must not overlap, and all lie inside the window.
  void expectTidyLayout(const std::string& page) {
    window->flushUpdates();
    const wxSize client = window->GetClientSize();
    std::vector<wxWindow*> visible;
    for (wxWindow* child : panel()->GetChildren()) {
      if (!child->IsShown() || dynamic_cast<wxStaticBox*>(child) ||
          dynamic_cast<wxStaticLine*>(child))
        continue;
      const wxRect r = child->GetRect();
      EXPECT_TRUE(wxRect(wxPoint(0, 0), client).Contains(r))
          << page << ": " << child->GetName() << " " << child->GetId() << " lies outside";
      visible.push_back(child);
    }
    for (std::size_t i = 0; i < visible.size(); ++i)
      for (std::size_t j = i + 1; j < visible.size(); ++j)
        EXPECT_FALSE(visible[i]->GetRect().Intersects(visible[j]->GetRect()))
            << page << ": controls " << visible[i]->GetId() << " and " << visible[j]->GetId()
            << " overlap";
  }
  void shoot(const std::string& name) {
    expectTidyLayout(name);
    const std::string path = screenshot(name);
    EXPECT_GT(std::filesystem::file_size(path), 1000u) << path;
  }
};

TEST_F(ScreenshotTest, EveryPageOfAQuickScan) {
  const std::string image = imagePath("fat_disk");
  TestSession probe(image);
  probe.session.partitionSelection = {0, 0, FileSystem::Fat16, "Quick Mode", 2048, 43007, 0};
  validatePartition(probe.session, probe.scan);
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(image),
                                              probe.scan.volume.clusterSector(400), 43008);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({image}).has_value());
  shoot("1-disk-page");

  ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
  ASSERT_TRUE(click(wid::kQuick));
  shoot("2-disk-chosen");

  ASSERT_TRUE(click(wid::kNext));
  shoot("3-partition-page");

  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));
  pump(std::chrono::milliseconds(100));
  shoot("4-scanning");

  hold->release();
  ASSERT_TRUE(waitForScan());
  window->scan().folderTree.expand(window->scan().folderTree.root());
  // A folder open and ticked, another ticked below it, two files selected.
  ASSERT_TRUE(tick("Root/Photos Folder/Summer"));
  ASSERT_TRUE(tick("Root/Documents"));
  window->scan().folderTree.expand(folderItem("Root/Documents"));
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Documents"));
  selectRows(rowsNamed({"Budget 2024.xls", "Exact Cluster.bin"}));
  shoot("5-results");
  EXPECT_EQ(window->fileListControl().GetItemCount(), 5);
}

TEST_F(ScreenshotTest, TheSettingsAndSavingDialogs) {
  const std::string image = imagePath("fat_disk");
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(image));
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({image}).has_value());
  scanPartition("Partition - 1 ( FAT16 )");
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Root"));
  ASSERT_TRUE(click(wid::kMenuSelectAll));

  // The Saving dialog during the save: held in the middle of the root's second file.
  const auto rows = rowsNamed({"Letter to Ada.txt"});
  ASSERT_EQ(rows.size(), 1u);
  const auto cluster = static_cast<std::uint32_t>(std::stoul(listColumn(5)[static_cast<std::size_t>(rows[0])]));
  const std::uint64_t held = window->scan().workingVolume.clusterSector(cluster + 1);
  hold->arm(held, held + 1);
  window->setSaveProgressInterval(0);
  std::string settingsShot, savingShot;
  onDialog = [&](wxDialog& dialog, int number) {
    if (number == dialog::kFileSaving) {
      EXPECT_TRUE(press(dialog, dialog::id::kSettingsButton));
      type(dialog, dialog::id::kPath, home.file("saved"));
      screenshotOf(dialog, "11-file-saving");
      EXPECT_TRUE(press(dialog, dialog::id::kOk));
    } else if (number == dialog::kSettings) {
      type(dialog, dialog::id::kExtensionEdit, "doc");
      EXPECT_TRUE(press(dialog, dialog::id::kAdd));
      type(dialog, dialog::id::kExtensionEdit, "txt");
      EXPECT_TRUE(press(dialog, dialog::id::kAdd));
      EXPECT_TRUE(press(dialog, dialog::id::kRemove));  // txt
      settingsShot = screenshotOf(dialog, "9-settings");
      EXPECT_TRUE(press(dialog, dialog::id::kCancel));
    } else if (number == dialog::kSaving) {
      ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }, std::chrono::seconds(20)));
      savingShot = screenshotOf(dialog, "10-saving");
      hold->release();
    }
  };
  ASSERT_TRUE(click(wid::kMenuSave));
  for (const std::string& path : {settingsShot, savingShot}) {
    ASSERT_FALSE(path.empty());
    EXPECT_GT(std::filesystem::file_size(path), 1000u) << path;
  }
}

TEST_F(ScreenshotTest, TheFloppyResults) {
  ASSERT_FALSE(open({imagePath("fat_disk")}, imagePath("fat_floppy")).has_value());
  ASSERT_TRUE(clickTree(control::kDiskTree, "1.44\" Floppy"));
  ASSERT_TRUE(click(wid::kQuick));
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  shoot("6-floppy-results");
}

}  // namespace
}  // namespace tessaly::wizard::test
