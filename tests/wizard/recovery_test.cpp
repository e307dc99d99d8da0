// Whole recoveries in the window alone, as a user makes them: pick the image's partition,
// run a Quick scan, open folders, tick folders and select files, change the settings,
// save through the File Saving, "Calculating File Size" and Saving dialogs, and find the
// deleted files byte for byte in the destination. The expected files come from the
// images' manifests, written before anything was deleted.
#include "wizard_fixture.h"

#include <filesystem>
#include <map>

#include "support/manifest.h"
#include "support/manifest.h"

namespace tessaly::wizard::test {
namespace {

namespace fs = std::filesystem;
namespace wid = wizard::id;
using Hashes = std::map<std::string, std::string>;

// Every file under a folder, by its path relative to it, with its SHA-256.
Hashes treeHashes(const std::string& root) {
  Hashes out;
  if (!fs::exists(root)) return out;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) out[fs::relative(entry.path(), root).string()] = sha256File(entry.path().string());
  return out;
}

class RecoveryTest : public WizardTest {
 protected:
  // Runs a save command through the window's dialogs into dest. settings, when given,
  // acts on the Settings dialog opened from the File Saving dialog (and must close it).
  void save(const std::function<void()>& command, const std::string& dest,
            const std::function<void(wxDialog&)>& settings = {}) {
    const std::size_t first = dialogsShown.size();
    onDialog = [&](wxDialog& dialog, int number) {
      if (number == dialog::kFileSaving) {
        if (settings) {
          EXPECT_TRUE(press(dialog, dialog::id::kSettingsButton));
        }
        type(dialog, dialog::id::kPath, dest);
        EXPECT_TRUE(press(dialog, dialog::id::kOk));
      } else if (number == dialog::kSettings) {
        settings(dialog);
      }
    };
    command();
    onDialog = nullptr;
    std::vector<int> shown(dialogsShown.begin() + static_cast<long>(first), dialogsShown.end());
    std::vector<int> expected = {dialog::kFileSaving};
    if (settings) expected.push_back(dialog::kSettings);
    expected.insert(expected.end(), {dialog::kCalculatingSize, dialog::kSaving});
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(window->saveJob()->outcome.writeFailures.load(), 0);
  }
  void saveWith(int commandId, const std::string& dest, const std::function<void(wxDialog&)>& settings = {}) {
    save([&] { EXPECT_TRUE(click(commandId)); }, dest, settings);
  }
  // The settings a user might choose: an extension tried and taken back, Auto, Apply.
  static void changeSettings(wxDialog& dialog) {
    type(dialog, dialog::id::kExtensionEdit, "zzz");
    EXPECT_TRUE(press(dialog, dialog::id::kAdd));
    EXPECT_EQ(static_cast<wxListBox*>(dialog.FindWindow(dialog::id::kExtensionList))->GetCount(), 1u);
    EXPECT_TRUE(press(dialog, dialog::id::kRemove));
    EXPECT_TRUE(press(dialog, dialog::id::kAuto));
    EXPECT_TRUE(press(dialog, dialog::id::kSaveSelected));
    EXPECT_TRUE(press(dialog, dialog::id::kOk));
  }
  void openFolders(const std::vector<std::string>& names) {
    for (const auto& name : names) ASSERT_TRUE(clickTree(wid::kFolderTree, name)) << name;
  }
};

// ------------------------------------------------------------------ FAT

TEST_F(RecoveryTest, AFat16Volume) {
  const auto manifest = loadManifest(manifestPath("fat_disk"));
  const auto folders = entriesOf(manifest, "fat16", "folder");
  const std::string lostPath = entriesOf(manifest, "fat16", "lost").at(0).path;
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  scanPartition("Partition - 1 ( FAT16 )");
  ASSERT_EQ(window->wizardPage(), WizardPage::Results);

  // Where a manifest file lands: its folders as the tree names them (deleted 8.3 names
  // lose their first letter, the orphan hangs under "Lost").
  const TreeModel& tree = window->scan().folderTree;
  const std::string orphan = tree.text(tree.children(folderItem("Root/Lost")).at(0));
  auto landing = [&](const ManifestEntry& file) {
    std::string out, prefix;
    const std::string parent = parentPath(file.path);
    if (parent.rfind(lostPath, 0) == 0) {
      out = "Lost/" + orphan;
      prefix = lostPath;
    }
    std::size_t start = prefix.size() + 1;
    while (start <= parent.size()) {
      std::size_t slash = parent.find('/', start);
      if (slash == std::string::npos) slash = parent.size();
      const std::string component = parent.substr(start, slash - start);
      prefix += "/" + component;
      bool deleted = false;
      for (const auto& f : folders)
        if (f.path == prefix) deleted = f.deleted;
      out += (out.empty() ? "" : "/") + fatListedName(component, deleted);
      start = slash + 1;
    }
    return (out.empty() ? "" : out + "/") + fatListedName(baseName(file.path), true);
  };
  auto expected = [&](const std::function<bool(const ManifestEntry&)>& take) {
    Hashes out;
    for (const auto& f : entriesOf(manifest, "fat16", "file"))
      if (f.deleted && take(f)) out[landing(f)] = f.sha256;
    return out;
  };

  // 1. Browse, tick "Documents" and save the ticked folders with the Save Data button.
  openFolders({"Root", "Documents", "Old Archive"});
  EXPECT_EQ(listColumn(0), (std::vector<std::string>{"Deep Folder", "_lan.doc"}));
  ASSERT_TRUE(tick("Root/Documents"));
  const std::string ticked = home.file("ticked");
  saveWith(wid::kSaveFilesButton, ticked);
  EXPECT_EQ(window->saveSource(), SaveSource::CheckedFolders);
  const Hashes documents = expected([](const ManifestEntry& f) { return f.path.rfind("/Documents/", 0) == 0; });
  EXPECT_EQ(documents.size(), 6u);
  EXPECT_EQ(treeHashes(ticked), documents);
  EXPECT_EQ(window->saveJob()->filesToSave.load(), 6);

  // 2. Two files selected in the list: the menu's Save takes just those.
  openFolders({"Documents"});
  selectRows(rowsNamed({"Budget 2024.xls", "_MPTY.TXT"}));
  const std::string selected = home.file("selected");
  saveWith(wid::kMenuSave, selected);
  EXPECT_EQ(window->saveSource(), SaveSource::FileList);
  Hashes two = expected([](const ManifestEntry& f) {
    return f.path == "/Documents/Budget 2024.xls" || f.path == "/Documents/EMPTY.TXT";
  });
  Hashes flat;
  for (const auto& [path, sha] : two) flat[path.substr(path.rfind('/') + 1)] = sha;
  EXPECT_EQ(treeHashes(selected), flat);

  // 3. Everything: Select All at the root, the settings changed on the way. The settings
  // switch the date window on (1 January 1970 to 31 December 2030), so the file of 2031
  // found inside a folder stays behind.
  openFolders({"Root"});
  ASSERT_TRUE(click(wid::kMenuSelectAll));
  const std::string all = home.file("all");
  saveWith(wid::kMenuSave, all, changeSettings);
  EXPECT_EQ(window->saveOptions().deletedFilter, DeletedFilter::DeletedOnly);
  EXPECT_TRUE(window->saveOptions().extensionList.empty());
  EXPECT_EQ(treeHashes(all), expected([](const ManifestEntry& f) { return f.date.substr(7) != "2031"; }));
  EXPECT_EQ(window->saveJob()->outcome.filesCompleted.load(), 11);
  EXPECT_TRUE(messages().empty());
  // The window is as it was before the save.
  EXPECT_TRUE(enabled(wid::kFolderTree));
  EXPECT_TRUE(enabled(control::kInformationList));
  EXPECT_TRUE(enabled(wid::kBack));
  EXPECT_TRUE(menuEnabled(wid::kMenuSave));
  EXPECT_TRUE(menuEnabled(wid::kMenuSaveLog));
}

// ------------------------------------------------------------------ NTFS

TEST_F(RecoveryTest, AnNtfsVolume) {
  const Manifest manifest(manifestPath("ntfs_files"));
  ASSERT_FALSE(manifest.entries.empty());
  auto expected = [&](const std::function<bool(const Entry&)>& take) {
    Hashes out;
    for (const auto& e : manifest.entries)
      if (!e.folder && e.deleted && take(e)) out[e.path] = e.sha;
    return out;
  };
  ASSERT_FALSE(open({imagePath("ntfs_files")}).has_value());
  scanPartition("Partition - 1 ( NTFS )");
  ASSERT_EQ(window->wizardPage(), WizardPage::Results);

  // 1. Browse, tick "Pictures" and save it from the folder tree's popup menu.
  openFolders({"Root", "Pictures", "Trip"});
  EXPECT_EQ(listColumn(0), (std::vector<std::string>{"Notes", "day1.jpg"}));
  EXPECT_EQ(listColumn(1), (std::vector<std::string>{"Deleted FOLDER", "Deleted File"}));
  ASSERT_TRUE(tick("Root/Pictures"));
  const std::string ticked = home.file("ticked");
  save(
      [&] {
        popupAnswer = MainWindow::menuItemId(wid::kPopupSave);
        window->rightClickTree(wxPoint(5, 5));
      },
      ticked);
  EXPECT_EQ(treeHashes(ticked), expected([](const Entry& e) { return e.path.rfind("Pictures/", 0) == 0; }));

  // 2. Two files selected in the list, saved from the list's popup menu.
  openFolders({"Projects"});
  const auto rows = rowsNamed({"old.txt", "old big.dat"});
  ASSERT_EQ(rows.size(), 2u);
  selectRows(rows);
  const std::string selected = home.file("selected");
  save(
      [&] {
        popupAnswer = MainWindow::menuItemId(wid::kPopupSave);
        window->rightClickList(rows[0], wxPoint(5, 5));
      },
      selected);
  Hashes flat;
  for (const auto& [path, sha] : expected([](const Entry& e) { return e.path.rfind("Projects/", 0) == 0; }))
    flat[path.substr(path.rfind('/') + 1)] = sha;
  EXPECT_EQ(flat.size(), 2u);
  EXPECT_EQ(treeHashes(selected), flat);

  // 3. Everything: Select All at the root and the Save Data button, the settings changed.
  openFolders({"Root"});
  ASSERT_TRUE(click(wid::kSelectAllButton));
  const std::string all = home.file("all");
  saveWith(wid::kSaveFilesButton, all, changeSettings);
  const Hashes everything = expected([](const Entry&) { return true; });
  EXPECT_EQ(everything.size(), 5u);
  EXPECT_EQ(treeHashes(all), everything);
  EXPECT_EQ(window->saveJob()->filesToSave.load(), 5);
  EXPECT_TRUE(messages().empty());
}

// Advanced mode over the same volume with its boot sector and the copy at its end
// zeroed: the volume is found from its index blocks, chosen on the file-system page, and
// everything ticked at the root is saved.
TEST_F(RecoveryTest, AnNtfsVolumeWithoutBootSectorsInAdvancedMode) {
  const Manifest manifest(manifestPath("ntfs_files"));
  ASSERT_FALSE(manifest.entries.empty());
  const std::string image = imagePath("ntfs_files");
  auto disk = std::make_shared<tessaly::test::PatchedDevice>(platform::FileDevice::open(image));
  disk->zero(manifest.volume.firstSector);
  disk->zero(manifest.volume.lastSector);
  devices.attach(platform::DeviceTable::physicalDriveName(0), disk);
  ASSERT_FALSE(open({image}).has_value());
  ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
  ASSERT_TRUE(click(wid::kAdvanced));
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_EQ(window->wizardPage(), WizardPage::Partition);
  type(*panel(), wid::kStartSector, std::to_string(manifest.volume.firstSector));
  type(*panel(), wid::kEndSector, std::to_string(manifest.volume.lastSector + 1));
  static_cast<wxChoice*>(window->control(wid::kPartitionType))->SetSelection(2);  // NTFS
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());

  // The file-system page: one NTFS volume, from its index blocks.
  EXPECT_EQ(window->wizardPage(), WizardPage::Scan);
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(treePaths(wid::kFileSystemTree),
            (std::vector<std::string>{"File Systems", "File Systems/File System 1 - NTFS"}));
  EXPECT_EQ(window->listRows(),
            (std::vector<std::string>{"File System - 1", "Partition Type : NTFS",
                                      "File System Start : " + std::to_string(manifest.volume.firstSector),
                                      "Sectors Per Clusters : 8"}));
  EXPECT_TRUE(enabled(wid::kNext));
  screenshot("advanced-ntfs-file-systems");

  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  EXPECT_EQ(window->wizardPage(), WizardPage::Results);
  EXPECT_EQ(window->scan().workingVolume.fileSystem, FileSystem::Ntfs);
  openFolders({"Root", "Pictures", "Trip"});
  EXPECT_EQ(listColumn(0), (std::vector<std::string>{"Notes", "day1.jpg"}));
  screenshot("advanced-ntfs-results");

  openFolders({"Root"});
  ASSERT_TRUE(click(wid::kSelectAllButton));
  const std::string all = home.file("all");
  saveWith(wid::kSaveFilesButton, all);
  Hashes expected;
  for (const auto& e : manifest.entries)
    if (!e.folder && e.deleted) expected[e.path] = e.sha;
  EXPECT_EQ(expected.size(), 5u);
  EXPECT_EQ(treeHashes(all), expected);
  EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace tessaly::wizard::test
