// What the tests share: a recording front end, scripted answers to the engines'
// questions, devices with chosen sectors replaced, and the paths of the test images.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/device.h"
#include "session/file_rows.h"
#include "session/report.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly::test {

// Records every report.
class RecordingReport : public Report {
 public:
  struct Event {
    enum Kind {
      Status, Counter, CounterLabel, ScanProgress, ScanProgressText, ShowScanProgress, CurrentFolder,
      StopOffered, DiskListReady, SaveCounted, SaveFileStarted, SaveFolderStarted, SaveData, SaveTimes,
      SaveCurrentFile
    } kind;
    tessaly::Counter counter = tessaly::Counter::FoldersFound;
    std::string text;
    std::int64_t value = 0;
    std::int64_t second = 0;
    std::int64_t third = 0;
  };
  void status(const std::string& text) override;
  void counter(tessaly::Counter which, std::optional<std::uint64_t> value) override;
  void counterLabel(tessaly::Counter which, const std::string& label) override;
  void scanProgress(int percent) override;
  void scanProgressText(const std::string& text) override;
  void showScanProgress() override;
  void currentFolder(const std::string& path) override;
  void stopOffered(bool offered) override;
  void diskListReady() override;
  void saveCounted(int files) override;
  void saveFileStarted(int filesBegun, int filesCounted, const std::string& name, const std::string& path) override;
  void saveFolderStarted(const std::string& path) override;
  void saveData(std::uint64_t written, std::uint64_t total, int percent) override;
  void saveTimes(std::int64_t elapsed, std::int64_t remaining) override;
  void saveCurrentFile(std::uint64_t written, std::uint64_t size) override;

  std::vector<std::string> statuses() const;
  std::string lastStatus() const;
  // A counter's values as text ("" for a blanked one).
  std::vector<std::string> counters(tessaly::Counter which) const;
  std::string lastCounter(tessaly::Counter which) const;
  std::vector<int> scanPercents() const;
  std::vector<Event> events() const;
  std::vector<Event> events(Event::Kind kind) const;
  // Called with every event as it is recorded (from the reporting thread).
  void setListener(std::function<void(const Event&)> listener);
  void clear();

 private:
  void add(Event event);
  mutable std::mutex mutex_;
  std::vector<Event> events_;
  std::function<void(const Event&)> listener_;
};

// Answers come from queues; an empty queue gives the fallback answer. Every question
// asked is recorded.
class ScriptedDialogs : public Dialogs {
 public:
  int messageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                 MessageIcon icon) override;
  BadSectorAnswer askBadSector() override;
  ReplaceAnswer askReplace(const std::string& path) override;
  WriteErrorAnswer askErrorWriting(const std::string& path) override;
  std::optional<std::string> chooseFolder(const std::string& start) override;
  std::optional<std::string> chooseSaveFile(const std::string& folder, const std::string& filter) override;
  std::optional<std::string> chooseOpenFile(const std::string& folder, const std::string& filter) override;

  std::deque<int> messageAnswers;  // fallback: kIdOk for Ok boxes, kIdYes for Yes/No
  std::deque<BadSectorAnswer> badSectorAnswers;
  BadSectorAnswer badSectorFallback = BadSectorAnswer::Skip;
  std::deque<ReplaceAnswer> replaceAnswers;
  ReplaceAnswer replaceFallback = ReplaceAnswer::No;
  std::deque<WriteErrorAnswer> errorWritingAnswers;
  WriteErrorAnswer errorWritingFallback = WriteErrorAnswer::Skip;
  std::optional<std::string> folder;
  // The file choosers' answers, in order; an empty queue cancels. Each question is kept.
  std::deque<std::optional<std::string>> fileAnswers;
  std::vector<std::string> fileChoosers;  // "save *.SAV in FOLDER", "open ..."

  struct Message {
    std::string text, caption;
    MessageButtons buttons;
    MessageIcon icon;
  };
  std::vector<Message> messages;
  int badSectorPrompts = 0;
  std::vector<std::string> replacePrompts;
  std::vector<std::string> errorWritingPrompts;

 private:
  std::mutex mutex_;
};

// A device whose chosen sectors read as other bytes; everything else is read from the
// device underneath. Used to damage an image without copying it.
class PatchedDevice : public platform::Device {
 public:
  explicit PatchedDevice(std::shared_ptr<platform::Device> inner) : inner_(std::move(inner)) {}
  void patch(std::uint64_t sector, std::vector<std::uint8_t> bytes);  // 512 bytes
  void zero(std::uint64_t sector) { patch(sector, std::vector<std::uint8_t>(512, 0)); }
  void patchByte(std::uint64_t sector, std::size_t offset, std::uint8_t value);
  std::vector<std::uint8_t> sector(std::uint64_t sector);
  bool read(std::uint64_t offset, std::span<std::uint8_t> buffer) override;
  std::uint64_t size() const override { return inner_->size(); }

 private:
  std::shared_ptr<platform::Device> inner_;
  std::map<std::uint64_t, std::vector<std::uint8_t>> patches_;
};

// A session over one disk (slot 0) with a recording front end, and a scan state.
struct TestSession {
  explicit TestSession(std::shared_ptr<platform::Device> disk);
  explicit TestSession(const std::string& imagePath);
  platform::DeviceTable devices;
  RecordingReport report;
  ScriptedDialogs dialogs;
  Session session{devices, report, dialogs};
  ScanState scan;
};

// Walks a tree model depth first in child order from item: visit(item, path), where the
// path of item itself is "" and of the items below it their texts from item down, joined
// with "/" ("A", "A/B").
void walkTree(const TreeModel& tree, TreeItem item,
              const std::function<void(TreeItem, const std::string&)>& visit);
// Every item's path from the root, the root's text included: "Root", "Root/A", ...
std::vector<std::string> treePaths(const TreeModel& tree);
// The item at such a path ("Root/A/B"), or kNoItem.
TreeItem treeItemAt(const TreeModel& tree, const std::string& path);
// The texts of an item's children, in order.
std::vector<std::string> childNames(const TreeModel& tree, TreeItem item);

// What the file list shows for every folder of a finished scan, by the folder's path
// below the root ("" for the root, "Documents/Old Archive"), and the whole of it as one
// text, for comparing two scans.
struct ListedFolder {
  bool deleted = false;
  std::vector<FileRow> files;
};
struct ListedScan {
  std::map<std::string, ListedFolder> folders;
  std::string dump;
};
ListedScan listEveryFolder(Session& session, ScanState& scan);

// Test image paths (built by tools/build-test-images before the tests run).
std::string imagePath(const std::string& name);
std::string manifestPath(const std::string& name);
std::string sourceDir();
std::string stageDir();

// A fresh empty folder under the test's temporary area, removed by the caller's scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// An 8 MiB disk image of random filler holding letter.doc at sector 300, comment.zip in
// the sector right after it and ledger.xls at sector 15000; returns its path. A search
// reads sectors from 10340 on only once the document has been carved.
std::string carvingDisk(const TempDir& dir);

// Runs a shell command; returns its standard output. Fails the test when it fails.
std::string run(const std::string& command);
std::vector<std::uint8_t> readFile(const std::string& path);
std::string sha256File(const std::string& path);

}  // namespace tessaly::test
