// The results page's views driven through the window: the folder tree's check boxes,
// the file list of a folder with its rows, icons, dates and paths, a deleted folder's
// subfolders, opening a listed folder or file, the renaming on expand, the popup menus
// and what Select All makes of the next save.
#include "wizard_fixture.h"

#include <chrono>
#include <filesystem>

#include "fat/catalogue.h"
#include "fat/directory_entry.h"
#include "partition/volume.h"
#include "support/manifest.h"
#include "wizard/tree_mirror.h"

#include <wx/uiaction.h>

namespace tessaly::wizard::test {
namespace {

namespace wid = wizard::id;
using Row = std::vector<std::string>;

class ResultsViewTest : public WizardTest {
 protected:
  void scanFat16() {
    ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
    scanPartition("Partition - 1 ( FAT16 )");
  }
  // The check state of a folder in the model and as the tree control draws it.
  int state(const std::string& path) {
    const TreeItem item = folderItem(path);
    TreeMirror& mirror = window->folderMirror();
    const int shown = mirror.control().GetItemState(mirror.idOf(item));
    EXPECT_EQ(shown, window->scan().folderTree.state(item)) << path;
    return shown;
  }
  // Every column of a row of the list control, and its icon.
  Row row(long at) {
    Row texts;
    for (int c = 0; c < kFileColumns; ++c) texts.push_back(listColumn(c).at(static_cast<std::size_t>(at)));
    return texts;
  }
  int image(long at) {
    wxListItem item;
    item.SetId(at);
    item.SetMask(wxLIST_MASK_IMAGE);
    window->fileListControl().GetItem(item);
    return item.GetImage();
  }
  long rowOf(const std::string& name) {
    const auto rows = rowsNamed({name});
    return rows.empty() ? -1 : rows[0];
  }
  void activate(long at) {
    wxListEvent event(wxEVT_LIST_ITEM_ACTIVATED, control::kInformationList);
    event.SetIndex(at);
    event.SetEventObject(&window->fileListControl());
    window->fileListControl().HandleWindowEvent(event);
    window->flushUpdates();
  }
};

TEST_F(ResultsViewTest, CheckBoxesFollowTheirSubtreeAndTheirAncestorsFollowTheirChildren) {
  scanFat16();
  // Root: Lost, Documents, Photos Folder, KEEP; Photos Folder holds Summer alone.
  for (const char* path : {"Root", "Root/Documents", "Root/Photos Folder/Summer"}) EXPECT_EQ(state(path), kUnchecked);

  // One of several siblings: the parent is partly checked.
  ASSERT_TRUE(tick("Root/Photos Folder/Summer"));
  EXPECT_EQ(state("Root/Photos Folder/Summer"), kChecked);
  EXPECT_EQ(state("Root/Photos Folder"), kChecked);  // its only child
  EXPECT_EQ(state("Root"), kPartlyChecked);
  // The click lists the folder it was made on.
  EXPECT_EQ(text(control::kCurrentFolder), "Photos Folder\\Summer");

  // The last unchecked siblings: the parent becomes checked.
  for (const char* path : {"Root/Lost", "Root/Documents", "Root/KEEP"}) ASSERT_TRUE(tick(path));
  EXPECT_EQ(state("Root"), kChecked);
  EXPECT_EQ(state("Root/Documents/Old Archive/Deep Folder"), kChecked);  // ticked with its subtree

  // Unchecking the only checked child unchecks the folder; its parent is then partly checked.
  ASSERT_TRUE(tick("Root/Photos Folder/Summer"));
  EXPECT_EQ(state("Root/Photos Folder"), kUnchecked);
  EXPECT_EQ(state("Root"), kPartlyChecked);

  // Unchecking a folder's only ticked child leaves nothing ticked up to the root.
  ASSERT_TRUE(tick("Root/Documents/Old Archive/Deep Folder"));
  EXPECT_EQ(state("Root/Documents/Old Archive/Deep Folder/_UBDIR2"), kUnchecked);
  EXPECT_EQ(state("Root/Documents/Old Archive"), kUnchecked);
  EXPECT_EQ(state("Root/Documents"), kUnchecked);
  EXPECT_EQ(state("Root"), kPartlyChecked);

  // A click on a partly checked folder unchecks its whole subtree.
  ASSERT_TRUE(tick("Root"));
  for (const char* path : {"Root", "Root/Lost", "Root/KEEP", "Root/KEEP/_UB", "Root/Documents"})
    EXPECT_EQ(state(path), kUnchecked) << path;
}

TEST_F(ResultsViewTest, ARealMouseClickOnACheckBoxTicksTheFolder) {
  scanFat16();
  TreeMirror& mirror = window->folderMirror();
  wxTreeCtrl& tree = mirror.control();
  const TreeItem keep = folderItem("Root/KEEP");
  wxRect rect;
  ASSERT_TRUE(tree.GetBoundingRect(mirror.idOf(keep), rect, false));
  // Where the tree draws the item's check box.
  std::optional<wxPoint> box;
  for (int x = rect.x; x < rect.GetRight() && !box; ++x) {
    int flags = 0;
    const wxPoint p(x, rect.y + rect.height / 2);
    if (tree.HitTest(p, flags) == mirror.idOf(keep) && (flags & wxTREE_HITTEST_ONITEMSTATEICON)) box = p + wxPoint(3, 0);
  }
  ASSERT_TRUE(box.has_value());
  wxUIActionSimulator mouse;
  mouse.MouseMove(tree.ClientToScreen(*box));
  pump(std::chrono::milliseconds(100));
  mouse.MouseClick();
  ASSERT_TRUE(pumpUntil([&] { return window->scan().folderTree.state(keep) == kChecked; },
                        std::chrono::seconds(5)));
  EXPECT_EQ(window->scan().folderTree.state(folderItem("Root/KEEP/_UB")), kChecked);
  EXPECT_EQ(text(control::kCurrentFolder), "KEEP");
}

TEST_F(ResultsViewTest, AFolderListsItsSubfoldersThenItsDeletedFilesWithTheirTypesIconsAndDates) {
  scanFat16();
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Root"));
  EXPECT_EQ(text(control::kCurrentFolder), "");  // the root's path is empty
  EXPECT_EQ(listColumn(0), (Row{"Lost", "Documents", "Photos Folder", "KEEP", "_OTES.TXT", "Letter to Ada.txt"}));
  EXPECT_EQ(listColumn(1), (Row{"FOLDER", "FOLDER", "Deleted FOLDER", "FOLDER", "Deleted Text file",
                                "Deleted Text file"}));

  ASSERT_TRUE(clickTree(wid::kFolderTree, "Documents"));
  EXPECT_EQ(text(control::kCurrentFolder), "Documents");
  const TreeItem documents = folderItem("Root/Documents");
  const TreeItem oldArchive = folderItem("Root/Documents/Old Archive");
  FolderRecord own, child;
  ASSERT_TRUE(window->scan().catalogue.findTreeItem(documents, &own));
  ASSERT_TRUE(window->scan().catalogue.findTreeItem(oldArchive, &child));
  // The folder row: its own id, the listed folder's id and its tree item in the hidden columns.
  const Row folderRow = row(0);
  EXPECT_EQ(Row(folderRow.begin(), folderRow.begin() + 3), (Row{"Old Archive", "Deleted FOLDER", "0"}));
  EXPECT_EQ(Row(folderRow.begin() + 5, folderRow.end()),
            (Row{std::to_string(child.selfId), std::to_string(own.selfId), std::to_string(oldArchive)}));
  EXPECT_EQ(image(0), 1);
  const Row budget = row(rowOf("Budget 2024.xls"));
  EXPECT_EQ(Row(budget.begin(), budget.begin() + 5),
            (Row{"Budget 2024.xls", "Deleted Excel File", "9000", "02-Jan-2031", "09:01"}));
  EXPECT_NE(budget[5], "");  // its first cluster
  EXPECT_EQ(Row(budget.begin() + 6, budget.end()), (Row{"", ""}));
  // Each file's icon is its type's.
  const std::pair<const char*, int> icons[] = {{"Budget 2024.xls", 3},
                                               {"_MPTY.TXT", 20},
                                               {"Exact Cluster.bin", 19},
                                               {"A Very Long File Name For Testing Purposes.doc", 4}};
  for (const auto& [name, icon] : icons) EXPECT_EQ(image(rowOf(name)), icon) << name;
  EXPECT_EQ(window->fileList().size(), 5u);

  // A folder two levels down: its path is joined with "\".
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Old Archive"));
  EXPECT_EQ(text(control::kCurrentFolder), "Documents\\Old Archive");
  EXPECT_EQ(listColumn(0), (Row{"Deep Folder", "_lan.doc"}));
  // The folder shown before is drawn closed again, the one shown now open.
  EXPECT_EQ(window->scan().folderTree.image(documents), kImageClosedFolder);
  EXPECT_EQ(window->scan().folderTree.image(oldArchive), kImageOpenFolder);
}

TEST_F(ResultsViewTest, ASubfolderListedInADeletedFolderIsShownDeletedAndStaysSo) {
  scanFat16();
  // Make "Deep Folder" a folder whose own entry is not deleted, inside the deleted "Old Archive".
  ScanCatalogue& catalogue = window->scan().catalogue;
  const TreeItem deep = folderItem("Root/Documents/Old Archive/Deep Folder");
  FolderRecord record;
  ASSERT_TRUE(catalogue.findTreeItem(deep, &record));
  catalogue.setCursor(catalogue.lastRecord());
  catalogue.nextFlag(ScanCatalogue::Field::Deleted, 'w', 0);
  ASSERT_TRUE(catalogue.findTreeItem(deep, &record));
  ASSERT_EQ(record.deleted, 0u);

  ASSERT_TRUE(clickTree(wid::kFolderTree, "Old Archive"));
  EXPECT_EQ(listColumn(1).at(0), "Deleted FOLDER");
  ASSERT_TRUE(catalogue.findTreeItem(deep, &record));
  EXPECT_EQ(record.deleted, 1u);
  // Listed itself, it counts as deleted: every file of it is shown.
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Deep Folder"));
  EXPECT_EQ(listColumn(0), (Row{"_UBDIR2", "_nner.txt"}));
  EXPECT_EQ(listColumn(1).at(0), "Deleted FOLDER");
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Documents"));
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Old Archive"));
  EXPECT_EQ(listColumn(1).at(0), "Deleted FOLDER");
}

TEST_F(ResultsViewTest, AFatDateWithoutAMonthShowsErrAndADayWithTwoDigits) {
  // The root directory entry of the deleted NOTES.TXT dated day 5, month bits 0, 2005.
  const std::string image = imagePath("fat_disk");
  TestSession probe(image);
  probe.session.partitionSelection = {0, 0, FileSystem::Fat16, "Quick Mode", 2048, 43007, 0};
  ASSERT_TRUE(validatePartition(probe.session, probe.scan));
  const VolumeParameters v = probe.scan.volume;
  auto patched = std::make_shared<PatchedDevice>(platform::FileDevice::open(image));
  bool found = false;
  for (std::uint32_t s = 0; s < v.rootDirSectors && !found; ++s) {
    const std::uint64_t sector = std::uint64_t{v.rootDirStart} + s;
    const auto bytes = patched->sector(sector);
    for (std::size_t at = 0; at < 512 && !found; at += direntry::kSize) {
      if (bytes[at] != 0xE5 || std::string(bytes.begin() + static_cast<long>(at) + 1,
                                            bytes.begin() + static_cast<long>(at) + 11) != "OTES   TXT")
        continue;
      const std::uint16_t date = (25 << 9) | (0 << 5) | 5;
      patched->patchByte(sector, at + direntry::kDate, static_cast<std::uint8_t>(date & 0xFF));
      patched->patchByte(sector, at + direntry::kDate + 1, static_cast<std::uint8_t>(date >> 8));
      found = true;
    }
  }
  ASSERT_TRUE(found);
  devices.attach(platform::DeviceTable::physicalDriveName(0), patched);
  ASSERT_FALSE(open({image}).has_value());
  scanPartition("Partition - 1 ( FAT16 )");
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Root"));
  const long notes = rowOf("_OTES.TXT");
  ASSERT_GE(notes, 0);
  EXPECT_EQ(listColumn(3)[static_cast<std::size_t>(notes)], "05-Err-2005");
  EXPECT_EQ(listColumn(4)[static_cast<std::size_t>(notes)], "14:05");
}

TEST_F(ResultsViewTest, AnNtfsDateAndTimeHaveNoLeadingZeros) {
  ASSERT_FALSE(open({imagePath("ntfs_files")}).has_value());
  scanPartition("Partition - 1 ( NTFS )");
  // 2004-03-07 09:05:03 UTC as a FILETIME, given to the deleted file "old.txt".
  using namespace std::chrono;
  const auto unix = sys_days{year{2004} / 3 / 7}.time_since_epoch() + hours(9) + minutes(5) + seconds(3);
  const std::int64_t fileTime = (duration_cast<seconds>(unix).count() + 11644473600LL) * 10000000LL;
  ScanState& s = window->scan();
  ASSERT_TRUE(s.entryTablesOk);
  bool found = false;
  for (NtfsEntry& entry : s.fileEntries)
    if (entry.name == "old.txt") entry.date = std::to_string(fileTime), found = true;
  ASSERT_TRUE(found);
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Projects"));
  const long old = rowOf("old.txt");
  ASSERT_GE(old, 0);
  EXPECT_EQ(listColumn(3)[static_cast<std::size_t>(old)], "7-Mar-2004");
  EXPECT_EQ(listColumn(4)[static_cast<std::size_t>(old)], "9:5:3");
  EXPECT_EQ(listColumn(1)[static_cast<std::size_t>(old)], "Deleted Text file");
}

TEST_F(ResultsViewTest, OpeningAListedFolderListsItAndOpeningAFileSavesItQuietlyAndOpensIt) {
  const std::string logs = home.file("logs");
  std::filesystem::create_directories(logs);
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
  type(*panel(), wid::kLogPath, logs);
  ASSERT_TRUE(click(wid::kQuick));
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(clickTree(wid::kPartitionTree, "Partition - 1 ( FAT16 )"));
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());

  ASSERT_TRUE(clickTree(wid::kFolderTree, "Root"));
  activate(rowOf("Documents"));
  EXPECT_EQ(window->currentFolderItem(), folderItem("Root/Documents"));
  EXPECT_EQ(window->folderMirror().itemOf(window->folderMirror().control().GetSelection()),
            folderItem("Root/Documents"));
  EXPECT_EQ(text(control::kCurrentFolder), "Documents");
  EXPECT_EQ(listColumn(0).at(0), "Old Archive");
  EXPECT_EQ(window->listCursor(), 0);

  // A file: saved into the log-file folder under its listed name, then opened.
  const auto manifest = loadManifest(manifestPath("fat_disk"));
  std::string expected;
  for (const auto& e : entriesOf(manifest, "fat16", "file"))
    if (e.path == "/Documents/A Very Long File Name For Testing Purposes.doc") expected = e.sha256;
  activate(rowOf("A Very Long File Name For Testing Purposes.doc"));
  const std::string saved = logs + "/A Very Long File Name For Testing Purposes.doc";
  ASSERT_EQ(openedFiles, std::vector<std::string>{saved});
  EXPECT_EQ(sha256File(saved), expected);
  // Quietly: no question, no dialog.
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(dialogsShown.empty());
}

TEST_F(ResultsViewTest, ExpandingAFolderNamesItsChildrenFromTheDiskOnceAndCollapsingClosesIt) {
  scanFat16();
  // A folder whose children's names are not resolved yet, its subfolder still "Dir" named.
  ScanCatalogue& catalogue = window->scan().catalogue;
  TreeModel& model = window->scan().folderTree;
  const TreeItem documents = folderItem("Root/Documents");
  const TreeItem oldArchive = folderItem("Root/Documents/Old Archive");
  FolderRecord record;
  ASSERT_TRUE(catalogue.findTreeItem(documents, &record));
  catalogue.setCursor(catalogue.lastRecord());
  catalogue.nextFlag(ScanCatalogue::Field::NamesResolved, 'w', 0);
  model.setText(oldArchive, "Dir42");

  // The user opens it in the tree control.
  wxTreeCtrl& tree = window->folderMirror().control();
  const wxTreeItemId id = window->folderMirror().idOf(documents);
  tree.Expand(id);
  window->flushUpdates();
  EXPECT_EQ(model.text(oldArchive), "Old Archive");
  EXPECT_EQ(window->folderMirror().textOf(oldArchive), "Old Archive");
  ASSERT_TRUE(catalogue.findTreeItem(documents, &record));
  EXPECT_EQ(record.namesResolved, 1u);
  // Once: a later opening reads nothing.
  model.setText(oldArchive, "Dir42");
  tree.Collapse(id);
  tree.Expand(id);
  window->flushUpdates();
  EXPECT_EQ(model.text(oldArchive), "Dir42");

  model.setImages(documents, kImageOpenFolder, kImageOpenFolder);
  tree.Collapse(id);
  window->flushUpdates();
  EXPECT_EQ(model.image(documents), kImageClosedFolder);
}

TEST_F(ResultsViewTest, PopupMenusAppearOnlyOverSelectedRowsAndTickedFolders) {
  scanFat16();
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Documents"));
  // No row selected, or a click on no row: no menu.
  window->rightClickList(1, wxPoint(10, 10));
  EXPECT_TRUE(popups.empty());
  selectRows({1});
  window->rightClickList(-1, wxPoint(10, 200));
  EXPECT_TRUE(popups.empty());
  EXPECT_EQ(window->fileList().selectedCount(), 0u);
  selectRows({1});
  window->rightClickList(1, wxPoint(10, 10));
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_EQ(popups[0], Row{"Save"});

  // The tree: an unchecked folder has no menu; a ticked one offers to save the ticked folders.
  window->rightClickTree(wxPoint(5, 5));
  EXPECT_EQ(popups.size(), 1u);
  ASSERT_TRUE(tick("Root/Documents"));
  popupAnswer = MainWindow::menuItemId(wid::kPopupSave);
  bool settingsEnabled = true;
  onDialog = [&](wxDialog& dialog, int number) {
    if (number != dialog::kFileSaving) return;
    settingsEnabled = dialog.FindWindow(dialog::id::kSettingsButton)->IsEnabled();
    EXPECT_TRUE(press(dialog, dialog::id::kCancel));
  };
  window->rightClickTree(wxPoint(5, 5));
  ASSERT_EQ(popups.size(), 2u);
  EXPECT_EQ(window->saveSource(), SaveSource::CheckedFolders);
  // The File Saving dialog opened, without its Settings; Cancel saved nothing.
  EXPECT_EQ(dialogsShown, std::vector<int>{dialog::kFileSaving});
  EXPECT_FALSE(settingsEnabled);
  EXPECT_EQ(window->destination(), "");
}

TEST_F(ResultsViewTest, SelectAllMakesTheNextSaveTakeTheListUntilAFolderIsListedAgain) {
  scanFat16();
  using S = SaveSource;
  std::vector<S> sources;
  onDialog = [&](wxDialog& dialog, int number) {
    if (number != dialog::kFileSaving) return;
    sources.push_back(window->saveSource());
    press(dialog, dialog::id::kCancel);
  };
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Documents"));
  // One row selected: the menu's Save takes the ticked folders; two rows: the list.
  selectRows({1});
  ASSERT_TRUE(click(wid::kMenuSave));
  selectRows({1, 2});
  ASSERT_TRUE(click(wid::kMenuSave));
  EXPECT_EQ(sources, (std::vector<S>{S::CheckedFolders, S::FileList}));

  ASSERT_TRUE(click(wid::kSelectAllButton));
  EXPECT_TRUE(window->allFilesSelected());
  for (long i = 0; i < window->fileListControl().GetItemCount(); ++i)
    EXPECT_TRUE(window->fileListControl().GetItemState(i, wxLIST_STATE_SELECTED)) << i;
  ASSERT_TRUE(click(wid::kUnselectAllButton));
  EXPECT_EQ(window->fileListControl().GetSelectedItemCount(), 0);
  EXPECT_EQ(window->fileList().selectedCount(), 0u);
  // Still the list after Unselect All.
  ASSERT_TRUE(click(wid::kMenuSave));
  EXPECT_EQ(sources.back(), S::FileList);
  // Listing a folder anew forgets Select All.
  ASSERT_TRUE(clickTree(wid::kFolderTree, "KEEP"));
  EXPECT_FALSE(window->allFilesSelected());
  ASSERT_TRUE(click(wid::kMenuSave));
  EXPECT_EQ(sources.back(), S::CheckedFolders);

  // An empty folder: Select All sets the list as the source but not the flag.
  ASSERT_TRUE(clickTree(wid::kFolderTree, "_UBDIR2"));
  ASSERT_EQ(window->fileListControl().GetItemCount(), 0);
  window->setSaveSource(SaveSource::CheckedFolders);
  ASSERT_TRUE(click(wid::kMenuSelectAll));
  EXPECT_FALSE(window->allFilesSelected());
  EXPECT_EQ(window->saveSource(), SaveSource::FileList);
}

}  // namespace
}  // namespace tessaly::wizard::test

