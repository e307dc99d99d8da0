#include "fat/quick_scan.h"

#include "fat/directory_sweep.h"
#include "fat/tree_builder.h"
#include "partition/volume.h"
#include "session/session.h"

namespace tessaly {

void resetResults(Session& session) {
  session.folderTree.clear();
  session.folderTree.insert(kNoItem, "Root", kImageClosedFolder, kImageClosedFolder);
  session.catalogue.nodes.clear();
  session.catalogue.folderCount = 0;
}

void runQuickFatScan(Session& session) {
  PartitionSelection& selection = session.partitionSelection;
  Controls& ui = *session.controls;
  if (session.folderTree.root() == kNoItem) resetResults(session);

  if (selection.fileSystem == "FAT12") {
    ui.setText(control::kFoundLabel, session.text(82, "Directories Found"));
    // The floppy's layout is fixed; the sweep needs it.
    session.volume = floppyParameters();
    sweepDirectories(session);
    session.workingVolume = floppyParameters();
  } else {
    if (session.partitionValid == 0 && calculatePartitionParameters(session) == 0) {
      session.messageBox(session.text(140, "Unable to calculate partition parameters"),
                         MessageButtons::Ok, MessageIcon::Error);
    }
    ui.setText(control::kStatusLine,
               session.text(184, "Searching Lost Directories. Please Wait..."));
    ui.focus(control::kStopSearching);
    sweepDirectories(session);
    session.workingVolume = session.volume;
  }
  session.workingVolume.fileSystem = selection.fileSystem;
  markLostDirectories(session);
  ui.setText(control::kStatusLine, session.text(78, "Building Folder Tree. Please Wait..."));
  buildFatTree(session);
}

}  // namespace tessaly
