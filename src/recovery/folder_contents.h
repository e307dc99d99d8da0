// What the file list shows for a folder of the results: its subfolders (from the scan
// catalogue) and then its recoverable files (from the disk on FAT, from the NTFS file
// table on NTFS).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "session/file_rows.h"
#include "session/tree_model.h"

namespace tessaly {

class Session;
struct ScanState;

struct FolderContents {
  std::uint32_t folderId = 0;
  bool deleted = false;
  std::size_t folderRows = 0;  // the first rows are folders, the rest files
  std::vector<FileRow> rows;
};

// The catalogue's folders (their places in catalogue.nodes) by parent id, made once for
// a walk that lists every folder, so that each folder costs its own children only.
using FolderChildIndex = std::unordered_map<std::uint32_t, std::vector<std::size_t>>;
FolderChildIndex indexFolderChildren(const ScanState& scan);

// The rows of the folder of a tree item of the scan, as the file list fills them.
FolderContents listFolder(Session& session, ScanState& scan, TreeItem item,
                          const FolderChildIndex* index = nullptr);

// The folder row texts of a catalogued folder: FAT dates are DOS words, NTFS a FILETIME.
std::string folderDateText(const ScanState& scan, std::uint64_t date);
std::string folderTimeText(const ScanState& scan, std::uint64_t time);

}  // namespace tessaly
