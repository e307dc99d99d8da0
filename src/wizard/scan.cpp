// The scan thread: the engines of a Quick scan on a worker, what the window shows while
// it runs and how it leaves the window (the results page), and the Stop command.
#include <chrono>
#include <utility>

#include "fat/catalogue.h"
#include "fat/file_system_search.h"
#include "fat/quick_scan.h"
#include "recovery/advanced_scan.h"
#include "recovery/quick_scan.h"
#include "wizard/artwork.h"
#include "wizard/dialogs.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"
#include "wizard/tree_mirror.h"

namespace tessaly::wizard {

namespace {
constexpr const char* kStopQuestion = "Are you sure you want to stop current process.";
}

void MainWindow::newScan() {
  // The results of the scan before go; the tree shows the new scan's from now on. The
  // old scan's files are released only once the tree no longer draws it, and before the
  // new scan writes its own.
  saveJob_.reset();
  saveScan_.reset();
  recoverySaved_ = false;
  auto next = std::make_shared<ScanState>(session_->memoryLimit);
  folderMirror_->attach(next->folderTree);
  fileList_.clear();
  scan_ = std::move(next);
}

void MainWindow::startScan() {
  Session& session = *session_;
  ScanState& scan = *scan_;
  session.worker.reset();
  scan.stopRequested = false;
  resetResults(scan);

  // What the scan thread shows first, done here before it starts.
  enable(id::kBack, false);
  enable(id::kNext, false);
  scan.directoryTable.release();
  if (!session.floppySelected()) {
    enable(control::kStopSearching, true);
    show(control::kStopSearching, true);
  }
  showScanPage(true);
  setText(control::kStatusLine, "");
  setProgress(control::kScanProgress, 0);
  setText(control::kScanProgress, "");
  setText(control::kFoundCount, "0");
  setText(control::kBootSectorsCount, "0");
  // The Advanced sweep counts the boot sectors it finds beside the directories.
  show(control::kBootSectorsLabel, recoveryMode_ == kModeAdvanced);
  show(control::kBootSectorsCount, recoveryMode_ == kModeAdvanced);

  const int mode = recoveryMode_;
  const std::shared_ptr<ScanState> current = scan_;
  startWorker([this, mode, current](ScanOutcome& outcome) {
    // Quick: the engine steps of the file system (none for a file system without a
    // Quick scan). Advanced: the sweep and the identification of the file systems.
    if (mode == kModeQuick) {
      const ScanEnd end = runQuickScan(*session_, *current);
      outcome.scanned = end != ScanEnd::NotAvailable;
      outcome.deviceLost = end == ScanEnd::DeviceLost;
    } else if (mode == kModeAdvanced) {
      const ScanEnd end = runAdvancedSearch(*session_, *current);
      outcome.scanned = end != ScanEnd::NotAvailable;
      outcome.deviceLost = end == ScanEnd::DeviceLost;
    }
  });
}

void MainWindow::startWorker(std::function<void(ScanOutcome&)> body) {
  auto worker = std::make_unique<ScanWorker>();
  worker->token = ++nextToken_;
  ScanWorker* w = worker.get();
  scanThread_ = std::move(worker);
  w->thread = std::jthread([this, w, body = std::move(body)] {
    ScanOutcome outcome;
    try {
      body(outcome);
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

void MainWindow::waitForWorker(ScanWorker& worker) {
  // The worker may be waiting for an answer from this thread: keep answering.
  while (!worker.finished) {
    if (ownDialogs_) ownDialogs_->serviceRequests();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (worker.thread.joinable()) worker.thread.join();
}

void MainWindow::scanThreadEnded(unsigned token) {
  // A scan that Stop or the exit already took over has nothing left to report.
  if (!scanThread_ || scanThread_->token != token) return;
  waitForWorker(*scanThread_);
  const ScanOutcome outcome = scanThread_->outcome;
  scanThread_.reset();
  finishScan(outcome);
}

void MainWindow::finishScan(const ScanOutcome& outcome) {
  if (outcome.exitCode) {
    terminateSelf(*outcome.exitCode);
    return;
  }
  if (!outcome.error.empty())
    session_->messageBox("The scan ended with an error: " + outcome.error, MessageButtons::Ok,
                         MessageIcon::Error);
  const std::string fs(fileSystemName(session_->partitionSelection.fileSystem));
  if (outcome.fileSystemPrepared) {
    resultsOfChosenFileSystem();
    return;
  }
  if (recoveryMode_ == kModeAdvanced) {
    resultsOfAdvancedSearch(outcome);
    tellDiskEnd();
    return;
  }
  if (outcome.scanned) {
    if (outcome.fromLog) {
      recoverySaved_ = true;
    } else if (recoveryMode_ == kModeQuick) {
      writeReport(ReportOccasion::QuickScanFinished);
    }
    resultsOfQuickScan(session_->floppySelected());
    tellDiskEnd();
  } else if (recoveryMode_ == kModeQuick && !outcome.ended) {
    // A file system whose Quick scan this version does not have: say so, and let the
    // user go back.
    notAvailableYet("The Quick scan of " + fs);
    enable(id::kBack, true);
  }
  endOfQuickRun();
  if (wizardPage_ >= WizardPage::Scan && recoveryMode_ == kModeQuick) setPicture(artwork::kStep6Quick);
}

void MainWindow::tellDiskEnd() {
  if (scan_->diskEndNote.empty()) return;
  const std::string note = std::exchange(scan_->diskEndNote, std::string());
  session_->messageBox(note, MessageButtons::Ok, MessageIcon::Information);
}

void MainWindow::resultsOfQuickScan(bool floppy) {
  wizardPage_ = WizardPage::Results;
  if (!floppy) enableMenu(id::kMenuSaveLog, true);
  enable(id::kLoadLogButton, false);
  enable(id::kSaveLogButton, true);
  // The FAT tree is built: the sweep's table is no longer needed.
  if (scan_->workingVolume.isFat()) scan_->directoryTable.release();
  showResultsControls();
  for (int id : {id::kSaveFilesButton, id::kSelectAllButton, id::kUnselectAllButton})
    enable(id, true);
}

void MainWindow::endOfQuickRun() {
  enable(control::kStopSearching, false);
  show(control::kStopSearching, false);
  for (int item : {id::kMenuSelectAll, id::kMenuSave, id::kMenuDirectoryView, id::kMenuDirectoryPrint})
    enableMenu(item, true);
  for (int id : {id::kSaveFilesButton, id::kSelectAllButton, id::kUnselectAllButton})
    enable(id, true);
  focus(id::kBack);
  focusContext_ = 0;
}

void MainWindow::stopScan() {
  Session& session = *session_;
  ScanState& scan = *scan_;
  // During a sweep Stop only asks the sweep to end at its next chunk; the scan goes on
  // with what was found.
  if (scan.sweepRunning) {
    scan.stopRequested = true;
    return;
  }
  queue_->flush();
  if (!control(control::kStopSearching)->IsShown()) return;
  enable(control::kStopSearching, false);
  show(control::kStopSearching, false);

  if (scanThread_) {
    // The worker waits at its next safe point while the question is open.
    session.worker.pause();
    const int answer = session.messageBox(kStopQuestion, MessageButtons::YesNo, MessageIcon::Question);
    if (answer != kIdYes) {
      enable(control::kStopSearching, true);
      show(control::kStopSearching, true);
      session.worker.resume();
      return;
    }
    session.worker.end();
    waitForWorker(*scanThread_);
    // The gate is open again for the work this thread now does itself.
    session.worker.reset();
    const ScanOutcome outcome = scanThread_->outcome;
    scanThread_.reset();
    if (!outcome.ended) {
      // It finished on its own while the question was open: a complete result.
      finishScan(outcome);
      return;
    }
    enableMenu(id::kMenuSelectAll, true);
    enableMenu(id::kMenuSave, true);
    writeReport(ReportOccasion::Stopped);
    if (recoveryMode_ == kModeAdvanced) {
      // The file systems of what the sweep had found, and the file-system page.
      ScanOutcome stopped;
      stopped.scanned = true;
      try {
        identifyFileSystems(session, scan);
      } catch (const ProgramExit& exit) {
        terminateSelf(exit.code);
        return;
      }
      resultsOfAdvancedSearch(stopped);
      show(id::kSearchMorePartitions, false);
      return;
    }
    if (recoveryMode_ != kModeAdvanced) setHelp(help::kStoring);
    try {
      // The tree of what the scan had found when it stopped, built afresh.
      resetResults(scan);
      finishStoppedScan(session, scan);
    } catch (const ProgramExit& exit) {
      terminateSelf(exit.code);
      return;
    }
    if (recoveryMode_ == kModeQuick) {
      // The results page as after a complete scan, with the tree focused on its root.
      resultsOfQuickScan(false);
      focus(id::kFolderTree);
      scan.folderTree.select(scan.folderTree.root());
      show(id::kSearchMorePartitions, false);
      focusContext_ = 0;
    }
  }
  if (recoveryMode_ == kModeQuick) setPicture(artwork::kStep6Quick);
}

// The results page's controls as every scan leaves them: the current folder (empty),
// the folder tree and the file list with their columns, Back on, Next off, no progress.
void MainWindow::showResultsControls() {
  show(control::kCurrentFolderLabel, true);
  show(control::kCurrentFolder, true);
  setText(control::kCurrentFolder, "");
  showRange(id::kSummaryFirst, id::kSummaryLast, false);
  placeInformationList(234, 37, 255, 206);
  show(control::kInformationList, true);
  setResultColumns();
  list_->DeleteAllItems();
  resetResultsView();
  show(id::kFolderTree, true);
  enable(id::kBack, true);
  enable(id::kNext, false);
  show(control::kScanProgress, false);
  show(control::kStatusLine, false);
}

}  // namespace tessaly::wizard
