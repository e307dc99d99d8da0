// The steps of a Quick scan, whatever the file system: what the scan thread runs, and
// what the Stop command runs after it ended a scan early.
#pragma once

#include <string>

namespace tessaly {

class Session;
struct ScanState;

// How a Quick scan ended.
enum class ScanEnd {
  Finished,      // the whole scan ran (a stopped sweep included)
  NotAvailable,  // the file system has no Quick scan
  DeviceLost,    // the disk stopped answering; the tree holds what was found before
  NoFileSystem,  // an Advanced search identified no file system (or not the one asked for)
};

// Runs the Quick scan of session.partitionSelection into scan on the calling thread
// (FAT16 and FAT32: validate-or-calculate, sweep, lost directories, tree; FAT12: the
// floppy; NTFS: the MFT walk). A scan whose disk stops answering ends its walk, builds
// the tree of what it found, and shows the message of deviceLostMessage. A worker ended
// through session.worker unwinds with WorkerEnded.
ScanEnd runQuickScan(Session& session, ScanState& scan);

// After a scan was ended at a safe point: the lost check and the tree of what was found.
void finishStoppedScan(Session& session, ScanState& scan);

// The message that names the disk that stopped answering.
std::string deviceLostMessage(const Session& session);

}  // namespace tessaly
