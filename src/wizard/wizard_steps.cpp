// The wizard's pages: the disk page (0), the partition page (1), what Next validates on
// each and what Back undoes.
#include "diskfacts/disk_facts_key.h"
#include "disk/disk_enumeration.h"
#include "fat/catalogue.h"
#include "fat/quick_scan.h"
#include "partition/partition_walk.h"
#include "partition/volume.h"
#include "platform/paths.h"
#include "wizard/artwork.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"
#include "wizard/tree_mirror.h"

namespace tessaly::wizard {

namespace {

// Controls of the disk page besides the disk tree.
constexpr int kDiskPageControls[] = {control::kDiskTree, id::kSelectDiskBox, id::kRecoveryModesBox,
                                     id::kQuick, id::kAdvanced, id::kRaw, id::kLogPathLabel,
                                     id::kLogPath};
constexpr int kPartitionPageControls[] = {
    id::kPartitionTree, id::kPartitionTypeLabel, id::kPartitionType, id::kModeField,
    id::kStartSectorLabel, id::kStartSector, id::kEndSectorLabel, id::kEndSector,
    id::kSearchEntireDisk, id::kSearchMorePartitions};
constexpr int kRawPageControls[] = {id::kRawFileTypesLabel, id::kRawEntireDisk, id::kRawSectorRange,
                                    id::kRawStart, id::kRawEnd, id::kStartRecovery, id::kRawProgress,
                                    id::kRawFilesRecovered, id::kRawFileTypes, id::kRawMethodLabel,
                                    id::kRawStatus};

std::vector<std::string> rowTexts(const std::vector<InfoRow>& rows) {
  std::vector<std::string> texts;
  for (const InfoRow& row : rows) texts.push_back(row.text());
  return texts;
}

}  // namespace

// ------------------------------------------------------------------ pages

void MainWindow::showDiskPage() {
  showPartitionPage(false);
  showScanPage(false);
  for (int raw : kRawPageControls) show(raw, false);
  for (int id : kDiskPageControls) show(id, true);
  for (wxStaticText* hint : modeHints_) hint->Show();
  placeInformationList(270, 49, 213, 128);
  list_->Show();
}

void MainWindow::hideDiskPage() {
  for (int id : kDiskPageControls) show(id, false);
  for (wxStaticText* hint : modeHints_) hint->Hide();
}

void MainWindow::showPartitionPage(bool visible) {
  for (int id : kPartitionPageControls) show(id, visible);
  show(id::kPartitionSearchProgress, false);
  show(id::kPartitionSearchText, false);
  if (visible) {
    for (int id : kDiskPageControls) show(id, false);
    for (wxStaticText* hint : modeHints_) hint->Hide();
    placeInformationList(290, 37, 199, 146);
  }
}

void MainWindow::showScanPage(bool visible) {
  showRange(id::kSummaryFirst, id::kSummaryLast, visible);
  show(control::kStatusLine, visible);
  show(control::kScanProgress, visible);
  if (!visible) show(control::kStopSearching, false);
  if (visible) placeInformationList(290, 37, 199, 146);
}

void MainWindow::treeItemClicked(int treeId, TreeItem item) {
  if (treeId == control::kDiskTree)
    diskClicked(item);
  else if (treeId == id::kPartitionTree)
    partitionClicked(item);
  else if (treeId == id::kFolderTree)
    folderClicked(item);
  else if (treeId == id::kFileSystemTree)
    fileSystemClicked(item);
}

void MainWindow::clickTreeItem(int treeId, TreeItem item) {
  TreeMirror* mirror = treeId == control::kDiskTree      ? diskMirror_.get()
                       : treeId == id::kPartitionTree  ? partitionMirror_.get()
                       : treeId == id::kFileSystemTree ? fileSystemMirror_.get()
                                                       : folderMirror_.get();
  if (treeId == id::kFolderTree && wizardPage_ == WizardPage::Results) {
    treeClicked_ = 1;
    treeActive_ = 1;
  }
  mirror->model().select(item);
  treeItemClicked(treeId, item);
}

// ------------------------------------------------------------------ disk page

void MainWindow::diskClicked(TreeItem item) {
  if (wizardPage_ != WizardPage::Disk || item == kNoItem || item == diskTree_.root()) return;
  const std::string text = diskTree_.text(item);
  if (text.empty()) return;
  session_->selectedDiskName = text;
  const int disk = diskNumberOf(text);
  if (disk >= 0) {
    session_->selectedDisk = static_cast<std::uint16_t>(disk);
    std::vector<std::string> rows;
    for (const DiskFactsRow& row : diskFactsRows(*session_, static_cast<unsigned>(disk)))
      rows.push_back(row.text());
    setInformationRows(rows);
    enable(id::kQuick, true);
    enable(id::kAdvanced, true);
    enable(id::kRaw, true);
  } else {
    setInformationRows({});
    enable(id::kQuick, true);
    enable(id::kAdvanced, false);
    enable(id::kRaw, false);
  }
  setPicture(artwork::kStep2);
  setHelp(help::kProceed);
}

void MainWindow::modeChosen(int mode) {
  if (wizardPage_ != WizardPage::Disk) return;
  recoveryMode_ = mode;
  const int radio = mode == kModeQuick ? id::kQuick : mode == kModeAdvanced ? id::kAdvanced : id::kRaw;
  static_cast<wxRadioButton*>(control(radio))->SetValue(true);
  enable(id::kNext, true);
  setHelp(help::kModeChosen);
}

void MainWindow::next() {
  if (workerRunning()) return;
  if (wizardPage_ == WizardPage::Disk) {
    if (session_->selectedDiskName.empty()) return;
    if (session_->floppySelected())
      nextWithFloppy();
    else
      nextOnDiskPage();
  } else if (wizardPage_ == WizardPage::Partition) {
    nextOnPartitionPage();
  } else if (wizardPage_ == WizardPage::Scan && recoveryMode_ == kModeAdvanced) {
    startChosenFileSystem();
  }
}

void MainWindow::nextOnDiskPage() {
  const bool raw = static_cast<wxRadioButton*>(control(id::kRaw))->GetValue();
  if (raw) recoveryMode_ = kModeRaw;
  if (recoveryMode_ != kModeQuick && recoveryMode_ != kModeAdvanced && recoveryMode_ != kModeRaw) return;
  if (recoveryMode_ != kModeRaw) enableMenu(id::kMenuLoadLog, true);
  logPath_ = fieldText(id::kLogPath);
  if (logPath_.empty()) {
    logPath_ = platform::tempFolder();
    setText(id::kLogPath, logPath_);
  }
  show(control::kDiskTree, false);
  enable(id::kBack, true);
  enable(id::kSearchMorePartitions, true);
  setPicture(artwork::kStep4);
  session_->partitionSelection.partitionIndex = 0;
  if (recoveryMode_ == kModeRaw) {
    const int disk = diskNumberOf(session_->selectedDiskName);
    session_->selectedDisk = static_cast<std::uint16_t>(disk < 0 ? 0 : disk);
    setUpRawPage();
    return;
  }
  setUpPartitionPage();
}

void MainWindow::nextWithFloppy() {
  if (!session_->devices.open(platform::DeviceTable::floppyName())) {
    // No diskette: back to the tree, nothing chosen.
    focus(control::kDiskTree);
    diskTree_.select(diskTree_.root());
    uncheckModes();
    return;
  }
  recoveryMode_ = kModeQuick;
  PartitionSelection& sel = session_->partitionSelection;
  sel.fileSystem = FileSystem::Fat12;
  sel.searchMode = "Quick Mode";
  sel.firstSector = 0;
  sel.lastSector = 2880;
  sel.diskNumber = 0;
  for (int id : kDiskPageControls) show(id, false);
  for (wxStaticText* hint : modeHints_) hint->Hide();
  setText(id::kSelectedDisk, session_->selectedDiskName);
  setText(id::kRange, "0 - 2880");
  setText(id::kFileSystem, "FAT12");
  setText(id::kSelectedMode, sel.searchMode);
  setPicture(artwork::kStep5);
  wizardPage_ = WizardPage::Results;
  newScan();
  startScan();
}

// ------------------------------------------------------------------ partition page

void MainWindow::setUpPartitionPage() {
  const int disk = diskNumberOf(session_->selectedDiskName);
  session_->selectedDisk = static_cast<std::uint16_t>(disk < 0 ? 0 : disk);
  // For a recovery log only the disk is taken: the log names its partition.
  if (loadingLog_) return;
  partitionTree_.clear();
  const TreeItem root =
      partitionTree_.insert(kNoItem, "Disk " + std::to_string(session_->selectedDisk),
                            kImageDisk, kImageDisk);
  walkPartitionTable(*session_, partitionTree_, 0);
  partitionTree_.expand(root);
  // The result tree, hidden until a scan fills it.
  resetResults(*scan_);

  fileSystemTree_.clear();
  fileSystemTree_.insert(kNoItem, "File Systems", kImageDisk, kImageDisk);

  showPartitionPage(true);
  enable(id::kLoadLogButton, true);
  enable(id::kSaveLogButton, false);
  fillPartitionPage(0);
  if (recoveryMode_ == kModeAdvanced) {
    showAdvancedPartitionPage();
    setText(id::kModeField, "Advance");
  } else {
    // Quick mode: the range comes from the partition; the type list is kept but hidden.
    show(id::kPartitionType, false);
    show(id::kPartitionTypeLabel, false);
    for (int id : {id::kStartSectorLabel, id::kStartSector, id::kEndSectorLabel, id::kEndSector})
      enable(id, false);
  }
  setHelp(help::kPartitionPage);
  wizardPage_ = WizardPage::Partition;
  focus(id::kPartitionTree);
  if (session_->firstPartitionItem != kNoItem) partitionTree_.select(session_->firstPartitionItem);
}

void MainWindow::fillPartitionPage(std::size_t index) {
  const DiskPartitionList& list = session_->partitionLists[session_->selectedDisk];
  chosenPartition_ = static_cast<int>(index);
  const PartitionEntry& entry = list.entries[index];
  const FileSystem fs = list.fileSystems[std::min<std::size_t>(index, DiskPartitionList::kMaxNames - 1)];
  const std::string type(fileSystemName(fs));
  setText(id::kModeField, "Quick Mode");
  setText(id::kStartSector, std::to_string(entry.startSector));
  setText(id::kEndSector, std::to_string(entry.endSector));
  typeList_->SetSelection(typeIndexOf(fs));
  if (recoveryMode_ == kModeAdvanced) {
    setText(id::kModeField, "Advance Mode");
    setInformationRows({"Partition Number : " + std::to_string(index + 1), "Search Mode : Advance"});
    return;
  }
  setInformationRows(rowTexts(quickPartitionRows(session_->selectedDisk,
                                                 static_cast<unsigned>(index + 1), type,
                                                 entry.startSector, entry.endSector)));
}

void MainWindow::partitionClicked(TreeItem item) {
  if (wizardPage_ != WizardPage::Partition || item == kNoItem || item == partitionTree_.root()) return;
  const DiskPartitionList& list = session_->partitionLists[session_->selectedDisk];
  for (int i = 0; i < list.count; ++i) {
    if (list.entries[static_cast<std::size_t>(i)].treeItem != item) continue;
    session_->partitionSelection.partitionIndex = static_cast<std::uint32_t>(i);
    fillPartitionPage(static_cast<std::size_t>(i));
    return;
  }
}

void MainWindow::searchEntireDisk() {
  if (wizardPage_ != WizardPage::Partition) return;
  const bool checked = static_cast<wxCheckBox*>(control(id::kSearchEntireDisk))->GetValue();
  if (checked) {
    enable(id::kSearchMorePartitions, false);
    enable(id::kPartitionTree, false);
    const std::string size = session_->registry.readString(
        diskfacts::kSizeKey, diskfacts::diskValueName(session_->selectedDisk));
    std::uint64_t bytes = 0;
    for (char c : size) {
      if (c < '0' || c > '9') break;
      bytes = bytes * 10 + static_cast<std::uint64_t>(c - '0');
    }
    setText(id::kStartSector, "0");
    setText(id::kEndSector, std::to_string(bytes / 512));
    enable(id::kStartSector, false);
    enable(id::kEndSector, false);
  } else {
    for (int id : {id::kSearchMorePartitions, id::kPartitionTree, id::kStartSector,
                   id::kEndSector, id::kPartitionType})
      enable(id, true);
    session_->partitionSelection.partitionIndex = 0;
    fillPartitionPage(0);
    focus(id::kPartitionTree);
    if (session_->firstPartitionItem != kNoItem) partitionTree_.select(session_->firstPartitionItem);
  }
  entireDiskSelected_ = checked;
}

void MainWindow::nextOnPartitionPage() {
  loadingLog_ = 0;
  // Whatever an earlier scan left is discarded first.
  releaseScanState(*scan_);

  RangeInput input;
  input.typeIndex = typeList_->GetSelection();
  input.startText = fieldText(id::kStartSector);
  input.endText = fieldText(id::kEndSector);
  input.entireDisk = entireDiskSelected_;
  if (input.entireDisk) {
    const std::string size = session_->registry.readString(
        diskfacts::kSizeKey, diskfacts::diskValueName(session_->selectedDisk));
    for (char c : size) {
      if (c < '0' || c > '9') break;
      input.diskSizeBytes = input.diskSizeBytes * 10 + static_cast<std::uint64_t>(c - '0');
    }
  }
  const RangeResult range = checkRange(input);
  if (range.refusal) {
    session_->messageBox(session_->text(*range.refusal), MessageButtons::Ok, MessageIcon::Error);
    return;
  }

  PartitionSelection& sel = session_->partitionSelection;
  sel.fileSystem = typeOfIndex(input.typeIndex);
  const std::string fsName(fileSystemName(sel.fileSystem));
  sel.firstSector = static_cast<std::uint32_t>(range.start);
  sel.lastSector = static_cast<std::uint32_t>(range.last);
  sel.searchMode = fieldText(id::kModeField);
  sel.diskNumber = session_->selectedDisk;
  sel.selectedDisk = session_->selectedDisk;

  showPartitionPage(false);
  setInformationRows(rowTexts(scanRangeRows(session_->selectedDisk, sel.partitionIndex + 1,
                                            fsName, range.start, range.last,
                                            sel.searchMode)));
  setText(id::kSelectedDisk, session_->selectedDiskName);
  setText(id::kRange, std::to_string(range.start) + " - " + std::to_string(range.last));
  setText(id::kFileSystem, fsName);
  setText(id::kSelectedMode, sel.searchMode);
  enableMenu(id::kMenuSaveLog, false);
  enableMenu(id::kMenuLoadLog, false);
  enable(id::kLoadLogButton, false);
  enable(id::kSaveLogButton, false);

  newScan();
  if (recoveryMode_ == kModeQuick) {
    setPicture(artwork::kStep5);
    if (sel.fileSystem == FileSystem::Ntfs) {
      scan_->volume.mftStart = 0;
      scan_->volume.mftMirrorStart = 0;
      if (!validatePartition(*session_, *scan_))
        session_->messageBox(session_->text(msg::kNeedsAdvancedMode), MessageButtons::Ok,
                             MessageIcon::Information);
    } else {
      validatePartition(*session_, *scan_);
    }
  }
  wizardPage_ = WizardPage::Scan;
  setPicture(artwork::kStep5);
  enable(control::kStopSearching, true);
  show(control::kStopSearching, true);
  focus(control::kStopSearching);
  startScan();
}

// ------------------------------------------------------------------ Back

void MainWindow::tearDownResults() {
  show(id::kFolderTree, false);
  show(control::kCurrentFolderLabel, false);
  show(control::kCurrentFolder, false);
  setText(control::kCurrentFolder, "");
  showScanPage(false);
  scan_->folderTree.clear();
  resetInformationList();
  resetResultsView();
}

void MainWindow::back() {
  if (workerRunning()) return;
  if (wizardPage_ <= WizardPage::Disk) return;
  if (wizardPage_ == WizardPage::Results && !recoverySaved_) {
    if (session_->messageBox(session_->text(msg::kSaveRecoveryQuestion),
                             MessageButtons::YesNo, MessageIcon::Question) == kIdYes)
      saveRecoveryLog();
  }
  for (int id : {id::kSelectAllButton, id::kUnselectAllButton, id::kSaveFilesButton})
    enable(id, false);
  for (int item : {id::kMenuSelectAll, id::kMenuSave, id::kMenuDirectoryView, id::kMenuDirectoryPrint})
    enableMenu(item, false);

  auto toDiskPage = [this] {
    showDiskPage();
    setPicture(artwork::kStep1);
    resetInformationList();
    enableMenu(id::kMenuSaveLog, false);
    recoveryMode_ = kModeNone;
    uncheckModes();
    for (int id : {id::kQuick, id::kAdvanced, id::kRaw, id::kBack, id::kNext}) enable(id, false);
    setHelpText("");
    wizardPage_ = WizardPage::Disk;
  };

  if (session_->floppySelected()) {
    entireDiskSelected_ = false;
    tearDownResults();
    toDiskPage();
    focus(control::kDiskTree);
    diskTree_.select(diskTree_.root());
    session_->selectedDiskName.clear();
  } else if (wizardPage_ == WizardPage::Partition) {
    releaseScanState(*scan_);
    static_cast<wxCheckBox*>(control(id::kSearchEntireDisk))->SetValue(false);
    entireDiskSelected_ = false;
    for (int raw : kRawPageControls) show(raw, false);
    toDiskPage();
    enableMenu(id::kMenuLoadLog, true);
    focus(control::kDiskTree);
    diskTree_.select(diskTree_.root());
    session_->selectedDiskName.clear();
    focusContext_ = 1;
  } else if (recoveryMode_ == kModeAdvanced && wizardPage_ == WizardPage::Results && !loadingLog_) {
    // Another file system of the same search can be chosen.
    backToFileSystemPage();
  } else {
    setHelp(help::kPartitionPage);
    show(id::kFileSystemTree, false);
    tearDownResults();
    // The results of a recovery log loaded from the disk page had no partition page
    // before them: it is made now.
    if (loadingLog_) {
      loadingLog_ = 0;
      chosenPartition_ = 0;
      setUpPartitionPage();
    }
    // The partition page comes back as it was left; Quick mode has no page of its own
    // between the partition page and the results, so the wizard is on page 1 again.
    showPartitionPage(true);
    fillPartitionPage(static_cast<std::size_t>(chosenPartition_));
    if (recoveryMode_ == kModeAdvanced) {
      showAdvancedPartitionPage();
    } else {
      show(id::kPartitionType, false);
      show(id::kPartitionTypeLabel, false);
    }
    setPicture(artwork::kStep4);
    enable(id::kBack, true);
    enable(id::kNext, true);
    enableMenu(id::kMenuSaveLog, false);
    enable(id::kSaveLogButton, false);
    enable(id::kLoadLogButton, true);
    wizardPage_ = WizardPage::Partition;
  }
}

}  // namespace tessaly::wizard
