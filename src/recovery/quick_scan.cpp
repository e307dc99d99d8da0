#include "recovery/quick_scan.h"

#include "fat/directory_sweep.h"
#include "fat/quick_scan.h"
#include "fat/tree_builder.h"
#include "ntfs/entry_tables.h"
#include "ntfs/mft_quick_scan.h"
#include "ntfs/run_list.h"
#include "partition/partition_walk.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace {

// The Quick scan of an NTFS volume: the $MFT's runs from the boot sector's layout (record
// 0 from $MFTMirr when its own copy is damaged), the walk over its records, the
// lost-folder check and the tree. False when the $MFT could not be read at all.
bool runQuickNtfsScan(Session& session, ScanState& scan) {
  Report& report = *session.report;
  if (scan.folderTree.root() == kNoItem) resetResults(scan);
  // No entry of an earlier scan may outlive this one, even when it ends early.
  releaseEntryTables(scan);
  scan.notes.clear();
  scan.workingVolume = scan.volume;
  scan.workingVolume.fileSystem = session.partitionSelection.fileSystem;
  const VolumeParameters& v = scan.workingVolume;
  const MftSource source = buildMftRunList(session, scan, v.cluster0Sector, v.mftStart,
                                           v.sectorsPerCluster, v.mftMirrorStart);
  if (source == MftSource::Lost) {
    if (session.deviceLost()) return true;
    scan.notes.push_back(kMftLostMessage);
    report.status(kMftLostMessage);
    return false;
  }
  if (source == MftSource::Mirror) {
    scan.notes.push_back(kMftMirrorNote);
    report.status(kMftMirrorNote);
  }
  report.counterLabel(Counter::FoldersFound, "MFT Found");
  scanMftQuick(session, scan);
  report.status(session.text(msg::kSearchingLostDirectories));
  markLostNtfsFolders(session, scan);
  report.status(session.text(msg::kBuildingFolderTree));
  buildNtfsTree(session, scan);
  return true;
}

}  // namespace

const char* const kMftLostMessage =
    "The MFT of this volume could not be read, nor its copy in $MFTMirr: no file or folder can be "
    "listed from it. Advanced mode can search the disk for its records.";
const char* const kMftMirrorNote = "MFT record 0 read from the mirror";

std::string deviceLostMessage(const Session& session) {
  return "The disk " + session.selectedDiskDescription() +
         " stopped answering. The scan ended there; the folders found until then are listed.";
}

ScanEnd runQuickScan(Session& session, ScanState& scan) {
  // A disk lost by an earlier scan is tried again.
  session.deviceWatch.reset();
  const FileSystem fs = session.partitionSelection.fileSystem;
  // A partition or a range that runs past the end of the disk is scanned up to its end.
  const RangeOnDisk onDisk = clipSelectionToDisk(session);
  if (onDisk.offDisk) {
    session.report->status(onDisk.note);
    session.messageBox(onDisk.note, MessageButtons::Ok, MessageIcon::Information);
    return ScanEnd::NotAvailable;
  }
  if (onDisk.clipped) session.report->status(onDisk.note);
  scan.diskEndNote = onDisk.clipped ? onDisk.note : std::string();
  // The note is kept once the engine has set out the scan's own notes.
  struct KeepNote {
    ScanState& scan;
    const RangeOnDisk& onDisk;
    ~KeepNote() {
      if (onDisk.clipped) scan.notes.insert(scan.notes.begin(), onDisk.note);
    }
  } keepNote{scan, onDisk};
  // The engines count sectors in 32 bits: a volume that reaches past the first 2 TiB of
  // its disk would be read at the wrong sectors, so it is refused rather than misread.
  if (session.partitionSelection.lastSector > UINT32_MAX) {
    session.messageBox(kBeyond32BitMessage, MessageButtons::Ok, MessageIcon::Information);
    return ScanEnd::NotAvailable;
  }
  if (isFat(fs))
    runQuickFatScan(session, scan);
  else if (fs != FileSystem::Ntfs)
    return ScanEnd::NotAvailable;
  else if (!runQuickNtfsScan(session, scan)) {
    session.messageBox(kMftLostMessage, MessageButtons::Ok, MessageIcon::Error);
    return ScanEnd::Unreadable;
  }
  if (!session.deviceLost()) return ScanEnd::Finished;
  const std::string message = deviceLostMessage(session);
  session.report->status(message);
  session.messageBox(message, MessageButtons::Ok, MessageIcon::Error);
  return ScanEnd::DeviceLost;
}

void finishStoppedScan(Session& session, ScanState& scan) {
  scan.workingVolume = scan.volume;
  scan.workingVolume.fileSystem = session.partitionSelection.fileSystem;
  if (scan.folderTree.root() == kNoItem) resetResults(scan);
  const bool ntfs = scan.fileSystem() == FileSystem::Ntfs;
  if (ntfs)
    markLostNtfsFolders(session, scan);
  else
    markLostDirectories(session, scan);
  session.report->status(session.text(msg::kBuildingFolderTree));
  if (ntfs)
    buildNtfsTree(session, scan);
  else
    buildFatTree(session, scan);
}

}  // namespace tessaly
