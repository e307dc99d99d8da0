// The file rows of a FAT folder: its recoverable files, read from its directory entries
// on the disk each time the folder is listed.
#pragma once

#include <cstdint>
#include <vector>

#include "session/file_rows.h"

namespace tessaly {

class Session;
struct VolumeParameters;

// The deleted files of the folder whose first cluster is folderId (0: the root
// directory), or every file when the folder itself is deleted.
std::vector<FileRow> listFatFiles(Session& session, const VolumeParameters& volume, std::uint32_t folderId,
                                  bool folderDeleted);

}  // namespace tessaly
