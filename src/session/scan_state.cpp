#include "session/scan_state.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

ScanState::~ScanState() {
  releaseScanState(*this);
}

void releaseScanState(ScanState& scan) {
  scan.sweepRunning = false;
  scan.stopRequested = false;
  ScanCatalogue& catalogue = scan.catalogue;
  catalogue.close();
  if (!catalogue.path().empty()) {
    struct stat st {};
    if (::lstat(catalogue.path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      ::chmod(catalogue.path().c_str(), 0644);
      ::unlink(catalogue.path().c_str());
    }
  }
  // The directory table, and the NTFS folder and file tables in both their storages.
  std::vector<NtfsEntry>().swap(scan.folderEntries);
  std::vector<NtfsEntry>().swap(scan.fileEntries);
  scan.entryTablesOk = false;
  scan.directoryTable.release();
  scan.fileTable.release();
  // The Advanced FAT lists.
  BootSectorList().swap(scan.bootSectors);
  DirectorySectorList().swap(scan.directorySectors);
  FileSystemList().swap(scan.fileSystems);
  scan.identifyStatus = IdentifyStatus::NotRun;
  // The Advanced NTFS tables and the spill file.
  scan.spillFile.remove();
  std::vector<IndexBlockRow>().swap(scan.indexBlocks.rows);
  std::vector<NtfsBootCandidate>().swap(scan.bootCandidates);
  std::vector<NtfsFolderRow>().swap(scan.ntfsFolders);
  scan.folderRecordCount = 0;
  scan.assignedCount = 0;
}

}  // namespace tessaly
