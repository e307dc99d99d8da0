// The scan thread: the engines of a Quick scan on a worker, what the window shows while
// it runs and how it leaves the window (the results page), and the Stop command.
#include <chrono>

#include "fat/catalogue.h"
#include "fat/quick_scan.h"
#include "session/quick_scan.h"
#include "wizard/artwork.h"
#include "wizard/dialogs.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"

namespace tessaly::wizard {

namespace {
constexpr const char* kStopQuestion = "Are you sure you want to stop current process.";
}

void MainWindow::startScan() {
  Session& session = *session_;
  session.worker.reset();
  session.stopRequested = false;
  resetResults(session);

  // What the scan thread shows first, done here before it starts.
  enable(id::kBack, false);
  enable(id::kNext, false);
  session.directoryTable.release();
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
  show(control::kBootSectorsLabel, false);
  show(control::kBootSectorsCount, false);

  auto worker = std::make_unique<ScanWorker>();
  worker->token = ++nextToken_;
  ScanWorker* w = worker.get();
  scanThread_ = std::move(worker);
  const int mode = recoveryMode_;
  w->thread = std::jthread([this, w, mode] {
    ScanOutcome outcome;
    try {
      // Quick: the engine steps of the file system (none for a file system without a
      // Quick scan). The Advanced and Raw scans arrive with their engines.
      if (mode == kModeQuick) outcome.scanned = runQuickScan(*session_);
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
  const std::string fs = session_->partitionSelection.fileSystem;
  if (outcome.scanned) {
    resultsOfQuickScan(session_->floppySelected());
  } else if (recoveryMode_ == kModeQuick && !outcome.ended) {
    // A file system whose Quick scan this version does not have: say so, and let the
    // user go back.
    notAvailableYet("The Quick scan of " + fs);
    enable(id::kBack, true);
  }
  endOfQuickRun();
  if (wizardPage_ >= 2 && recoveryMode_ == kModeQuick) setPicture(artwork::kStep6Quick);
}

void MainWindow::resultsOfQuickScan(bool floppy) {
  Session& session = *session_;
  wizardPage_ = 3;
  if (!floppy) enableMenu(id::kMenuSaveLog, true);
  enable(id::kLoadLogButton, false);
  enable(id::kSaveLogButton, true);
  // The FAT tree is built: the sweep's table is no longer needed.
  if (session.workingVolume.isFat()) session.directoryTable.release();
  show(control::kCurrentFolderLabel, true);
  show(control::kCurrentFolder, true);
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
  for (int id : {id::kSaveFilesButton, id::kSelectAllButton, id::kUnselectAllButton})
    enable(id, true);
  setText(control::kCurrentFolder, "");
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
  // During a sweep Stop only asks the sweep to end at its next chunk; the scan goes on
  // with what was found.
  if (session.sweepRunning) {
    session.stopRequested = true;
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
    // The report of a stopped scan comes with the recovery reports.
    if (recoveryMode_ != kModeAdvanced) setHelp(help::kStoring);
    try {
      // The tree of what the scan had found when it stopped, built afresh.
      resetResults(session);
      finishStoppedScan(session);
    } catch (const ProgramExit& exit) {
      terminateSelf(exit.code);
      return;
    }
    if (recoveryMode_ == kModeQuick) {
      // The results page as after a complete scan, with the tree focused on its root.
      resultsOfQuickScan(false);
      focus(id::kFolderTree);
      session.folderTree.select(session.folderTree.root());
      show(id::kSearchMorePartitions, false);
      focusContext_ = 0;
    }
  }
  if (recoveryMode_ == kModeQuick) setPicture(artwork::kStep6Quick);
}

}  // namespace tessaly::wizard
