// The save and select commands: what a save takes (the checked folders of the tree or
// the rows of the file list), the File Saving and Saving dialogs they lead through, the
// Settings dialog, and Select All / Unselect All.
#include <chrono>
#include <thread>

#include "save/save_job.h"
#include "session/safe_text.h"
#include "wizard/dialogs.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"
#include "wizard/tree_mirror.h"

namespace tessaly::wizard {

namespace {

// What the end of a save says about files saved with bytes that could not be read or
// decompressed, and about streams saved under other names.
std::string incompleteFilesText(const SaveOutcome& outcome) {
  const int count = outcome.filesIncomplete;
  if (count == 0)
    return outcome.streamsRenamed
               ? "Named streams were saved as NAME_STREAM: the destination does not take ':' in names."
               : "";
  std::string text =
      std::to_string(count) + (count == 1 ? " file was" : " files were") +
      " saved incomplete: parts of them could not be read from the disk and hold zeros.\n";
  int listed = 0;
  for (const FileNote& note : outcome.notes()) {
    if (note.outcome != FileOutcome::Incomplete && note.outcome != FileOutcome::Damaged) continue;
    if (++listed > 10) {
      text += "...\n";
      break;
    }
    std::uint64_t missing = 0;
    for (const ByteRange& r : note.missingBytes) missing += r.length;
    text += "\n" + displayText(note.path) + " (" + std::to_string(missing) +
            (note.outcome == FileOutcome::Damaged ? " bytes did not decompress)" : " bytes missing)");
  }
  if (outcome.streamsRenamed)
    text += "\nNamed streams were saved as NAME_STREAM: the destination does not take ':' in names.";
  return text;
}

}  // namespace

void MainWindow::chooseSaveSource() {
  saveSource_ = allFilesSelected_ == 1 || fileList_.selectedCount() > 1 ? SaveSource::FileList
                                                                         : SaveSource::CheckedFolders;
}

void MainWindow::startSave() {
  if (saving_) return;
  askDestination();
  if (!destination_.empty()) runSavingDialog();
}

void MainWindow::askDestination() {
  const bool settings = recoveryMode_ != kModeRaw && saveSource_ != SaveSource::CheckedFolders;
  FileSavingDialog dialog(this, *session_, *this, destination_, settings,
                          [this](wxWindow* over) { openSaveSettings(over); });
  dialog.ShowModal();
}

void MainWindow::openSaveSettings(wxWindow* parent) {
  if (saving_) return;
  if (!saveSettings_) saveSettings_ = std::make_unique<SaveSettings>(saveOptions_);
  SettingsDialog dialog(parent ? parent : this, *session_, *saveSettings_, *this);
  dialog.ShowModal();
}

void MainWindow::runSavingDialog() {
  // What a save must not meet: another save, a log being written, a changed selection.
  const bool menuWasEnabled[] = {GetMenuBar()->IsEnabled(menuItemId(id::kMenuSave)),
                                 GetMenuBar()->IsEnabled(menuItemId(id::kMenuSelectAll)),
                                 GetMenuBar()->IsEnabled(menuItemId(id::kMenuSaveLog))};
  const int menus[] = {id::kMenuSave, id::kMenuSelectAll, id::kMenuSaveLog};
  const int controls[] = {id::kFolderTree, control::kInformationList, id::kBack, id::kSaveFilesButton,
                          id::kSaveLogButton};
  bool controlWasEnabled[std::size(controls)];
  queue_->flush();
  for (std::size_t i = 0; i < std::size(controls); ++i) {
    controlWasEnabled[i] = control(controls[i])->IsEnabled();
    enable(controls[i], false);
  }
  for (int menu : menus) enableMenu(menu, false);

  saving_ = true;
  std::string error, incomplete;
  {
    // One save: the options, source and destination chosen now, on the current scan.
    saveJob_.reset();
    saveScan_ = scan_;
    saveJob_ = std::make_unique<SaveJob>(*saveScan_);
    SaveJob& job = *saveJob_;
    job.source = saveSource_;
    job.fileList = &fileList_;
    job.options = saveOptions_;
    job.destinationFolder = destination_;
    job.progressIntervalMs = saveProgressIntervalMs_;
    SavingDialog dialog(this, *session_, job, *this);
    dialog.ShowModal();
    error = dialog.error();
    incomplete = incompleteFilesText(job.outcome);
    // The File Saving dialog offers the folder as the save left it (the tree's walk ends
    // it with a separator).
    destination_ = job.destinationFolder;
  }
  saving_ = false;
  queue_->flush();

  for (std::size_t i = 0; i < std::size(controls); ++i) enable(controls[i], controlWasEnabled[i]);
  for (std::size_t i = 0; i < std::size(menus); ++i) enableMenu(menus[i], menuWasEnabled[i]);
  if (!error.empty())
    session_->messageBox("The save ended with an error: " + error, MessageButtons::Ok, MessageIcon::Error);
  if (!incomplete.empty())
    session_->messageBox(incomplete, MessageButtons::Ok, MessageIcon::Warning);
}

void MainWindow::selectAllFiles() {
  if (wizardPage_ < WizardPage::Scan) return;
  FileListModel& list = fileList_;
  const bool rows = list.size() > 0;
  if (rows) allFilesSelected_ = 1;
  saveSource_ = SaveSource::FileList;
  list.selectAll(true);
  if (rows) {
    list_->SetFocus();
    treeActive_ = 0;
    list_->SetItemState(0, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
  }
}

void MainWindow::unselectAllFiles() { fileList_.selectAll(false); }

void MainWindow::returnFocus() {
  // The element the user worked in before pressing a picture button.
  if (focusContext_ == 8)
    list_->SetFocus();
  else if (wizardPage_ == WizardPage::Results && folderTreeCtrl_->IsShown())
    folderTreeCtrl_->SetFocus();
}

// ------------------------------------------------------------------ DialogHost

void MainWindow::attachControl(int id, wxWindow* window) { controls_[id] = window; }

void MainWindow::detachControl(int id) { controls_.erase(id); }

void MainWindow::afterUpdates(std::function<void()> call) {
  UiOp op;
  op.call = std::move(call);
  queue_->post(std::move(op));
}

void MainWindow::dialogReady(wxDialog& dialog, int templateNumber) {
  if (options_.dialogReady) options_.dialogReady(dialog, templateNumber);
}

void MainWindow::waitUntil(const std::function<bool()>& done) {
  while (!done()) {
    if (ownDialogs_) ownDialogs_->serviceRequests();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace tessaly::wizard
