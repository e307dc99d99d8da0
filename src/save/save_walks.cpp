#include "save/save_walks.h"

#include <sys/stat.h>

#include <array>
#include <ctime>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "fat/cluster_chain.h"
#include "fat/directory_entry.h"
#include "save/save_engine.h"
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

bool isFatVolume(const Session& s) { return s.workingVolume.isFat(); }

void countFile(Session& session, std::uint64_t size) {
  const int files = ++session.filesToSave;
  session.bytesToSave += size;
  session.controls->setText(control::kSaveTotalCount, std::to_string(files));
}

// One FAT folder's own files, read from its directory entries on the disk.
void walkFatFolderFiles(Session& session, Walk mode, const std::string& folderPath, std::uint32_t cluster,
                        bool folderDeleted) {
  if (session.stopSaving) return;
  if (cluster == 0 || cluster == kLostId) return;
  const std::string& fs = session.workingVolume.fileSystem;
  session.fileChain.clear();
  walkFileChain(session, cluster);
  ClusterChain chain = std::move(session.fileChain);
  session.fileChain.clear();
  for (const DirectorySector& place : chainSectors(session, chain)) {
    if (session.stopSaving) return;
    std::array<std::uint8_t, 512> sector{};
    readDiskSectors(session, place.number, 1, sector);
    for (std::size_t i = 0; i < de::kPerSector; ++i) {
      if (session.stopSaving) return;
      auto entry = std::span<const std::uint8_t>(sector).subspan(i * de::kSize, de::kSize);
      if (entry[0] == 0) return;  // the end of the directory
      const std::uint8_t attributes = entry[de::kAttributes];
      if (isDotEntry(entry) || attributes == de::kLongNameAttributes || (attributes & de::kDirectoryBit))
        continue;
      const std::uint32_t first = fs == "FAT32" ? entryCluster(entry, fs) : u16le(entry, de::kClusterLow);
      ShortName shortName = buildShortName(entry);
      if (!isPlausibleName(shortName.name) || !(folderDeleted || shortName.deleted)) continue;
      auto name = decodeEntryName(session, sector, i * de::kSize, place);
      if (!name) continue;
      const std::uint32_t d = u16le(entry, de::kDate);
      if (!session.options.datePasses({static_cast<int>(d & 0x1F), static_cast<int>((d >> 5) & 0x0F),
                                       static_cast<int>((d >> 9) + 1980)}))
        continue;
      const std::uint32_t size = u32le(entry, de::kFileSize);
      if (mode == Walk::Count) {
        if (session.options.extensionPasses(name->name)) countFile(session, size);
      } else {
        saveFatFile(session, folderPath + safeComponent(name->name), name->name, size, first, true, true);
      }
    }
  }
}

// A listed FAT folder: its own files, then each subfolder of the tree.
void walkFatFolder(Session& session, Walk mode, TreeItem treeItem, std::uint32_t cluster,
                   const std::string& destFolder, const std::string& name, bool deleted, int depth) {
  if (session.stopSaving) return;
  std::string folderPath = destFolder + safeComponent(name);
  if (mode == Walk::Save) createFolderPath(folderPath);
  folderPath = withSlash(folderPath);
  walkFatFolderFiles(session, mode, folderPath, cluster, deleted);
  if (depth > 4096) return;  // a tree cannot be deeper than it has folders
  for (TreeItem child : session.folderTree.children(treeItem)) {
    if (session.stopSaving) return;
    FolderRecord record;
    // A child without a catalogue record has no files to find; its subfolders may.
    const bool found = session.catalogue.findTreeItem(child, &record);
    walkFatFolder(session, mode, child, found ? record.selfId : 0, folderPath,
                  session.folderTree.text(child), found && record.deleted == 1, depth + 1);
  }
}

// The files of a checked folder of the tree (saveSource 1).
void walkTreeFolderFiles(Session& session, Walk mode, const std::string& folderPath, TreeItem item) {
  if (session.stopSaving) return;
  std::uint32_t cluster = static_cast<std::uint32_t>(item);
  bool deleted = false;
  if (session.catalogue.recordCount() > 0) {
    FolderRecord record;
    if (!session.catalogue.findTreeItem(item, &record)) return;
    cluster = record.selfId;
    deleted = record.deleted == 1;
  }
  if (isFatVolume(session)) walkFatFolderFiles(session, mode, folderPath, cluster, deleted);
}

void walkCheckedFolders(Session& session, Walk mode, TreeItem item, int depth) {
  TreeModel& tree = session.folderTree;
  if (tree.state(item) == kUnchecked) return;
  for (TreeItem child : tree.children(item)) {
    if (session.stopSaving) return;
    if (tree.state(child) == kChecked) {
      std::string path;
      if (mode == Walk::Save) {
        session.destinationFolder = withSlash(session.destinationFolder);
        path = session.destinationFolder + itemFolderPath(tree, child);
        createFolderPath(path);
        path = withSlash(path);
      }
      walkTreeFolderFiles(session, mode, path, child);
    }
    if (depth < 4096) walkCheckedFolders(session, mode, child, depth + 1);
  }
}

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

void saveListItems(Session& session) {
  session.saveStartTime = static_cast<std::int64_t>(std::time(nullptr));
  const std::string destination = withSlash(session.destinationFolder);
  session.filesSaved = 0;
  createFolderPath(destination);
  if (!isDirectory(destination)) {
    session.messageBox("Inavlid Path");
    ++session.saveOutcome.writeFailures;
    return;
  }
  const std::string fs = session.workingVolume.fileSystem;
  for (std::size_t i : session.fileList.chosen(session.options.selectionMode)) {
    if (session.stopSaving) return;
    ListItem item = parseListItem(session.fileList.row(i));
    if (fs == "FAT12" || fs == "FAT16" || fs == "FAT32") {
      if (item.isFile) {
        saveFatFile(session, destination + safeComponent(item.name), item.name,
                    static_cast<std::uint32_t>(item.size), item.location, true, item.deleted);
      } else if (item.isFolder) {
        session.controls->setText(control::kSaveFilePath, destination);
        walkFatFolder(session, Walk::Save, item.treeItem, item.location, destination, item.name, item.deleted, 0);
      }
    } else if (fs == "NTFS") {
      if (item.isFile) {
        saveNtfsFile(session, destination + safeComponent(item.name), item.name, item.size, item.location, true,
                     item.deleted);
      }
    }
  }
}

void saveCheckedFolders(Session& session, TreeItem item) {
  walkCheckedFolders(session, Walk::Save, item == kNoItem ? session.folderTree.root() : item, 0);
}

void countListItems(Session& session) {
  session.filesToSave = 0;
  session.bytesToSave = 0;
  session.bytesSaved = 0;
  const bool fat = isFatVolume(session);
  for (std::size_t i : session.fileList.chosen(session.options.selectionMode)) {
    ListItem item = parseListItem(session.fileList.row(i));
    if (item.isFile) {
      countFile(session, item.size);
    } else if (item.isFolder && fat) {
      walkFatFolder(session, Walk::Count, item.treeItem, item.location, "", item.name, item.deleted, 0);
    }
  }
}

void countCheckedFolders(Session& session, TreeItem item) {
  walkCheckedFolders(session, Walk::Count, item == kNoItem ? session.folderTree.root() : item, 0);
}

void runSizeCalculation(Session& session) {
  if (session.saveSource == 2) {
    countListItems(session);
    return;
  }
  session.filesToSave = 0;
  session.bytesToSave = 0;
  session.bytesSaved = 0;
  countCheckedFolders(session, session.folderTree.root());
}

void runSave(Session& session) {
  session.stopSaving = 0;
  session.saveDone = 0;
  session.replacePolicy = 0;
  if (session.saveSource == 2) {
    saveListItems(session);
  } else if (session.saveSource == 1) {
    session.saveStartTime = static_cast<std::int64_t>(std::time(nullptr));
    saveCheckedFolders(session, session.folderTree.root());
  }
  session.stopSaving = 0;
  session.saveDone = 1;
}

}  // namespace tessaly

namespace tessaly {

bool acceptDestination(Session& session, const std::string& path) {
  const std::string folder = path.substr(0, 1024);
  if (!isDirectory(folder) && ::mkdir(folder.c_str(), 0755) != 0) {
    session.messageBox(session.text(193, "Failed to create ") + folder, MessageButtons::Ok, MessageIcon::Error);
    return false;
  }
  session.destinationFolder = folder;
  return true;
}

}  // namespace tessaly
