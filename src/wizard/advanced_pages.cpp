// The Advanced FAT path of the wizard: the partition page with its range and type, the
// file-system page that lists the file systems the search found with the summary of the
// one clicked, the file-system thread that builds the chosen one's tree, and Back from
// its results to choose another.
#include "disk/disk_enumeration.h"
#include "fat/file_system_search.h"
#include "fat/quick_scan.h"
#include "recovery/advanced_scan.h"
#include "wizard/artwork.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"
#include "wizard/tree_mirror.h"

namespace tessaly::wizard {

namespace {
// The file-system items' picture.
constexpr int kImageFileSystem = 0;
const std::vector<std::string> kClickNext = {"   Click on Next Button to Proceed..."};
const std::vector<std::string> kSelectToSave = {"   Select File(s) / Folder(s) to save"};
}  // namespace

void MainWindow::showAdvancedPartitionPage() {
  // The range and its type are the user's to set.
  for (int id : {id::kPartitionTypeLabel, id::kPartitionType, id::kStartSectorLabel,
                 id::kStartSector, id::kEndSectorLabel, id::kEndSector}) {
    show(id, true);
    enable(id, true);
  }
}

void MainWindow::fillFileSystemTree() {
  fileSystemTree_.clear();
  const TreeItem root = fileSystemTree_.insert(kNoItem, "File Systems", kImageDisk, kImageDisk);
  firstFileSystemItem_ = kNoItem;
  const FileSystemList& list = scan_->fileSystems;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const TreeItem item = fileSystemTree_.insert(root, fileSystemItemText(i, list[i]),
                                                 kImageFileSystem, kImageFileSystem);
    if (firstFileSystemItem_ == kNoItem) firstFileSystemItem_ = item;
  }
  fileSystemTree_.expand(root);
}

void MainWindow::showFileSystemSummary(std::size_t index) {
  chosenFileSystem_ = index;
  if (index >= scan_->fileSystems.size()) {
    setInformationRows({});
    return;
  }
  setInformationRows(fileSystemSummaryRows(index, scan_->fileSystems[index]));
}

void MainWindow::resultsOfAdvancedSearch(const ScanOutcome& outcome) {
  enable(control::kStopSearching, false);
  show(control::kStopSearching, false);
  show(id::kPartitionTree, false);
  if (!outcome.scanned) {
    // A type whose Advanced search this version does not have: the user goes back.
    if (!outcome.ended)
      notAvailableYet("The Advanced mode of " +
                      std::string(fileSystemName(session_->partitionSelection.fileSystem)));
    enable(id::kBack, true);
    focus(id::kBack);
    return;
  }
  const bool found = !scan_->fileSystems.empty();
  if (!found) {
    enable(id::kNext, false);
    session_->messageBox(session_->text(msg::kNoFileSystemIdentified), MessageButtons::Ok,
                         MessageIcon::Error);
    focus(id::kBack);
    focusContext_ = 4;
  }
  fillFileSystemTree();
  show(id::kFileSystemTree, true);
  if (found) {
    focus(id::kFileSystemTree);
    fileSystemTree_.select(firstFileSystemItem_);
  }
  showRange(id::kSummaryFirst, id::kSummaryLast, false);
  placeInformationList(268, 37, 221, 206);
  show(control::kInformationList, true);
  resetInformationList();
  list_->SetTextColour(*wxBLACK);
  enable(id::kBack, true);
  enable(id::kNext, found);
  show(control::kScanProgress, false);
  show(control::kStatusLine, false);
  showFileSystemSummary(0);
  if (found) {
    setHelp(kClickNext);
    focusContext_ = 0;
  }
  writeReport(session_->partitionSelection.fileSystem == FileSystem::Ntfs ? ReportOccasion::AdvancedNtfsFinished
                                                                         : ReportOccasion::AdvancedFatFinished);
  wizardPage_ = WizardPage::Scan;
  setPicture(artwork::kStep6);
}

void MainWindow::fileSystemClicked(TreeItem item) {
  if (wizardPage_ != WizardPage::Scan || recoveryMode_ != kModeAdvanced || workerRunning()) return;
  const FileSystem selection = session_->partitionSelection.fileSystem;
  const auto n = fileSystemNumberOfItem(fileSystemTree_.text(item), isFat(selection));
  if (!n || *n < 1 || *n > scan_->fileSystems.size()) return;
  showFileSystemSummary(*n - 1);
  setHelp(kClickNext);
}

void MainWindow::startChosenFileSystem() {
  if (chosenFileSystem_ >= scan_->fileSystems.size()) return;
  enable(id::kFolderTree, false);
  enable(id::kBack, false);
  enable(id::kNext, false);
  show(id::kFileSystemTree, false);
  show(id::kFolderTree, true);
  wizardPage_ = WizardPage::Results;
  wxBeginBusyCursor();
  session_->worker.reset();
  const std::size_t chosen = chosenFileSystem_;
  const std::shared_ptr<ScanState> current = scan_;
  startWorker([this, chosen, current](ScanOutcome& outcome) {
    outcome.fileSystemPrepared = true;
    outcome.scanned = prepareChosen(*session_, *current, chosen);
  });
}

void MainWindow::resultsOfChosenFileSystem() {
  wxEndBusyCursor();
  showResultsControls();
  enable(id::kFolderTree, true);
  enable(control::kInformationList, true);
  focus(id::kBack);
  setPicture(artwork::kStep7);
  setHelp(kSelectToSave);
  focusContext_ = 0;
  for (int item :
       {id::kMenuSelectAll, id::kMenuSave, id::kMenuDirectoryView, id::kMenuDirectoryPrint})
    enableMenu(item, true);
  for (int id : {id::kSaveFilesButton, id::kSelectAllButton, id::kUnselectAllButton})
    enable(id, true);
}

void MainWindow::backToFileSystemPage() {
  show(id::kFolderTree, false);
  show(control::kCurrentFolderLabel, false);
  show(control::kCurrentFolder, false);
  setText(control::kCurrentFolder, "");
  resetResultsView();
  resetResults(*scan_);
  show(id::kFileSystemTree, true);
  placeInformationList(268, 37, 221, 206);
  resetInformationList();
  showFileSystemSummary(chosenFileSystem_);
  enable(id::kBack, true);
  enable(id::kNext, true);
  focus(id::kFileSystemTree);
  setHelp(kClickNext);
  setPicture(artwork::kStep6);
  wizardPage_ = WizardPage::Scan;
}

}  // namespace tessaly::wizard
