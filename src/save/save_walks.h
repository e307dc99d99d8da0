// Which files a save takes and where each one goes, and the size calculation that counts
// them first. The source is the file list (saveSource 2: its chosen rows, folders with
// their subfolders) or the folder tree (saveSource 1: every checked folder's own files,
// into a copy of its tree path). Inside a folder only recoverable files are taken: on FAT
// every file of a deleted folder and the deleted files of any other; on NTFS the deleted
// files.
#pragma once

#include <cstdint>
#include <string>

#include "session/file_rows.h"
#include "session/tree_model.h"

namespace tessaly {

class Session;

// The body of the save thread: the walk of session.saveSource, then saveDone.
void runSave(Session& session);
// The body of the size-calculation thread: filesToSave and bytesToSave.
void runSizeCalculation(Session& session);

void saveListItems(Session& session);
void saveCheckedFolders(Session& session, TreeItem item);
void countListItems(Session& session);
void countCheckedFolders(Session& session, TreeItem item);

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

// The File Saving dialog's OK: the folder typed becomes destinationFolder; a folder that
// does not exist is created (one level). When it cannot be, "Failed to create " and the
// path are shown and false is returned (the dialog stays open).
bool acceptDestination(Session& session, const std::string& path);

}  // namespace tessaly

namespace tessaly {

// A recovery of the checked folders into destinationFolder: counts first, then saves the
// root's own recoverable files through the file list (when rootFiles is true) and every
// checked folder's through the tree, so that the destination mirrors the tree.
void saveRootAndCheckedFolders(Session& session, bool rootFiles);

}  // namespace tessaly
