// What one scan finds and works with, from the moment it starts until the results are
// released: the volume's layout, the engines' tables, the folder tree and its catalogue,
// and the flags that stop it. A front end creates one when a scan starts and holds it as
// the current scan; the engines of that scan fill it, the results views and the saves
// read it afterwards. releaseScanState (or the destructor) gives everything back.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "fat/catalogue.h"
#include "fat/directory_table.h"
#include "fat/file_system_lists.h"
#include "ntfs/entry_tables.h"
#include "ntfs/run_list.h"
#include "ntfs/spill_file.h"
#include "ntfs/sweep_tables.h"
#include "partition/partition_types.h"
#include "session/tree_model.h"

namespace tessaly {

struct ScanState {
  explicit ScanState(std::size_t memoryLimit = std::numeric_limits<std::size_t>::max())
      : mftRuns(memoryLimit) {}
  ~ScanState();
  ScanState(const ScanState&) = delete;
  ScanState& operator=(const ScanState&) = delete;

  // ------------------------------------------------------------------ volume
  VolumeParameters volume;         // computed from the boot sector (or calculated)
  VolumeParameters workingVolume;  // copied from it when the scan proper starts
  std::int16_t partitionValid = 0;
  FileSystem fileSystem() const { return workingVolume.fileSystem; }

  // ------------------------------------------------------------------ FAT engine
  DirectoryTable directoryTable;
  // While a FAT tree is built: the directory-table rows already in the tree (a row goes
  // in once, so a folder that names an ancestor as its child cannot make the tree
  // endless), and the folders whose ".." links were found to reach the root or not, so
  // that each link is read once however deep the tree.
  std::vector<bool> rowsInTree;
  std::unordered_map<std::uint32_t, bool> reachesRoot;

  // ------------------------------------------------------------------ NTFS engine
  // The $MFT's run table: built by buildMftRunList at the start of a Quick NTFS scan,
  // then read by the MFT walk and by sectorOfRecord (scan and save).
  RunTable mftRuns;
  // The folders and files of the Quick NTFS scan (ntfs/entry_tables.h). Table mode
  // (entryTablesOk): the two arrays, folderEntries[0] being "Lost". List mode: the
  // folders are rows of directoryTable, the files rows of fileTable.
  std::vector<NtfsEntry> folderEntries;
  std::vector<NtfsEntry> fileEntries;
  bool entryTablesOk = false;
  DirectoryTable fileTable;
  // The named streams of the files above, in the order of their files.
  std::vector<NtfsStream> ntfsStreams;
  // The extension records of the $MFT, by the first sector of the base record they name.
  std::unordered_map<std::uint32_t, std::vector<NtfsExtension>> ntfsExtensions;

  // ------------------------------------------------------------------ Advanced engines
  // What the Advanced FAT sweep found (fat/file_system_search.h), the file systems made
  // of it and how far that identification got. The user's choice is a row of
  // fileSystems; it stays available for another choice.
  BootSectorList bootSectors;
  DirectorySectorList directorySectors;
  FileSystemList fileSystems;
  IdentifyStatus identifyStatus = IdentifyStatus::NotRun;
  // What the Advanced NTFS sweep found (ntfs/mft_sweep.h): the parsed records in the
  // spill file, the index blocks and the NTFS boot sectors; the count of directory
  // records among the records; and the folder table the reference resolution builds
  // (ntfs/mft_resolution.h). The file systems made of them are rows of fileSystems.
  SpillFile spillFile;
  IndexBlockTable indexBlocks;
  std::vector<NtfsBootCandidate> bootCandidates;
  std::uint32_t folderRecordCount = 0;
  std::vector<NtfsFolderRow> ntfsFolders;
  std::uint64_t assignedCount = 0;

  // ------------------------------------------------------------------ results
  TreeModel folderTree;
  ScanCatalogue catalogue;
  // What the scan had to work around or could not do, for the front ends to show.
  std::vector<std::string> notes;
  // Set when the range scanned ran past the end of the disk and was cut there: what the
  // window tells the user once the results are up (the status line has moved on by then).
  std::string diskEndNote;

  // ------------------------------------------------------------------ control
  // Stop asks the running sweep to end at its next sector; the scan then goes on with
  // what was found.
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> sweepRunning{false};
};

// Discards what a scan found: the stop flags, the information file, the directory
// table and the NTFS tables.
void releaseScanState(ScanState& scan);

}  // namespace tessaly
