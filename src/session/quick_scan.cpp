#include "session/quick_scan.h"

#include "fat/directory_sweep.h"
#include "fat/quick_scan.h"
#include "fat/tree_builder.h"
#include "session/session.h"

namespace tessaly {

bool runQuickScan(Session& session) {
  const std::string& fs = session.partitionSelection.fileSystem;
  if (fs == "FAT12" || fs == "FAT16" || fs == "FAT32") {
    runQuickFatScan(session);
    return true;
  }
  return false;
}

void finishStoppedScan(Session& session) {
  session.workingVolume = session.volume;
  session.workingVolume.fileSystem = session.partitionSelection.fileSystem;
  if (session.folderTree.root() == kNoItem) resetResults(session);
  markLostDirectories(session);
  session.controls->setText(control::kStatusLine,
                            session.text(78, "Building Folder Tree. Please Wait..."));
  buildFatTree(session);
}

}  // namespace tessaly
