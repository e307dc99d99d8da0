// "Search More Partitions" on the partition page: the partition search on a worker, the
// controls and help texts while it runs and after, and its end when the program ends.
#include <chrono>

#include "disk/disk_enumeration.h"
#include "diskfacts/disk_facts_key.h"
#include "partition/partition_search.h"
#include "partition/partition_walk.h"
#include "wizard/dialogs.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"

namespace tessaly::wizard {

namespace {

// A disk-facts value of the selected disk as a number; missing or not a number: 0.
std::uint32_t factNumber(Session& session, const char* key) {
  const std::string text = session.registry.readString(key, diskfacts::diskValueName(session.selectedDisk));
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > UINT32_MAX) return 0;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

void MainWindow::searchMorePartitions() {
  if (searchThread_ || wizardPage_ != WizardPage::Partition) return;
  setHelpText(helpText(help::kSearching, kHelpSearchRule));
  Session& session = *session_;
  DiskPartitionList& list = session.partitionLists[session.selectedDisk];
  if (list.count == 0) partitionTree_.insert(partitionTree_.root(), "", kImageDisk, kImageDisk);

  // What the search shows before it starts.
  for (int id : {id::kBack, id::kNext, id::kSearchMorePartitions}) enable(id, false);
  if (recoveryMode_ != kModeQuick)
    for (int id : {id::kPartitionType, id::kStartSector, id::kEndSector}) enable(id, false);
  setProgress(id::kPartitionSearchProgress, 0);
  show(id::kPartitionSearchProgress, true);
  setText(id::kPartitionSearchText, "Searching Partition...");
  show(id::kPartitionSearchText, true);
  typeList_->SetSelection(kTypeNone);
  setText(id::kStartSector, "0");
  setText(id::kEndSector, "0");
  enable(id::kPartitionTree, false);
  if (list.count == 0) setHelp(help::kNoPartition);

  SearchOptions options;
  options.geometry.cylinders = factNumber(session, diskfacts::kCylinderKey);
  options.geometry.heads = factNumber(session, diskfacts::kHeadKey);
  options.geometry.sectorsPerTrack = factNumber(session, diskfacts::kSectorsPerTrackKey);
  options.diskSectors = selectedDiskSectors(session);

  auto worker = std::make_unique<SearchWorker>();
  worker->token = ++nextToken_;
  SearchWorker* w = worker.get();
  searchThread_ = std::move(worker);
  session.worker.reset();
  w->thread = std::jthread([this, w, options]() mutable {
    options.stop = &w->stop;
    options.progress = [this](int percent) { setProgress(id::kPartitionSearchProgress, percent); };
    try {
      searchPartitions(*session_, partitionTree_, options);
    } catch (const WorkerEnded&) {
    } catch (const ProgramExit& exit) {
      w->exitCode = exit.code;
    }
    const unsigned token = w->token;
    UiOp done;
    done.call = [this, token] { partitionSearchEnded(token); };
    queue_->post(std::move(done));
    w->finished = true;
  });
}

void MainWindow::waitForSearch() {
  while (!searchThread_->finished) {
    if (ownDialogs_) ownDialogs_->serviceRequests();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (searchThread_->thread.joinable()) searchThread_->thread.join();
}

void MainWindow::endPartitionSearch() {
  if (!searchThread_) return;
  searchThread_->stop = true;
  session_->worker.end();
  waitForSearch();
  searchThread_.reset();
}

void MainWindow::partitionSearchEnded(unsigned token) {
  if (!searchThread_ || searchThread_->token != token) return;
  waitForSearch();
  const std::optional<int> exitCode = searchThread_->exitCode;
  searchThread_.reset();
  if (exitCode) {
    terminateSelf(*exitCode);
    return;
  }
  Session& session = *session_;
  const DiskPartitionList& list = session.partitionLists[session.selectedDisk];
  if (list.count > 0) {
    session.partitionSelection.partitionIndex = 0;
    fillPartitionPage(0);
  }
  setProgress(id::kPartitionSearchProgress, 100);
  for (int id : {id::kBack, id::kNext, id::kSearchMorePartitions}) enable(id, true);
  if (recoveryMode_ != kModeQuick)
    for (int id : {id::kPartitionType, id::kStartSector, id::kEndSector}) enable(id, true);
  show(id::kPartitionSearchProgress, false);
  show(id::kPartitionSearchText, false);
  // The placeholder item of a disk that listed nothing before the search.
  for (TreeItem child : partitionTree_.children(partitionTree_.root())) {
    if (partitionTree_.text(child).empty()) {
      partitionTree_.remove(child);
      break;
    }
  }
  enable(id::kPartitionTree, true);
  if (list.count == 0) {
    setHelp(help::kNothingFound);
    return;
  }
  std::vector<std::string> lines = help::kPartitionPage;
  if (list.truncated) lines.push_back(help::kMorePartitions);
  setHelp(lines);
  focus(id::kPartitionTree);
  if (session.firstPartitionItem != kNoItem) partitionTree_.select(session.firstPartitionItem);
}

}  // namespace tessaly::wizard
