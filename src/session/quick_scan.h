// The engine steps of a Quick scan, whatever the file system: what the scan thread runs,
// and what the Stop command runs after it ended a scan early.
#pragma once

namespace tessaly {

class Session;

// Runs the Quick scan of session.partitionSelection on the calling thread (FAT16 and
// FAT32: validate-or-calculate, sweep, lost directories, tree; FAT12: the floppy; NTFS:
// the MFT walk). False when the file system has no Quick scan. A worker ended through
// session.worker unwinds with WorkerEnded.
bool runQuickScan(Session& session);

// After a scan was ended at a safe point: the lost check and the tree of what was found.
void finishStoppedScan(Session& session);

}  // namespace tessaly
