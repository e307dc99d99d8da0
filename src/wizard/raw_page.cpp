// The raw recovery page: the file types to look for, the range (the entire disk or a
// sector range), Start/Stop Recovery, and the raw thread that carves the files into the
// destination folder while the page counts them per type.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>

#include "platform/paths.h"
#include "recovery/raw_disk.h"
#include "save/save_walks.h"
#include "wizard/artwork.h"
#include "wizard/dialogs.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"

namespace tessaly::wizard {

namespace {

constexpr const char* kSearchingSector = " Searching Sector :- ";

const std::vector<std::string> kRawHelp = {"   Select the file type(s) and the range,",
                                           "   then click on Start Recovery"};

// The raw thread's reports, carried to the page's controls.
class PageReport : public raw::RawSearchReport {
 public:
  PageReport(MainWindow& window, std::function<void(raw::RawType, std::uint32_t)> carved)
      : window_(window), carved_(std::move(carved)) {}
  void searching(std::uint64_t sector, int percent) override {
    window_.setText(id::kRawStatus, kSearchingSector + std::to_string(sector));
    window_.setProgress(id::kRawProgress, percent);
  }
  void carved(const raw::CarvedFile& file, const raw::RawCounts& counts) override {
    carved_(file.type, counts[raw::rawTypeIndex(file.type)]);
  }

 private:
  MainWindow& window_;
  std::function<void(raw::RawType, std::uint32_t)> carved_;
};

wxCheckListBox& typeList(MainWindow& window) {
  return *static_cast<wxCheckListBox*>(window.control(id::kRawFileTypes));
}

wxListCtrl& recoveredList(MainWindow& window) {
  return *static_cast<wxListCtrl*>(window.control(id::kRawFilesRecovered));
}

}  // namespace

void MainWindow::setUpRawPage() {
  enableMenu(id::kMenuSaveLog, false);
  enableMenu(id::kMenuLoadLog, false);
  hideDiskPage();
  list_->Hide();
  setPicture(artwork::kStep4Raw);
  for (int raw : {id::kRawMethodLabel, id::kRawEntireDisk, id::kRawSectorRange, id::kRawStart,
                  id::kRawEnd, id::kRawFileTypesLabel, id::kRawFileTypes, id::kRawFilesRecovered,
                  id::kStartRecovery, id::kRawStatus})
    show(raw, true);
  show(id::kRawProgress, false);
  for (unsigned i = 0; i < typeList(*this).GetCount(); ++i) typeList(*this).Check(i, false);
  recoveredList(*this).DeleteAllItems();
  rawRowsShown_ = false;
  static_cast<wxRadioButton*>(control(id::kRawEntireDisk))->SetValue(true);
  chooseEntireDisk();
  enable(id::kNext, false);
  setHelp(kRawHelp);
  wizardPage_ = WizardPage::Partition;
  focus(id::kRawFileTypes);
}

void MainWindow::rawTypeChecked(int item) {
  if (item >= 0 && typeList(*this).IsChecked(static_cast<unsigned>(item)))
    setPicture(artwork::kStep5Raw);
}

void MainWindow::chooseEntireDisk() {
  for (int edit : {id::kRawStart, id::kRawEnd}) {
    setText(edit, "");
    enable(edit, false);
  }
  rawEntireDisk_ = true;
}

void MainWindow::chooseSectorRange() {
  enable(id::kRawStart, true);
  enable(id::kRawEnd, true);
  setText(id::kRawEnd, std::to_string(diskSectorCount(*session_)));
  setText(id::kRawStart, "0");
  rawEntireDisk_ = false;
}

void MainWindow::startStopRecovery() {
  if (rawThread_) {
    askToStopRawSearch();
    return;
  }
  raw::RawSearchRequest request;
  for (std::size_t t = 0; t < raw::kRawTypeCount; ++t)
    request.types.set(static_cast<raw::RawType>(t),
                      typeList(*this).IsChecked(static_cast<unsigned>(t)));
  if (!request.types.any()) {
    session_->messageBox(session_->text(msg::kSelectFileType), MessageButtons::Ok,
                         MessageIcon::Information);
    return;
  }
  request.entireDisk = rawEntireDisk_;
  if (!rawEntireDisk_) {
    const std::uint64_t sectors = diskSectorCount(*session_);
    const RawRangeResult range =
        checkRawRange({fieldText(id::kRawStart), fieldText(id::kRawEnd), sectors});
    if (range.refusal) {
      if (range.restoreEnd) setText(id::kRawEnd, std::to_string(sectors));
      session_->messageBox(session_->text(*range.refusal), MessageButtons::Ok, MessageIcon::Error);
      focus(id::kRawStart);
      return;
    }
    request.startSector = range.start;
    request.endSector = range.end;
  }
  {
    FileSavingDialog dialog(this, *session_, *this, destination_, false, {});
    dialog.ShowModal();
  }
  if (destination_.empty() || !rawDestinationReady()) return;
  // The File Saving dialog has already warned about a folder on the disk being searched.
  request.outputFolder = destination_;
  startRawSearch(std::move(request));
}

bool MainWindow::rawDestinationReady() {
  // A file made and removed again tells that the folder can be written.
  const std::string probe = platform::joinPath(destination_, "tempFile");
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(probe.c_str());
      return true;
    }
    if (attempt == 0) createFolderPath(destination_);
  }
  return false;
}

void MainWindow::startRawSearch(raw::RawSearchRequest request) {
  rawTypes_ = request.types;
  show(id::kStartRecovery, false);
  for (int id : {id::kRawFileTypes, id::kRawEntireDisk, id::kRawSectorRange, id::kRawStart,
                 id::kRawEnd, id::kBack})
    enable(id, false);
  setText(id::kRawStatus,
          session_->text(msg::kSearchingDisk) + std::to_string(session_->selectedDisk));
  recoveredList(*this).DeleteAllItems();
  rawRowsShown_ = false;
  session_->worker.reset();
  session_->deviceWatch.reset();

  auto worker = std::make_unique<RawWorker>();
  worker->token = ++nextToken_;
  RawWorker* w = worker.get();
  rawThread_ = std::move(worker);
  // The button becomes Stop once the thread runs.
  setText(id::kStartRecovery, session_->text(msg::kStopRecovery));
  setProgress(id::kRawProgress, 0);
  show(id::kRawProgress, true);
  show(id::kStartRecovery, true);
  enable(id::kStartRecovery, true);
  focus(id::kStartRecovery);
  w->thread = std::jthread([this, w, request = std::move(request)] {
    try {
      DiskSectorSource source(*session_);
      PageReport report(*this, [this](raw::RawType type, std::uint32_t count) {
        UiOp op;
        op.call = [this, type, count] { rawFileCarved(type, count); };
        queue_->post(std::move(op));
      });
      w->outcome = raw::runRawSearch(source, request, report, w->stop);
    } catch (const WorkerEnded&) {
      w->outcome.end = raw::RawSearchEnd::Stopped;
    } catch (const std::exception& e) {
      w->error = e.what();
    }
    const unsigned token = w->token;
    UiOp done;
    done.call = [this, token] { rawThreadEnded(token); };
    queue_->post(std::move(done));
    w->finished = true;
  });
}

void MainWindow::rawFileCarved(raw::RawType type, std::uint32_t count) {
  wxListCtrl& list = recoveredList(*this);
  if (!rawRowsShown_) {
    // One counter row per type searched for, in the order of the type list.
    list.DeleteAllItems();
    for (const raw::RawTypeInfo& info : raw::kRawTypeInfo)
      if (rawTypes_.has(info.type))
        list.InsertItem(list.GetItemCount(),
                        wxString::FromUTF8(std::string(info.counterText) + "0"));
    rawRowsShown_ = true;
  }
  long row = 0;
  for (const raw::RawTypeInfo& info : raw::kRawTypeInfo) {
    if (info.type == type) break;
    if (rawTypes_.has(info.type)) ++row;
  }
  if (row < list.GetItemCount())
    list.SetItemText(row, wxString::FromUTF8(std::string(raw::rawTypeInfo(type).counterText) +
                                             std::to_string(count)));
}

void MainWindow::askToStopRawSearch() {
  // The search waits at its next read while the question is open.
  session_->worker.pause();
  const int answer = session_->messageBox(session_->text(msg::kTerminateRawQuestion),
                                          MessageButtons::YesNo, MessageIcon::Question);
  if (answer != kIdYes || !rawThread_) {
    session_->worker.resume();
    return;
  }
  rawThread_->stop = true;
  session_->worker.resume();
  endRawThread();
  rawControlsAfterSearch();
}

void MainWindow::endRawThread() {
  if (!rawThread_) return;
  rawThread_->stop = true;
  session_->worker.resume();
  // The thread may be waiting for an answer from this thread: keep answering.
  while (!rawThread_->finished) {
    if (ownDialogs_) ownDialogs_->serviceRequests();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (rawThread_->thread.joinable()) rawThread_->thread.join();
  rawThread_.reset();
}

void MainWindow::rawThreadEnded(unsigned token) {
  // A search that Stop or the exit already took over has nothing left to report.
  if (!rawThread_ || rawThread_->token != token) return;
  while (!rawThread_->finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (rawThread_->thread.joinable()) rawThread_->thread.join();
  const raw::RawSearchOutcome outcome = rawThread_->outcome;
  const std::string error = rawThread_->error;
  rawThread_.reset();
  queue_->flush();
  rawControlsAfterSearch();
  if (outcome.end == raw::RawSearchEnd::ReadFailed)
    session_->messageBox(
        "The disk " + session_->selectedDiskDescription() +
            " stopped answering. The search ended there; the files found until then are in " +
            destination_ + ".",
        MessageButtons::Ok, MessageIcon::Error);
  else if (outcome.end == raw::RawSearchEnd::NoOutputFolder)
    session_->messageBox(session_->text(msg::kFailedToCreate) + destination_, MessageButtons::Ok,
                         MessageIcon::Error);
  else if (!error.empty())
    session_->messageBox("The search ended with an error: " + error, MessageButtons::Ok,
                         MessageIcon::Error);
}

void MainWindow::rawControlsAfterSearch() {
  queue_->flush();
  setText(id::kStartRecovery, session_->text(msg::kStartRecovery));
  show(id::kStartRecovery, true);
  enable(id::kStartRecovery, true);
  setText(id::kRawStatus, "");
  setProgress(id::kRawProgress, 0);
  show(id::kRawProgress, false);
  for (int id : {id::kRawFileTypes, id::kRawEntireDisk, id::kRawSectorRange, id::kBack})
    enable(id, true);
  enable(id::kRawStart, !rawEntireDisk_);
  enable(id::kRawEnd, !rawEntireDisk_);
  recoveredList(*this).DeleteAllItems();
  rawRowsShown_ = false;
}

}  // namespace tessaly::wizard
