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
// After each file, a row for each of its named streams: "NAME:STREAM", of type
// kStreamTypeText, with the stream's size and the file's other columns.
std::vector<FileRow> listNtfsFiles(ScanState& scan, std::uint32_t folderId);

// The type text of a named stream's row.
inline constexpr const char* kStreamTypeText = "Stream";

}  // namespace tessaly
