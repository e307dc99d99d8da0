// Which files a save takes and where each one goes, and the size calculation that counts
// them first. The source is the file list (its chosen rows, folders with their
// subfolders) or the folder tree (every checked folder's own files, into a copy of its
// tree path). Inside a folder only recoverable files are taken: on FAT
// every file of a deleted folder and the deleted files of any other; on NTFS the deleted
// files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "session/file_rows.h"
#include "session/tree_model.h"

namespace tessaly {

class Session;
struct SaveJob;

// The body of the save thread: the walk of job.source, then job.done. A save that ended
// because the scanned disk stopped answering says so in a message naming the disk.
void runSave(Session& session, SaveJob& job);
// The body of the size-calculation thread: filesToSave and bytesToSave.
void runSizeCalculation(Session& session, SaveJob& job);

void saveListItems(Session& session, SaveJob& job);
void saveCheckedFolders(Session& session, SaveJob& job, TreeItem item);
void countListItems(Session& session, SaveJob& job);
void countCheckedFolders(Session& session, SaveJob& job, TreeItem item);

// Creates every folder along a path; folders that exist or cannot be made are passed over.
void createFolderPath(const std::string& path);

// The path of a tree item below the root for showing ("A\B"; the root's path is empty).
std::string itemPath(const TreeModel& tree, TreeItem item);
// The same path as folders under a destination ("A/B"), each name made safe.
std::string itemFolderPath(const TreeModel& tree, TreeItem item);

// What a file-list row is to the save walks.
struct ListItem {
  std::string name;
  std::string type;
  std::uint64_t size = 0;
  std::uint32_t location = 0;  // FAT: first cluster; NTFS file: record sector; NTFS folder: record number
  TreeItem treeItem = kNoItem;
  bool isFile = false;
  bool isFolder = false;
  bool deleted = false;
};
ListItem parseListItem(const FileRow& row);

}  // namespace tessaly

namespace tessaly {

// The File Saving dialog's OK: the folder typed is the destination; a folder that does
// not exist is created (one level). When it cannot be, "Failed to create " and the path
// are shown and nothing is returned (the dialog stays open).
std::optional<std::string> acceptDestination(Session& session, const std::string& path);

}  // namespace tessaly
