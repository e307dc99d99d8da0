// The results step's views: the folder tree with its check boxes and the file list of the
// folder selected, their mouse and keyboard handling, the popup "Save" menus and the
// opening of a listed file or folder.
#include "fat/tree_builder.h"
#include "platform/paths.h"
#include "recovery/folder_contents.h"
#include "save/save_engine.h"
#include "save/save_walks.h"
#include "session/safe_text.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"
#include "wizard/tree_mirror.h"

namespace tessaly::wizard {

namespace {

bool startsWith(const std::string& text, const char* head) { return text.rfind(head, 0) == 0; }

}  // namespace

void MainWindow::bindResultsViews() {
  // The folder tree.
  folderTreeCtrl_->Bind(wxEVT_TREE_STATE_IMAGE_CLICK, [this](wxTreeEvent& e) {
    clickCheckBox(folderMirror_->itemOf(e.GetItem()));
  });
  folderTreeCtrl_->Bind(wxEVT_TREE_ITEM_EXPANDING, [this](wxTreeEvent& e) {
    // Only what the user opens: the tree's own building expands items as well.
    if (!folderMirror_->applying()) expandFolder(folderMirror_->itemOf(e.GetItem()));
    e.Skip();
  });
  folderTreeCtrl_->Bind(wxEVT_TREE_ITEM_COLLAPSED, [this](wxTreeEvent& e) {
    if (!folderMirror_->applying()) collapseFolder(folderMirror_->itemOf(e.GetItem()));
    e.Skip();
  });
  folderTreeCtrl_->Bind(wxEVT_TREE_ITEM_MENU, [this](wxTreeEvent& e) {
    rightClickTree(folderTreeCtrl_->ScreenToClient(wxGetMousePosition()));
    e.Skip(false);
  });
  folderTreeCtrl_->Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& e) {
    if (wizardPage_ == WizardPage::Results) {
      treeClicked_ = 1;
      treeActive_ = 1;
    }
    e.Skip();
  });

  // The file list.
  list_->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& e) { listSelectionChanged(e.GetIndex(), true); });
  list_->Bind(wxEVT_LIST_ITEM_DESELECTED, [this](wxListEvent& e) { listSelectionChanged(e.GetIndex(), false); });
  list_->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent& e) {
    if (wizardPage_ == WizardPage::Results) openListItem(e.GetIndex());
  });
  list_->Bind(wxEVT_LIST_ITEM_RIGHT_CLICK, [this](wxListEvent& e) { rightClickList(e.GetIndex(), e.GetPoint()); });
  list_->Bind(wxEVT_LIST_KEY_DOWN, [this](wxListEvent& e) {
    listKey(e.GetKeyCode());
    e.Skip();
  });

  // The list control shows the session's file list: rows and selection.
  fileList_.setListener([this] {
    if (mirroringList_) return;
    UiOp op;
    op.call = [this] { mirrorFileList(); };
    queue_->post(std::move(op));
  });

  Bind(wxEVT_CHAR_HOOK, &MainWindow::onCharHook, this);
}

void MainWindow::resetResultsView() {
  currentFolderItem_ = kNoItem;
  lastSelectedItem_ = kNoItem;
  listCursor_ = -1;
  treeActive_ = 0;
  treeClicked_ = 0;
  allFilesSelected_ = 0;
}

// ------------------------------------------------------------------ the folder tree

void MainWindow::folderClicked(TreeItem item) {
  if (wizardPage_ != WizardPage::Results || item == kNoItem) return;
  selectFolder(item);
}

void MainWindow::selectFolder(TreeItem item) {
  TreeModel& tree = scan_->folderTree;
  if (!tree.exists(item)) return;
  currentFolderItem_ = item;
  setText(control::kCurrentFolder, itemPath(tree, item));
  // The folder shown before closes; the one shown now opens.
  if (lastSelectedItem_ != kNoItem && lastSelectedItem_ != tree.root() && tree.exists(lastSelectedItem_) &&
      !startsWith(tree.text(lastSelectedItem_), "Partition"))
    tree.setImages(lastSelectedItem_, kImageClosedFolder, kImageClosedFolder);
  if (treeClicked_ == 1 && !startsWith(tree.text(item), "Partition"))
    tree.setImages(item, kImageOpenFolder, kImageOpenFolder);
  tree.select(item);
  if (item != tree.root()) lastSelectedItem_ = item;
  fillFileList(item);
}

void MainWindow::fillFileList(TreeItem item) {
  wxBusyCursor busy;
  FolderContents contents = listFolder(*session_, *scan_, item);
  allFilesSelected_ = 0;
  listCursor_ = -1;
  fileList_.setRows(std::move(contents.rows));
}

void MainWindow::clickCheckBox(TreeItem item) {
  if (wizardPage_ != WizardPage::Results || item == kNoItem || !scan_->folderTree.exists(item)) return;
  fileList_.selectAll(false);
  folderTreeCtrl_->SetFocus();
  treeActive_ = 1;
  if (item != currentFolderItem_) selectFolder(item);
  toggleCheck(scan_->folderTree, item);
}

void MainWindow::expandFolder(TreeItem item) {
  if (item == kNoItem || wizardPage_ != WizardPage::Results) return;
  // The names of its subfolders are read from its directory entries, once.
  resolveChildNames(*session_, *scan_, item);
}

void MainWindow::collapseFolder(TreeItem item) {
  TreeModel& tree = scan_->folderTree;
  if (item == kNoItem || item == tree.root() || startsWith(tree.text(item), "Partition")) return;
  tree.setImages(item, kImageClosedFolder, kImageClosedFolder);
}

TreeItem MainWindow::selectedFolder() const {
  return folderMirror_->itemOf(folderTreeCtrl_->GetSelection());
}

void MainWindow::rightClickTree(const wxPoint& at) {
  if (wizardPage_ <= WizardPage::Scan) return;
  const TreeItem item = selectedFolder();
  // Only a folder with something ticked has anything to save.
  if (item == kNoItem || scan_->folderTree.state(item) == kUnchecked) return;
  saveSource_ = SaveSource::CheckedFolders;
  wxMenu menu;
  menu.Append(menuItemId(id::kPopupSave), "Save");
  if (popup(*folderTreeCtrl_, menu, at) != menuItemId(id::kPopupSave)) return;
  // The menu has closed: the save's dialogs follow on the interface thread.
  if (wizardPage_ > WizardPage::Partition) startSave();
}

// ------------------------------------------------------------------ the file list

void MainWindow::mirrorFileList() {
  if (!resultColumns_) return;
  const FileListModel& model = fileList_;
  const std::size_t count = model.size();
  std::vector<FileRow> rows;
  rows.reserve(count);
  for (std::size_t i = 0; i < count; ++i) rows.push_back(model.row(i));
  const auto same = [](const FileRow& a, const FileRow& b) { return a.image == b.image && a.columns == b.columns; };
  mirroringList_ = true;
  if (rows.size() != shownRows_.size() || !std::equal(rows.begin(), rows.end(), shownRows_.begin(), same)) {
    list_->Freeze();
    list_->DeleteAllItems();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const long at = list_->InsertItem(static_cast<long>(i),
                                        wxString::FromUTF8(displayText(rows[i].columns[kColName])),
                                        rows[i].image);
      for (int c = 1; c < kFileColumns; ++c)
        list_->SetItem(
            at, c, wxString::FromUTF8(displayText(rows[i].columns[static_cast<std::size_t>(c)])));
    }
    list_->Thaw();
    shownRows_ = std::move(rows);
  }
  for (std::size_t i = 0; i < count; ++i) {
    const bool want = model.selected(i);
    const long row = static_cast<long>(i);
    if ((list_->GetItemState(row, wxLIST_STATE_SELECTED) != 0) != want)
      list_->SetItemState(row, want ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
  }
  mirroringList_ = false;
}

void MainWindow::listSelectionChanged(long row, bool selected) {
  if (mirroringList_ || !resultColumns_ || row < 0) return;
  listCursor_ = static_cast<int>(row);
  treeActive_ = 0;
  if (wizardPage_ == WizardPage::Results && recoveryMode_ == kModeQuick && focusContext_ == 0) focusContext_ = 8;
  mirroringList_ = true;
  fileList_.select(static_cast<std::size_t>(row), selected);
  mirroringList_ = false;
}

void MainWindow::listKey(int key) {
  const int last = list_->GetItemCount() - 1;
  switch (key) {
    case WXK_HOME: listCursor_ = 0; break;
    case WXK_END: listCursor_ = last; break;
    case WXK_UP:
      if (listCursor_ > 0) --listCursor_;
      break;
    case WXK_DOWN:
      if (listCursor_ < last) ++listCursor_;
      break;
    default: break;
  }
}

void MainWindow::rightClickList(long row, const wxPoint& at) {
  treeActive_ = 0;
  if (wizardPage_ != WizardPage::Results) return;
  // A click on no row leaves no row selected, as a left click there does.
  if (row < 0) fileList_.selectAll(false);
  if (fileList_.selectedCount() == 0) return;
  wxMenu menu;
  menu.Append(menuItemId(id::kPopupSave), "Save");
  if (popup(*list_, menu, at) != menuItemId(id::kPopupSave)) return;
  command(id::kPopupSave);
}

int MainWindow::popup(wxWindow& window, wxMenu& menu, const wxPoint& at) {
  if (options_.popupMenu) return options_.popupMenu(window, menu, at);
  return window.GetPopupMenuSelectionFromUser(menu, at);
}

void MainWindow::openListItem(long row) {
  FileListModel& list = fileList_;
  if (row < 0 || static_cast<std::size_t>(row) >= list.size()) return;
  const FileRow listed = list.row(static_cast<std::size_t>(row));
  const ListItem item = parseListItem(listed);
  TreeModel& tree = scan_->folderTree;
  if (item.isFolder) {
    const TreeItem folder = item.treeItem;
    if (!tree.exists(folder)) return;
    const TreeItem parent = tree.parent(folder);
    if (parent != kNoItem) tree.expand(parent);
    tree.expand(folder);
    if (parent != kNoItem && parent != tree.root()) tree.setImages(parent, kImageClosedFolder, kImageClosedFolder);
    tree.setImages(folder, kImageOpenFolder, kImageOpenFolder);
    // The tree shows the folder opened (the selection makes it visible).
    tree.select(folder);
    currentFolderItem_ = folder;
    lastSelectedItem_ = folder;
    setText(control::kCurrentFolder, itemPath(tree, folder));
    fillFileList(folder);
    listCursor_ = 0;
  } else if (item.isFile) {
    saveAndOpenFile(listed);
  }
}

void MainWindow::saveAndOpenFile(const FileRow& row) {
  const ListItem item = parseListItem(row);
  // Into the log-file folder, quietly: no filters, no questions, no progress.
  std::string folder = fieldText(id::kLogPath);
  if (folder.empty()) folder = platform::tempFolder();
  if (folder.back() != '/') folder += '/';
  const std::string path = folder + safeComponent(item.name);
  Session& s = *session_;
  SaveJob job(*scan_);
  bool saved = false;
  {
    wxBusyCursor busy;
    if (scan_->fileSystem() == FileSystem::Ntfs)
      saved = saveNtfsFile(s, job, path, item.name, item.size, item.location, false, item.deleted);
    else if (isFat(scan_->fileSystem()))
      saved = saveFatFile(s, job, path, item.name, static_cast<std::uint32_t>(item.size), item.location, false,
                          item.deleted);
  }
  if (!saved) return;
  if (options_.openFile)
    options_.openFile(path);
  else
    openSavedFile(path);
}

// ------------------------------------------------------------------ keyboard

void MainWindow::onCharHook(wxKeyEvent& event) {
  switch (event.GetKeyCode()) {
    case WXK_F6: {
      wxWindow* tree = wizardPage_ == WizardPage::Disk ? static_cast<wxWindow*>(diskTreeCtrl_)
                       : wizardPage_ == WizardPage::Partition ? static_cast<wxWindow*>(partitionTreeCtrl_)
                                          : static_cast<wxWindow*>(folderTreeCtrl_);
      if (tree->IsShown()) tree->SetFocus();
      if (wizardPage_ == WizardPage::Results) treeActive_ = 1;
      return;
    }
    case WXK_F7:
      list_->SetFocus();
      if (list_->GetItemCount() > 0) list_->SetItemState(0, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
      return;
    case WXK_LEFT:
    case WXK_RIGHT:
      treeClicked_ = 0;
      break;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
      // Enter in the folder tree lists the folder selected.
      if (wizardPage_ == WizardPage::Results && focusContext_ != 4 && treeActive_ == 1 && wxWindow::FindFocus() == folderTreeCtrl_) {
        if (const TreeItem item = selectedFolder(); item != kNoItem) selectFolder(item);
      }
      break;
    default:
      break;
  }
  event.Skip();
}

}  // namespace tessaly::wizard
