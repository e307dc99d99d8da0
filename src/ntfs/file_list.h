// The file rows of an NTFS folder: its deleted files, taken from the NTFS file table (in
// either storage) each time the folder is listed.
#pragma once

#include <cstdint>
#include <vector>

#include "session/file_rows.h"

namespace tessaly {

struct ScanState;

// The rows of the deleted files whose parent is record folderId (own numbers below 20
// left out), in table order: name and icon, type text, the full 64-bit size, the date
// and time of the creation FILETIME, the record's sector, the parent number and the own
// record number.
std::vector<FileRow> listNtfsFiles(ScanState& scan, std::uint32_t folderId);

}  // namespace tessaly
