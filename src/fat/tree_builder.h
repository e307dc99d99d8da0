// Turns the flat table of folders a scan found into the folder tree and, through
// insertFolder, into the scan catalogue. On FAT it also names the folders from their
// parents' directory entries, since the sweep knows them only by cluster number.
#pragma once

#include <cstdint>
#include <string>

#include "fat/directory_entry.h"
#include "session/tree_model.h"

namespace tessaly {

class Session;
struct ScanState;

// Builds the tree of a FAT scan from scan.directoryTable (either mode). Returns 1.
int buildFatTree(Session& session, ScanState& scan);

// Builds the tree of an NTFS scan from the NTFS folder table (either storage): "Lost" and
// the folders of the root directory (record 5) at the top, every folder below the folder
// whose record number is its parent. No names are read from the disk. Returns 1.
int buildNtfsTree(Session& session, ScanState& scan);

// Builds the tree of a FAT16 or FAT32 recovery log from scan.directoryTable (either
// mode): the names and deleted marks come from the log, so nothing is read from the disk
// and every folder's names count as resolved. The table is emptied afterwards. Returns 1.
int buildLoadedTree(Session& session, ScanState& scan);

// Inserts the child folders of one catalogued folder (parentText: its id as "%d" text).
// mode 'y' names the children from the disk first. On an NTFS volume the children come
// from the NTFS folder table and are never named from the disk.
void insertChildren(Session& session, ScanState& scan, const std::string& parentText, TreeItem item, char mode,
                    std::uint32_t parentId, std::uint32_t deleted);

// Names the child rows of the folder whose first cluster is a, from its directory entries.
void nameChildren(Session& session, ScanState& scan, std::uint32_t a, std::uint32_t parentId, std::size_t start,
                  std::uint32_t folderDeleted);

// The renaming used when a folder whose names are not resolved is opened: names the
// catalogued children of folder a from one directory sector. 0 at the end of the directory.
int renameChildrenInSector(Session& session, ScanState& scan, DirectorySector sector, std::uint32_t a, TreeItem item);

// The expand handling of a folder item: resolves its children's names once.
void resolveChildNames(Session& session, ScanState& scan, TreeItem item);

}  // namespace tessaly
