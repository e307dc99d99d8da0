// The steps of an Advanced scan (FAT and NTFS), as the scan thread and the file-system thread run
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

// The sweep of an NTFS selection's range for MFT records, index blocks and boot sectors,
// and the resolution that numbers the records and finds the volumes. A stopped sweep
// goes on with what it found. NoFileSystem (the reason shown) when the range reaches
// beyond sector 2^32 − 1 or the spill file cannot be made.
ScanEnd runAdvancedNtfsSearch(Session& session, ScanState& scan);

// The Advanced search of the selection's file system: FAT16 and FAT32, or NTFS.
ScanEnd runAdvancedSearch(Session& session, ScanState& scan);

// Prepares row `chosen` (0-based) of scan.fileSystems, a FAT or an NTFS volume, and
// builds its tree. False when the row does not exist or cannot be prepared.
bool prepareChosen(Session& session, ScanState& scan, std::size_t chosen);

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
