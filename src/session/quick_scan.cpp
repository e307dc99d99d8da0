#include "session/quick_scan.h"

#include "fat/directory_sweep.h"
#include "fat/quick_scan.h"
#include "fat/tree_builder.h"
#include "ntfs/entry_tables.h"
#include "ntfs/mft_quick_scan.h"
#include "ntfs/run_list.h"
#include "session/session.h"

namespace tessaly {

namespace {

// The Quick scan of an NTFS volume: the $MFT's runs from the boot sector's layout, the
// walk over its records, the lost-folder check and the tree.
void runQuickNtfsScan(Session& session) {
  Controls& ui = *session.controls;
  if (session.folderTree.root() == kNoItem) resetResults(session);
  // No entry of an earlier scan may outlive this one, even when it ends early.
  releaseEntryTables(session);
  session.workingVolume = session.volume;
  session.workingVolume.fileSystem = session.partitionSelection.fileSystem;
  const VolumeParameters& v = session.workingVolume;
  buildMftRunList(session, v.cluster0Sector, v.mftStart, v.sectorsPerCluster);
  ui.setText(control::kFoundLabel, "MFT Found");
  scanMftQuick(session);
  ui.setText(control::kStatusLine, session.text(184, "Searching Lost Directories. Please Wait..."));
  markLostNtfsFolders(session);
  ui.setText(control::kStatusLine, session.text(78, "Building Folder Tree. Please Wait..."));
  buildNtfsTree(session);
}

}  // namespace

bool runQuickScan(Session& session) {
  const std::string& fs = session.partitionSelection.fileSystem;
  if (fs == "FAT12" || fs == "FAT16" || fs == "FAT32") {
    runQuickFatScan(session);
    return true;
  }
  if (fs == "NTFS") {
    runQuickNtfsScan(session);
    return true;
  }
  return false;
}

void finishStoppedScan(Session& session) {
  session.workingVolume = session.volume;
  session.workingVolume.fileSystem = session.partitionSelection.fileSystem;
  if (session.folderTree.root() == kNoItem) resetResults(session);
  if (session.workingVolume.fileSystem == "NTFS") {
    markLostNtfsFolders(session);
  } else {
    markLostDirectories(session);
  }
  session.controls->setText(control::kStatusLine,
                            session.text(78, "Building Folder Tree. Please Wait..."));
  if (session.workingVolume.fileSystem == "NTFS")
    buildNtfsTree(session);
  else
    buildFatTree(session);
}

}  // namespace tessaly
