#include "save/save_walks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "fat/cluster_chain.h"
#include "fat/directory_entry.h"
#include "fat/fat_table.h"
#include "ntfs/entry_tables.h"
#include "save/save_engine.h"
#include "save/save_job.h"
#include "session/session.h"

namespace tessaly {

namespace de = direntry;

namespace {

enum class Walk { Save, Count };

bool endsWith(const std::string& s, const char* tail) {
  const std::string t(tail);
  return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

std::string withSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folders of a save below its destination, made as the walk needs them and reached
// through open folder descriptors (mkdirat/openat), so that neither a deep tree nor a
// path longer than the system's limit costs more than one step per folder. Only the
// deepest folder made is held open; the walk climbs back with "..". Levels are counted
// from 0, the destination itself.
class FolderLadder {
 public:
  explicit FolderLadder(const std::string& destination) : path_(destination) {
    while (path_.size() > 1 && path_.back() == '/') path_.pop_back();
    fd_ = ::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    names_.push_back("");
    ends_.push_back(path_.size());
  }
  ~FolderLadder() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderLadder(const FolderLadder&) = delete;
  FolderLadder& operator=(const FolderLadder&) = delete;

  // The walk is at a folder of this level (1 and up) with this name; deeper levels left
  // are forgotten.
  void enter(std::size_t level, const std::string& name) {
    names_.resize(level);
    ends_.resize(level);
    names_.push_back(safeComponent(name));
    path_.resize(ends_.back());
    path_ += "/" + names_.back();
    ends_.push_back(path_.size());
    while (made_ >= level && fd_ >= 0) climb();
  }
  // The open folder of the current level, made (with every level above) when needed;
  // -1 when it cannot be made or opened.
  int folder() {
    const std::size_t level = names_.size() - 1;
    while (made_ < level && fd_ >= 0) {
      const std::string& name = names_[made_ + 1];
      ::mkdirat(fd_, name.c_str(), 0755);
      const int next = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0) return -1;
      ::close(fd_);
      fd_ = next;
      ++made_;
    }
    return made_ == level ? fd_ : -1;
  }
  // The current folder's path as shown, with a final "/".
  std::string path() const { return path_ + "/"; }

 private:
  void climb() {
    const int up = ::openat(fd_, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd_);
    fd_ = up;
    --made_;
  }
  std::string path_;
  std::vector<std::string> names_;  // the safe name of each level
  std::vector<std::size_t> ends_;   // where each level's path ends in path_
  std::size_t made_ = 0;            // the deepest level made and held open in fd_
  int fd_ = -1;
};

// One save or count over the chosen folders. The NTFS file table is indexed by parent
// once per walk, so that a walk over many folders does not read the whole table for
// each of them. Folders are walked with an explicit stack, each once: a folder reached a
// second time (two entries naming the same first cluster, or a link back to an
// ancestor) is passed over, so its files are saved once.
class Walker {
 public:
  Walker(Session& session, SaveJob& job, Walk mode)
      : s_(session), job_(job), scan_(job.scan), mode_(mode), ntfs_(job.scan.fileSystem() == FileSystem::Ntfs) {}

  // A listed folder (file-list source) saved into destFolder: its own files, then each
  // subfolder of the tree.
  void folder(TreeItem treeItem, std::uint32_t id, const std::string& destFolder,
              const std::string& name, bool deleted) {
    struct Step {
      TreeItem item;
      std::uint32_t id;
      std::string name;
      bool deleted;
      std::size_t level;
    };
    FolderLadder ladder(destFolder);
    std::vector<Step> stack{{treeItem, id, name, deleted, 1}};
    while (!stack.empty() && !job_.stopSaving) {
      Step step = std::move(stack.back());
      stack.pop_back();
      if (!firstVisit(step.id)) continue;
      ladder.enter(step.level, step.name);
      const int fd = mode_ == Walk::Save ? ladder.folder() : AT_FDCWD;
      folderFiles(ladder.path(), fd, step.id, step.deleted);
      const auto children = scan_.folderTree.children(step.item);
      for (auto child = children.rbegin(); child != children.rend(); ++child) {
        FolderRecord record;
        // A child without a catalogue record has no files to find; its subfolders may.
        const bool found = scan_.catalogue.findTreeItem(*child, &record);
        stack.push_back({*child, found ? record.selfId : 0, scan_.folderTree.text(*child),
                         found && record.deleted == 1, step.level + 1});
      }
    }
  }

  // The checked folders below item (folder-tree source), each saved into a copy of its
  // tree path under the destination.
  void checked(TreeItem item) {
    TreeModel& tree = scan_.folderTree;
    if (mode_ == Walk::Save) job_.destinationFolder = withSlash(job_.destinationFolder);
    FolderLadder ladder(job_.destinationFolder);
    // Levels are tree depths below the root; item's own path comes first.
    std::vector<TreeItem> above;
    for (TreeItem at = item; at != kNoItem && at != tree.root(); at = tree.parent(at)) {
      above.push_back(at);
      if (above.size() > tree.size()) break;
    }
    std::size_t level = 0;
    for (auto it = above.rbegin(); it != above.rend(); ++it) ladder.enter(++level, tree.text(*it));
    std::vector<std::pair<TreeItem, std::size_t>> stack{{item, level}};
    while (!stack.empty() && !job_.stopSaving) {
      const auto [at, atLevel] = stack.back();
      stack.pop_back();
      if (tree.state(at) == kUnchecked) continue;
      const auto children = tree.children(at);
      for (auto child = children.rbegin(); child != children.rend(); ++child)
        stack.push_back({*child, atLevel + 1});
      if (at == item) continue;
      ladder.enter(atLevel, tree.text(at));
      if (tree.state(at) != kChecked) continue;
      const int fd = mode_ == Walk::Save ? ladder.folder() : AT_FDCWD;
      treeFolderFiles(ladder.path(), fd, at);
    }
  }

  void countFile(std::uint64_t size) {
    const int files = ++job_.filesToSave;
    job_.bytesToSave += size;
    s_.report->saveCounted(files);
  }

 private:
  // The files of a checked folder: its key is its tree item, found in the catalogue.
  void treeFolderFiles(const std::string& folderPath, int fd, TreeItem item) {
    if (job_.stopSaving) return;
    std::uint32_t id = static_cast<std::uint32_t>(item);
    bool deleted = false;
    if (ntfs_ || scan_.catalogue.recordCount() > 0) {
      FolderRecord record;
      if (!scan_.catalogue.findTreeItem(item, &record)) return;
      id = record.selfId;
      deleted = record.deleted == 1;
    }
    if (firstVisit(id)) folderFiles(folderPath, fd, id, deleted);
  }

  // True the first time a folder's own files are asked for in this walk.
  bool firstVisit(std::uint32_t id) {
    return id == 0 || id == kLostId || visited_.insert(id).second;
  }

  void folderFiles(const std::string& folderPath, int fd, std::uint32_t id, bool deleted) {
    if (ntfs_)
      ntfsFolderFiles(folderPath, fd, id);
    else
      fatFolderFiles(folderPath, fd, id, deleted);
  }

  // One FAT folder's own files, read from its directory entries on the disk.
  void fatFolderFiles(const std::string& folderPath, int fd, std::uint32_t cluster,
                      bool folderDeleted) {
    if (job_.stopSaving) return;
    if (cluster == 0 || cluster == kLostId) return;
    const VolumeParameters& v = scan_.workingVolume;
    const ClusterChain chain = walkFileChain(s_, v, cluster);
    EntryStarts starts(s_, v, cluster, s_.partitionSelection.lastSector);
    for (const DirectorySector& place : chainSectors(v, chain)) {
      if (job_.stopSaving) return;
      std::array<std::uint8_t, 512> sector{};
      // A directory sector that cannot be read ends the folder's listing.
      if (!readDiskSectors(s_, place.number, 1, sector).delivered()) return;
      for (std::size_t i = 0; i < de::kPerSector; ++i) {
        if (job_.stopSaving) return;
        auto entry = std::span<const std::uint8_t>(sector).subspan(i * de::kSize, de::kSize);
        if (entry[0] == 0) return;  // the end of the directory
        const std::uint8_t attributes = entry[de::kAttributes];
        if (isDotEntry(entry) || attributes == de::kLongNameAttributes || (attributes & de::kDirectoryBit))
          continue;
        ShortName shortName = buildShortName(entry);
        if (!isPlausibleName(shortName.name) || !(folderDeleted || shortName.deleted)) continue;
        const std::uint32_t first = starts.of(entry, shortName.deleted);
        auto name = decodeEntryName(s_, sector, i * de::kSize, place);
        if (!name) continue;
        const std::uint32_t d = u16le(entry, de::kDate);
        if (!job_.options.datePasses({static_cast<int>(d & 0x1F), static_cast<int>((d >> 5) & 0x0F),
                                      static_cast<int>((d >> 9) + 1980)}))
          continue;
        const std::uint32_t size = u32le(entry, de::kFileSize);
        if (mode_ == Walk::Count) {
          if (job_.options.extensionPasses(name->name)) countFile(size);
        } else {
          saveFatFile(s_, job_, folderPath + safeComponent(name->name), name->name, size, first,
                      true, true, fd);
        }
      }
    }
  }

  // One NTFS folder's own files: the deleted file entries whose parent it is.
  void ntfsFolderFiles(const std::string& folderPath, int fd, std::uint32_t folderNumber) {
    if (job_.stopSaving) return;
    // "Lost" holds the orphaned files, whose parent reference led to no folder.
    if (folderNumber == 0) return;
    if (!indexed_) {
      NtfsEntryTable files(scan_, EntryKind::File);
      for (std::size_t i = 0; i < files.size(); ++i) byParent_[files.parent(i)].push_back(i);
      indexed_ = true;
    }
    auto at = byParent_.find(folderNumber);
    if (at == byParent_.end()) return;
    NtfsEntryTable files(scan_, EntryKind::File);
    for (std::size_t i : at->second) {
      if (job_.stopSaving) return;
      if (i >= files.size() || files.self(i) < kFirstListedRecord || !files.deleted(i)) continue;
      NtfsEntry entry = files.entry(i);
      if (entry.name.empty()) continue;
      CivilTime t{};
      if (job_.options.dateFilterActive() &&
          (!fileTimeToCivil(entry.fileTime(), t) || !job_.options.datePasses({t.day, t.month, t.year})))
        continue;
      if (mode_ == Walk::Count) {
        if (job_.options.extensionPasses(entry.name)) countFile(entry.size);
      } else {
        saveNtfsFile(s_, job_, folderPath + safeComponent(entry.name), entry.name, entry.size,
                     entry.sector, true, true, fd);
      }
    }
  }

  Session& s_;
  SaveJob& job_;
  ScanState& scan_;
  Walk mode_;
  bool ntfs_;
  bool indexed_ = false;
  std::unordered_map<std::uint32_t, std::vector<std::size_t>> byParent_;
  std::unordered_set<std::uint32_t> visited_;
};

}  // namespace

ListItem parseListItem(const FileRow& row) {
  ListItem item;
  item.name = row.columns[kColName];
  item.type = row.columns[kColType];
  item.size = 0;
  for (char c : row.columns[kColSize]) {
    if (c < '0' || c > '9') break;
    item.size = item.size * 10 + static_cast<std::uint64_t>(c - '0');
  }
  auto number = [](const std::string& text) {
    std::uint64_t v = 0;
    for (char c : text) {
      if (c < '0' || c > '9') return std::uint64_t{0};
      v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return v;
  };
  item.location = static_cast<std::uint32_t>(number(row.columns[kColDebug1]));
  item.treeItem = static_cast<TreeItem>(number(row.columns[kColDebug3]));
  item.isFile = endsWith(item.type, "FILE") || endsWith(item.type, "File") || endsWith(item.type, "file");
  item.isFolder = endsWith(item.type, "FOLDER") || endsWith(item.type, "Folder");
  item.deleted = item.type.rfind("Deleted", 0) == 0;
  return item;
}

std::string itemPath(const TreeModel& tree, TreeItem item) {
  if (item == tree.root() || item == kNoItem) return "";
  std::vector<std::string> parts;
  for (TreeItem at = item; at != kNoItem && at != tree.root(); at = tree.parent(at)) {
    parts.push_back(tree.text(at));
    if (parts.size() > tree.size()) break;
  }
  std::string path;
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += *it;
  }
  return path;
}

std::string itemFolderPath(const TreeModel& tree, TreeItem item) {
  std::vector<std::string> parts;
  for (TreeItem at = item; at != kNoItem && at != tree.root(); at = tree.parent(at)) {
    parts.push_back(safeComponent(tree.text(at)));
    if (parts.size() > tree.size()) break;
  }
  std::string path;
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) path += (path.empty() ? "" : "/") + *it;
  return path;
}

void createFolderPath(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0755);
  }
}

void saveListItems(Session& session, SaveJob& job) {
  job.startTime = static_cast<std::int64_t>(std::time(nullptr));
  const std::string destination = withSlash(job.destinationFolder);
  job.filesSaved = 0;
  createFolderPath(destination);
  if (!isDirectory(destination)) {
    session.messageBox("Inavlid Path");
    ++job.outcome.writeFailures;
    return;
  }
  const FileSystem fs = job.scan.fileSystem();
  const bool fat = isFat(fs);
  if ((!fat && fs != FileSystem::Ntfs) || !job.fileList) return;
  Walker walker(session, job, Walk::Save);
  for (std::size_t i : job.fileList->chosen(job.options.selectionMode)) {
    if (job.stopSaving) return;
    ListItem item = parseListItem(job.fileList->row(i));
    if (item.isFile) {
      if (fat)
        saveFatFile(session, job, destination + safeComponent(item.name), item.name,
                    static_cast<std::uint32_t>(item.size), item.location, true, item.deleted);
      else
        saveNtfsFile(session, job, destination + safeComponent(item.name), item.name, item.size, item.location,
                     true, item.deleted);
    } else if (item.isFolder) {
      session.report->saveFolderStarted(destination);
      walker.folder(item.treeItem, item.location, destination, item.name, item.deleted);
    }
  }
}

void saveCheckedFolders(Session& session, SaveJob& job, TreeItem item) {
  Walker(session, job, Walk::Save).checked(item == kNoItem ? job.scan.folderTree.root() : item);
}

void countListItems(Session& session, SaveJob& job) {
  job.filesToSave = 0;
  job.bytesToSave = 0;
  job.bytesSaved = 0;
  if (!job.fileList) return;
  Walker walker(session, job, Walk::Count);
  for (std::size_t i : job.fileList->chosen(job.options.selectionMode)) {
    ListItem item = parseListItem(job.fileList->row(i));
    if (item.isFile)
      walker.countFile(item.size);
    else if (item.isFolder)
      walker.folder(item.treeItem, item.location, "", item.name, item.deleted);
  }
}

void countCheckedFolders(Session& session, SaveJob& job, TreeItem item) {
  Walker(session, job, Walk::Count).checked(item == kNoItem ? job.scan.folderTree.root() : item);
}

void runSizeCalculation(Session& session, SaveJob& job) {
  if (job.source == SaveSource::FileList) {
    countListItems(session, job);
    return;
  }
  job.filesToSave = 0;
  job.bytesToSave = 0;
  job.bytesSaved = 0;
  countCheckedFolders(session, job, job.scan.folderTree.root());
}

void runSave(Session& session, SaveJob& job) {
  session.deviceWatch.reset();
  // A stop asked for before the walk begins (a signal between two walks) is kept.
  job.done = false;
  job.replacePolicy = ReplaceAnswer::Yes;
  if (job.source == SaveSource::FileList) {
    saveListItems(session, job);
  } else {
    job.startTime = static_cast<std::int64_t>(std::time(nullptr));
    saveCheckedFolders(session, job, job.scan.folderTree.root());
  }
  if (job.outcome.sourceFailures > 0 && session.deviceLost())
    session.messageBox(
        "The disk " + session.selectedDiskDescription() +
            " stopped answering. The save ended there; the file being saved is incomplete.",
        MessageButtons::Ok, MessageIcon::Error);
  job.stopped = job.stopSaving.load();
  job.stopSaving = false;
  job.done = true;
}

}  // namespace tessaly

namespace tessaly {

std::optional<std::string> acceptDestination(Session& session, const std::string& path) {
  const std::string folder = path.substr(0, 1024);
  if (!isDirectory(folder) && ::mkdir(folder.c_str(), 0755) != 0) {
    session.messageBox(session.text(msg::kFailedToCreate) + folder, MessageButtons::Ok, MessageIcon::Error);
    return std::nullopt;
  }
  return folder;
}

}  // namespace tessaly
