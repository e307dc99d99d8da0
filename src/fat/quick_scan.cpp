#include "fat/quick_scan.h"

#include "fat/directory_sweep.h"
#include "fat/tree_builder.h"
#include "partition/volume.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

void resetResults(ScanState& scan) {
  scan.folderTree.clear();
  scan.folderTree.insert(kNoItem, "Root", kImageClosedFolder, kImageClosedFolder);
  scan.catalogue.nodes.clear();
  scan.catalogue.folderCount = 0;
}

void runQuickFatScan(Session& session, ScanState& scan) {
  PartitionSelection& selection = session.partitionSelection;
  Report& report = *session.report;
  if (scan.folderTree.root() == kNoItem) resetResults(scan);

  if (selection.fileSystem == FileSystem::Fat12 && session.floppySelected()) {
    report.counterLabel(Counter::FoldersFound, session.text(msg::kDirectoriesFound));
    // The floppy's layout is fixed; the sweep needs it.
    scan.volume = floppyParameters();
    sweepDirectories(session, scan);
    scan.workingVolume = floppyParameters();
  } else {
    if (scan.partitionValid == 0 && calculatePartitionParameters(session, scan.volume, &scan.stopRequested) == 0) {
      session.messageBox(session.text(msg::kCannotCalculateParameters), MessageButtons::Ok, MessageIcon::Error);
    }
    report.status(session.text(msg::kSearchingLostDirectories));
    report.stopOffered(true);
    sweepDirectories(session, scan);
    scan.workingVolume = scan.volume;
  }
  scan.workingVolume.fileSystem = selection.fileSystem;
  markLostDirectories(session, scan);
  report.status(session.text(msg::kBuildingFolderTree));
  buildFatTree(session, scan);
}

}  // namespace tessaly
