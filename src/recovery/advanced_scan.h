// The steps of an Advanced FAT scan, as the scan thread and the file-system thread run
// them, and the texts that show a file system found: its item in the file-system tree
// and its four summary rows.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "fat/file_system_lists.h"
#include "recovery/quick_scan.h"

namespace tessaly {

class Session;
struct ScanState;

// The sweep of session.partitionSelection's range and the identification of the file
// systems in it (FAT16 and FAT32 selections; NotAvailable for any other). A sweep whose
// disk stops answering is identified from what it found, and the message is shown.
ScanEnd runAdvancedFatSearch(Session& session, ScanState& scan);

// "File System n - TYPE" for row index i.
std::string fileSystemItemText(std::size_t i, const FileSystemRow& row);
// "File System - n", "Partition Type : TYPE", "File System Start : SECTOR",
// "Sectors Per Clusters : N".
std::vector<std::string> fileSystemSummaryRows(std::size_t i, const FileSystemRow& row);
// The number n of a file-system item's text: the first 12 characters ("File System ")
// and the type's " - FAT16" (8 characters, FAT selections) or " - NTFS" (7) dropped.
// Nothing when the text is no file-system item.
std::optional<std::size_t> fileSystemNumberOfItem(const std::string& text, bool fatSelection);

}  // namespace tessaly
