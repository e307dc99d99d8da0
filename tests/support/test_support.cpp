#include "support/test_support.h"

#include "recovery/folder_contents.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace tessaly::test {

// ---------------------------------------------------------------- RecordingReport

using E = RecordingReport::Event;

void RecordingReport::add(Event event) {
  std::function<void(const Event&)> listener;
  {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
    listener = listener_;
  }
  if (listener) listener(event);
}

void RecordingReport::status(const std::string& text) { add({E::Status, {}, text}); }
void RecordingReport::counter(tessaly::Counter which, std::optional<std::uint64_t> value) {
  add({E::Counter, which, value ? std::to_string(*value) : "", static_cast<std::int64_t>(value.value_or(0))});
}
void RecordingReport::counterLabel(tessaly::Counter which, const std::string& label) {
  add({E::CounterLabel, which, label});
}
void RecordingReport::scanProgress(int percent) { add({E::ScanProgress, {}, "", percent}); }
void RecordingReport::scanProgressText(const std::string& text) { add({E::ScanProgressText, {}, text}); }
void RecordingReport::showScanProgress() { add({E::ShowScanProgress, {}, ""}); }
void RecordingReport::currentFolder(const std::string& path) { add({E::CurrentFolder, {}, path}); }
void RecordingReport::stopOffered(bool offered) { add({E::StopOffered, {}, "", offered ? 1 : 0}); }
void RecordingReport::diskListReady() { add({E::DiskListReady, {}, ""}); }
void RecordingReport::saveCounted(int files) { add({E::SaveCounted, {}, "", files}); }
void RecordingReport::saveFileStarted(int filesBegun, int filesCounted, const std::string& name,
                                      const std::string& path) {
  add({E::SaveFileStarted, {}, name + "|" + path, filesBegun, filesCounted});
}
void RecordingReport::saveFolderStarted(const std::string& path) { add({E::SaveFolderStarted, {}, path}); }
void RecordingReport::saveData(std::uint64_t written, std::uint64_t total, int percent) {
  add({E::SaveData, {}, "", static_cast<std::int64_t>(written), static_cast<std::int64_t>(total), percent});
}
void RecordingReport::saveTimes(std::int64_t elapsed, std::int64_t remaining) {
  add({E::SaveTimes, {}, "", elapsed, remaining});
}
void RecordingReport::saveCurrentFile(std::uint64_t written, std::uint64_t size) {
  add({E::SaveCurrentFile, {}, "", static_cast<std::int64_t>(written), static_cast<std::int64_t>(size)});
}

std::vector<std::string> RecordingReport::statuses() const {
  std::vector<std::string> out;
  for (const auto& e : events(E::Status)) out.push_back(e.text);
  return out;
}

std::string RecordingReport::lastStatus() const {
  auto all = statuses();
  return all.empty() ? std::string() : all.back();
}

std::vector<std::string> RecordingReport::counters(tessaly::Counter which) const {
  std::vector<std::string> out;
  for (const auto& e : events(E::Counter))
    if (e.counter == which) out.push_back(e.text);
  return out;
}

std::string RecordingReport::lastCounter(tessaly::Counter which) const {
  auto all = counters(which);
  return all.empty() ? std::string() : all.back();
}

std::vector<int> RecordingReport::scanPercents() const {
  std::vector<int> out;
  for (const auto& e : events(E::ScanProgress)) out.push_back(static_cast<int>(e.value));
  return out;
}

std::vector<E> RecordingReport::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<E> RecordingReport::events(Event::Kind kind) const {
  std::lock_guard lock(mutex_);
  std::vector<E> out;
  for (const auto& e : events_)
    if (e.kind == kind) out.push_back(e);
  return out;
}

void RecordingReport::setListener(std::function<void(const Event&)> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void RecordingReport::clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
}

// ---------------------------------------------------------------- ScriptedDialogs

int ScriptedDialogs::messageBox(const std::string& text, const std::string& caption,
                                MessageButtons buttons, MessageIcon icon) {
  std::lock_guard lock(mutex_);
  messages.push_back({text, caption, buttons, icon});
  if (!messageAnswers.empty()) {
    int a = messageAnswers.front();
    messageAnswers.pop_front();
    return a;
  }
  return buttons == MessageButtons::Ok ? kIdOk : kIdYes;
}

BadSectorAnswer ScriptedDialogs::askBadSector() {
  std::lock_guard lock(mutex_);
  ++badSectorPrompts;
  if (!badSectorAnswers.empty()) {
    BadSectorAnswer a = badSectorAnswers.front();
    badSectorAnswers.pop_front();
    return a;
  }
  return badSectorFallback;
}

ReplaceAnswer ScriptedDialogs::askReplace(const std::string& path) {
  std::lock_guard lock(mutex_);
  replacePrompts.push_back(path);
  if (!replaceAnswers.empty()) {
    ReplaceAnswer a = replaceAnswers.front();
    replaceAnswers.pop_front();
    return a;
  }
  return replaceFallback;
}

WriteErrorAnswer ScriptedDialogs::askErrorWriting(const std::string& path) {
  std::lock_guard lock(mutex_);
  errorWritingPrompts.push_back(path);
  if (!errorWritingAnswers.empty()) {
    WriteErrorAnswer a = errorWritingAnswers.front();
    errorWritingAnswers.pop_front();
    return a;
  }
  return errorWritingFallback;
}

std::optional<std::string> ScriptedDialogs::chooseFolder(const std::string&) { return folder; }

namespace {
std::optional<std::string> nextFile(std::mutex& mutex, std::deque<std::optional<std::string>>& answers,
                                    std::vector<std::string>& asked, const std::string& question) {
  std::lock_guard lock(mutex);
  asked.push_back(question);
  if (answers.empty()) return std::nullopt;
  auto answer = answers.front();
  answers.pop_front();
  return answer;
}
}  // namespace

std::optional<std::string> ScriptedDialogs::chooseSaveFile(const std::string& where, const std::string& filter) {
  return nextFile(mutex_, fileAnswers, fileChoosers, "save " + filter + " in " + where);
}

std::optional<std::string> ScriptedDialogs::chooseOpenFile(const std::string& where, const std::string& filter) {
  return nextFile(mutex_, fileAnswers, fileChoosers, "open " + filter + " in " + where);
}

// ---------------------------------------------------------------- PatchedDevice

void PatchedDevice::patch(std::uint64_t sector, std::vector<std::uint8_t> bytes) {
  bytes.resize(512, 0);
  patches_[sector] = std::move(bytes);
}

std::vector<std::uint8_t> PatchedDevice::sector(std::uint64_t n) {
  std::vector<std::uint8_t> bytes(512, 0);
  read(n * 512, bytes);
  return bytes;
}

void PatchedDevice::patchByte(std::uint64_t n, std::size_t offset, std::uint8_t value) {
  auto bytes = sector(n);
  bytes.at(offset) = value;
  patch(n, std::move(bytes));
}

bool PatchedDevice::read(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  if (!inner_->read(offset, buffer)) return false;
  if (buffer.empty()) return true;
  std::uint64_t first = offset / 512, last = (offset + buffer.size() - 1) / 512;
  for (auto it = patches_.lower_bound(first); it != patches_.end() && it->first <= last; ++it) {
    std::uint64_t sectorStart = it->first * 512;
    for (std::size_t i = 0; i < 512; ++i) {
      std::uint64_t at = sectorStart + i;
      if (at >= offset && at < offset + buffer.size()) buffer[at - offset] = it->second[i];
    }
  }
  return true;
}

// ---------------------------------------------------------------- TestSession

TestSession::TestSession(std::shared_ptr<platform::Device> disk) {
  devices.attach(platform::DeviceTable::physicalDriveName(0), std::move(disk));
  session.selectedDisk = 0;
  session.selectedDiskName = "Disk0";
}

TestSession::TestSession(const std::string& image) {
  devices.setDisks({image});
  session.selectedDisk = 0;
  session.selectedDiskName = "Disk0";
}

// ---------------------------------------------------------------- trees

void walkTree(const TreeModel& tree, TreeItem item,
              const std::function<void(TreeItem, const std::string&)>& visit) {
  // Depth-first with an explicit stack; a tree has no cycles, but its depth is unbounded.
  std::vector<std::pair<TreeItem, std::string>> pending{{item, ""}};
  while (!pending.empty()) {
    auto [at, path] = pending.back();
    pending.pop_back();
    visit(at, path);
    const auto children = tree.children(at);
    for (auto child = children.rbegin(); child != children.rend(); ++child)
      pending.emplace_back(*child, (path.empty() ? "" : path + "/") + tree.text(*child));
  }
}

std::vector<std::string> treePaths(const TreeModel& tree) {
  std::vector<std::string> paths;
  const TreeItem root = tree.root();
  if (root == kNoItem) return paths;
  const std::string top = tree.text(root);
  walkTree(tree, root, [&](TreeItem, const std::string& path) {
    paths.push_back(path.empty() ? top : top + "/" + path);
  });
  return paths;
}

TreeItem treeItemAt(const TreeModel& tree, const std::string& path) {
  TreeItem item = tree.root();
  std::size_t slash = path.find('/');
  if (item == kNoItem || path.substr(0, slash) != tree.text(item)) return kNoItem;
  while (slash != std::string::npos) {
    const std::size_t start = slash + 1;
    slash = path.find('/', start);
    const std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    TreeItem next = kNoItem;
    // Of two children with one name, the later one (as the tree shows them, the lower).
    for (TreeItem child : tree.children(item))
      if (tree.text(child) == name) next = child;
    if (next == kNoItem) return kNoItem;
    item = next;
  }
  return item;
}

std::vector<std::string> childNames(const TreeModel& tree, TreeItem item) {
  std::vector<std::string> names;
  for (TreeItem child : tree.children(item)) names.push_back(tree.text(child));
  return names;
}

ListedScan listEveryFolder(Session& session, ScanState& scan) {
  ListedScan listed;
  if (scan.folderTree.root() == kNoItem) return listed;
  walkTree(scan.folderTree, scan.folderTree.root(), [&](TreeItem item, const std::string& path) {
    FolderContents contents = listFolder(session, scan, item);
    ListedFolder& folder = listed.folders[path];
    folder.deleted = contents.deleted;
    folder.files.assign(contents.rows.begin() + static_cast<long>(contents.folderRows), contents.rows.end());
    listed.dump += path + (folder.deleted ? " [deleted]\n" : "\n");
    for (const FileRow& row : contents.rows) {
      for (const auto& column : row.columns) listed.dump += column + "|";
      listed.dump += std::to_string(row.image) + "\n";
    }
  });
  return listed;
}

// ---------------------------------------------------------------- paths and files

namespace {
// Every test runs in UTC, whatever the machine's zone, and with a private settings folder.
const bool environmentReady = [] {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  return true;
}();
}  // namespace

std::string imagePath(const std::string& name) {
  (void)environmentReady;
  std::string path = std::string(TESSALY_TEST_IMAGES_DIR) + "/" + name + ".img";
  if (!std::filesystem::exists(path)) ADD_FAILURE() << "test image missing: " << path;
  return path;
}

std::string manifestPath(const std::string& name) {
  return std::string(TESSALY_TEST_IMAGES_DIR) + "/" + name + ".manifest";
}

std::string sourceDir() { return TESSALY_SOURCE_DIR; }
std::string stageDir() { return TESSALY_STAGE_DIR; }

TempDir::TempDir() {
  std::string base = std::filesystem::temp_directory_path().string() + "/tessaly-test-XXXXXX";
  std::vector<char> name(base.begin(), base.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
  path_ = name.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string run(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    ADD_FAILURE() << "cannot run: " << command;
    return output;
  }
  std::array<char, 4096> buffer{};
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  int status = ::pclose(pipe);
  if (status != 0) ADD_FAILURE() << "command failed (" << status << "): " << command;
  return output;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string sha256File(const std::string& path) {
  std::string out = run("sha256sum '" + path + "'");
  return out.substr(0, 64);
}

std::string carvingDisk(const TempDir& dir) {
  std::vector<std::uint8_t> disk(8 << 20);
  std::mt19937 random(11);
  for (auto& b : disk) b = static_cast<std::uint8_t>(random());
  auto place = [&](const char* name, std::size_t sector) {
    const auto file = readFile(sourceDir() + "/tests/data/raw/" + name);
    std::copy(file.begin(), file.end(), disk.begin() + static_cast<long>(sector * 512));
    return sector + (file.size() + 511) / 512;
  };
  place("comment.zip", place("letter.doc", 300));
  place("ledger.xls", 15000);
  const std::string path = dir.file("carving.img");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(disk.data()),
                                              static_cast<std::streamsize>(disk.size()));
  return path;
}

}  // namespace tessaly::test
