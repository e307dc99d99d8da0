// The recovery log commands: Save Log writes the result shown into a ".SAV" file, Load
// Log puts a saved result in place of a scan and shows its results page, and what the
// wizard shows again when loading is cancelled or refused.
#include "platform/paths.h"
#include "platform/process.h"
#include "recovery/log_file.h"
#include "wizard/artwork.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"

namespace tessaly::wizard {

namespace {

constexpr const char* kFirstSelectHardDisk = "First Select Hard Disk";

}  // namespace

void MainWindow::saveLogCommand(bool button) {
  if (button) {
    if (recoveryMode_ == kModeRaw) {
      session_->messageBox(session_->text(msg::kNotInRawMode), MessageButtons::Ok,
                           MessageIcon::Error);
      return;
    }
    if (wizardPage_ != WizardPage::Results) return;
  }
  saveRecoveryLog();
}

void MainWindow::saveRecoveryLog() {
  if (savingLog_ || scanThread_) return;
  savingLog_ = true;
  queue_->flush();
  // Back rests while the log is written, and comes back whichever way the save ends.
  const bool backEnabled = control(id::kBack)->IsEnabled();
  enable(id::kBack, false);
  auto finish = [this, backEnabled] {
    enable(id::kBack, backEnabled);
    savingLog_ = false;
  };
  if (scan_->fileSystem() == FileSystem::Fat12 || session_->floppySelected()) {
    session_->messageBox(session_->text(msg::kNoRecoveryForFloppy), MessageButtons::Ok,
                         MessageIcon::Error);
    finish();
    return;
  }
  const std::string folder = logPath_.empty() ? platform::tempFolder() : logPath_;
  std::string path;
  for (;;) {
    const std::optional<std::string> chosen = session_->dialogs->chooseSaveFile(folder, kLogFilter);
    if (!chosen) {
      finish();
      return;
    }
    const SaveLogName name = saveLogName(*chosen);
    if (!name.validExtension) {
      session_->messageBox(session_->text(msg::kInvalidExtension), MessageButtons::Ok,
                           MessageIcon::Error);
      continue;
    }
    if (name.askOverwrite(platform::fileExists(name.path)) &&
        session_->messageBox(name.path + session_->text(msg::kOverwriteQuestion),
                             MessageButtons::YesNo, MessageIcon::Question) != kIdYes)
      continue;
    path = name.path;
    break;
  }
  LogSaveEnd end;
  {
    wxBusyCursor busy;
    end = saveRecoveryLogFile(*session_, *scan_, recoveryMode_, path);
  }
  if (end == LogSaveEnd::Written) {
    recoverySaved_ = true;
  } else if (end == LogSaveEnd::EmptyCatalogue) {
    session_->messageBox(kEmptyCatalogueMessage, MessageButtons::Ok, MessageIcon::Warning);
  } else if (auto message = logSaveMessage(end)) {
    session_->messageBox(session_->text(*message), MessageButtons::Ok, MessageIcon::Error);
  }
  finish();
}

void MainWindow::loadLogButton() {
  if (recoveryMode_ == kModeRaw) {
    session_->messageBox(session_->text(msg::kNotInRawMode), MessageButtons::Ok,
                         MessageIcon::Error);
    return;
  }
  if (wizardPage_ > WizardPage::Partition) return;
  returnFocus();
  loadLogCommand();
}

void MainWindow::loadLogCommand() {
  if (workerRunning() || wizardPage_ > WizardPage::Partition) return;
  // A log belongs to a hard disk, which must be chosen first.
  if (session_->selectedDiskName.empty() || session_->floppySelected()) {
    session_->messageBox(kFirstSelectHardDisk, MessageButtons::Ok, MessageIcon::None);
    enable(control::kDiskTree, true);
    return;
  }
  show(id::kPartitionTree, false);
  show(id::kFolderTree, false);
  if (wizardPage_ == WizardPage::Disk) {
    // Only the disk is taken from the disk page; the log names the partition.
    loadingLog_ = 1;
    setUpPartitionPage();
    hideDiskPage();
  }
  loadRecoveryLog();
}

void MainWindow::loadRecoveryLog() {
  const std::string folder = logPath_.empty() ? platform::tempFolder() : logPath_;
  const std::optional<std::string> chosen = session_->dialogs->chooseOpenFile(folder, kLogFilter);
  if (!chosen) {
    restoreWizardAfterLoadCancel();
    return;
  }
  LogRead read;
  {
    wxBusyCursor busy;
    read = readRecoveryLogFile(*chosen, session_->currentDiskModel);
  }
  if (read.end != LogLoadEnd::Loaded) {
    // A log that cannot be used changes nothing: the wizard is shown as it was.
    session_->messageBox(session_->text(*logLoadMessage(read.end)), MessageButtons::Ok,
                         MessageIcon::Error);
    restoreWizardAfterLoadCancel();
    return;
  }
  startLogLoad(std::move(read.log));
}

void MainWindow::startLogLoad(RecoveryLog log) {
  enableMenu(id::kMenuLoadLog, false);
  for (int id : {id::kLoadLogButton, id::kBack, id::kNext}) enable(id, false);
  // Whatever mode the log was made in, it is loaded as a finished Quick scan.
  recoveryMode_ = kModeQuick;
  hideDiskPage();
  showPartitionPage(false);
  newScan();
  session_->partitionSelection.selectedDisk = session_->selectedDisk;
  showScanPage(true);
  show(control::kStopSearching, false);
  setText(control::kStatusLine, session_->text(msg::kBuildingFolderTree));
  setProgress(control::kScanProgress, 0);
  setPicture(artwork::kStep5);
  wizardPage_ = WizardPage::Scan;

  auto worker = std::make_unique<ScanWorker>();
  worker->token = ++nextToken_;
  ScanWorker* w = worker.get();
  scanThread_ = std::move(worker);
  session_->worker.reset();
  const std::shared_ptr<ScanState> current = scan_;
  w->thread = std::jthread([this, w, current, log = std::move(log)] {
    ScanOutcome outcome;
    outcome.fromLog = true;
    try {
      tessaly::loadRecoveryLog(*session_, *current, log);
      outcome.scanned = true;
    } catch (const WorkerEnded&) {
      outcome.ended = true;
    } catch (const ProgramExit& exit) {
      outcome.exitCode = exit.code;
    } catch (const std::exception& e) {
      outcome.error = e.what();
    }
    w->outcome = outcome;
    const unsigned token = w->token;
    UiOp done;
    done.call = [this, token] { scanThreadEnded(token); };
    queue_->post(std::move(done));
    w->finished = true;
  });
}

void MainWindow::restoreWizardAfterLoadCancel() {
  show(id::kFolderTree, false);
  if (wizardPage_ != WizardPage::Disk) {
    show(id::kPartitionTree, true);
    wizardPage_ = WizardPage::Partition;
  } else {
    show(control::kDiskTree, true);
    show(id::kPartitionTree, false);
    for (int id : {id::kSelectDiskBox, id::kRecoveryModesBox, id::kLogPathLabel, id::kLogPath})
      show(id, true);
    for (wxStaticText* hint : modeHints_) hint->Show();
    uncheckModes();
    for (int mode : {id::kQuick, id::kAdvanced, id::kRaw}) {
      show(mode, true);
      enable(mode, false);
    }
    enable(id::kBack, false);
    enable(id::kNext, false);
    show(id::kSearchMorePartitions, false);
    recoveryMode_ = kModeNone;
    loadingLog_ = 0;
    wizardPage_ = WizardPage::Disk;
  }
  enableMenu(id::kMenuLoadLog, true);
}

}  // namespace tessaly::wizard
