// Screenshots of every page of the wizard, saved under build/screenshots/ for a person to
// look at. Each also checks that no visible control reaches outside the window or covers
// another visible control.
#include "wizard_fixture.h"

#include <filesystem>

#include "config/configuration.h"
#include "partition/volume.h"
#include "wizard/save_dialogs.h"

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

TEST_F(ScreenshotTest, TheRawPageDuringAndAfterACarve) {
  const std::string disk = carvingDisk(home);
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(disk), 10340, 16384);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({disk}).has_value());
  ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
  ASSERT_TRUE(click(wid::kRaw));
  ASSERT_TRUE(click(wid::kNext));
  auto* types = static_cast<wxCheckListBox*>(window->control(wid::kRawFileTypes));
  for (unsigned item : {0u, 1u, 3u}) types->Check(item);
  ASSERT_TRUE(click(wid::kRawSectorRange));
  shoot("raw-1-page");
  onDialog = [&](wxDialog& d, int number) {
    if (number != dialog::kFileSaving) return;
    type(d, dialog::id::kPath, home.file("carved"));
    EXPECT_TRUE(press(d, dialog::id::kOk));
  };
  ASSERT_TRUE(click(wid::kStartRecovery));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));
  pump(std::chrono::milliseconds(100));
  // The document is carved and counted; the search holds further on.
  auto* recovered = static_cast<wxListCtrl*>(window->control(wid::kRawFilesRecovered));
  ASSERT_EQ(recovered->GetItemCount(), 3);
  EXPECT_EQ(recovered->GetItemText(0), "Total Word File(s) Recovered :  1");
  EXPECT_EQ(recovered->GetItemText(2), "Total Zip File(s) Recovered :  0");
  shoot("raw-2-carving");
  hold->release();
  ASSERT_TRUE(pumpUntil([&] { return !window->rawRunning(); }));
  shoot("raw-3-done");
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

// The wizard started in each language: its pages and the save dialogs are photographed
// (build/screenshots/<language>-*.png), and no text needs more room than its control has.
class LanguageTest : public ScreenshotTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // Buttons, radio buttons, check boxes and fixed-width texts narrower than their label;
  // the labels of the controls inside group boxes too. Fields that shorten their text on
  // purpose, and the picture buttons, which take the width they need, are left out.
  void expectLabelsFit(wxWindow& parent, const std::string& where) {
    const wxWindowList children = parent.GetChildren();
    for (wxWindow* child : children) {
      if (!child->IsShown()) continue;
      if (dynamic_cast<wxStaticBox*>(child)) expectLabelsFit(*child, where);
      int needed = 0;
      if (auto* button = dynamic_cast<wxButton*>(child)) {
        if (button->GetBitmap().IsOk()) continue;
        wxButton natural(&parent, wxID_ANY, button->GetLabel(), wxDefaultPosition, wxDefaultSize,
                         wxBU_EXACTFIT);
        needed = natural.GetBestSize().x;
      } else if (dynamic_cast<wxRadioButton*>(child) || dynamic_cast<wxCheckBox*>(child)) {
        needed = child->GetBestSize().x;
      } else if (auto* label = dynamic_cast<wxStaticText*>(child)) {
        if (child->HasFlag(wxST_ELLIPSIZE_START | wxST_ELLIPSIZE_MIDDLE | wxST_ELLIPSIZE_END))
          continue;
        // The text's own extent: a fixed-width text's best size is its width once wrapped.
        wxClientDC dc(label);
        dc.SetFont(label->GetFont());
        needed = dc.GetMultiLineTextExtent(label->GetLabelText()).x;
      } else {
        continue;
      }
      EXPECT_LE(needed, child->GetSize().x)
          << where << ": \"" << child->GetLabel().utf8_string() << "\" (" << child->GetId()
          << ") needs " << needed << " pixels";
    }
  }
  void check(const std::string& page) {
    expectTidyLayout(page);
    expectLabelsFit(*panel(), page);
    screenshot(std::string(GetParam()) + "-" + page);
  }
  void checkDialog(wxDialog& dialog, const std::string& name) {
    expectLabelsFit(dialog, name);
    screenshotOf(dialog, std::string(GetParam()) + "-" + name);
  }
};

TEST_P(LanguageTest, EveryTextFitsItsControl) {
  const std::string language = GetParam();
  platform::Registry registry(home.file("registry"));
  ASSERT_TRUE(storeLanguageSetting(registry, language + "A.dat"));
  const std::string image = imagePath("fat_disk");
  TestSession probe(image);
  probe.session.partitionSelection = {0, 0, FileSystem::Fat16, "Quick Mode", 2048, 43007, 0};
  validatePartition(probe.session, probe.scan);
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(image),
                                              probe.scan.volume.clusterSector(400), 43008);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({image}).has_value());
  const MessageCatalogue& catalogue = *window->session().messages;
  ASSERT_EQ(catalogue.languageFile(), language + "A.dat");
  EXPECT_EQ(text(wid::kNext), catalogue.text(158, "&Next"));

  ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
  ASSERT_TRUE(click(wid::kQuick));
  check("1-disk-page");

  ASSERT_TRUE(click(wid::kNext));
  // Shown on this page too: the partition type in the other modes, the search's text
  // while partitions are searched.
  const int others[] = {wid::kPartitionTypeLabel, wid::kPartitionType, wid::kPartitionSearchText};
  for (int id : others) window->control(id)->Show();
  check("2-partition-page");
  for (int id : others) window->control(id)->Hide();

  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));
  pump(std::chrono::milliseconds(100));
  check("3-scanning");
  hold->release();
  ASSERT_TRUE(waitForScan());
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Root"));
  ASSERT_TRUE(click(wid::kMenuSelectAll));
  check("4-results");

  // The save dialogs, the Saving dialog held in the middle of a file.
  const auto rows = rowsNamed({"Letter to Ada.txt"});
  ASSERT_EQ(rows.size(), 1u);
  const auto cluster =
      static_cast<std::uint32_t>(std::stoul(listColumn(5)[static_cast<std::size_t>(rows[0])]));
  const std::uint64_t held = window->scan().workingVolume.clusterSector(cluster + 1);
  hold->arm(held, held + 1);
  window->setSaveProgressInterval(0);
  onDialog = [&](wxDialog& dialog, int number) {
    if (number == dialog::kFileSaving) {
      type(dialog, dialog::id::kPath, home.file("saved"));
      checkDialog(dialog, "5-file-saving");
      EXPECT_TRUE(press(dialog, dialog::id::kSettingsButton));
      EXPECT_TRUE(press(dialog, dialog::id::kOk));
    } else if (number == dialog::kSettings) {
      checkDialog(dialog, "6-settings");
      EXPECT_TRUE(press(dialog, dialog::id::kCancel));
    } else if (number == dialog::kCalculatingSize) {
      expectLabelsFit(dialog, "calculating");
    } else if (number == dialog::kSaving) {
      ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }, std::chrono::seconds(20)));
      checkDialog(dialog, "7-saving");
      hold->release();
    }
  };
  ASSERT_TRUE(click(wid::kMenuSave));
  EXPECT_EQ(dialogsShown, (std::vector<int>{dialog::kFileSaving, dialog::kSettings,
                                            dialog::kCalculatingSize, dialog::kSaving}));

  // The raw recovery page, which arrives with its engine: its controls where they stand,
  // with the texts that recovery shows on its button and in its status.
  for (int id : {wid::kFolderTree, control::kInformationList, control::kCurrentFolderLabel,
                 control::kCurrentFolder})
    window->control(id)->Hide();
  for (int id : {wid::kRawMethodLabel, wid::kRawEntireDisk, wid::kRawSectorRange, wid::kRawStart,
                 wid::kRawEnd, wid::kRawFileTypesLabel, wid::kRawFileTypes, wid::kRawFilesRecovered,
                 wid::kStartRecovery, wid::kRawProgress, wid::kRawStatus})
    window->control(id)->Show();
  window->control(wid::kRawStatus)
      ->SetLabel(wxString::FromUTF8(catalogue.text(188, "Searching Disk - ") + "0"));
  window->control(wid::kStartRecovery)
      ->SetLabel(wxString::FromUTF8(catalogue.text(181, "S&tart Recovery")));
  check("8-raw-recovery");
  window->control(wid::kStartRecovery)
      ->SetLabel(wxString::FromUTF8(catalogue.text(192, "Sto&p Recovery")));
  expectLabelsFit(*panel(), "raw recovery running");
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageTest,
                         ::testing::Values("English", "French", "Dutch", "German"),
                         [](const ::testing::TestParamInfo<const char*>& language) {
                           return std::string(language.param);
                         });

}  // namespace
}  // namespace tessaly::wizard::test
