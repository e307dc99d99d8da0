// The Quick scan of a FAT volume or of the floppy: the layout (validated or calculated),
// the directory sweep, the lost-directory search and the folder tree.
#pragma once

namespace tessaly {

class Session;
struct ScanState;

// Runs on the calling thread (the scan thread), reporting through the session's
// report; honours scan.stopRequested during the sweep.
void runQuickFatScan(Session& session, ScanState& scan);

// Empties the folder tree and the catalogue's folder list for a new result.
void resetResults(ScanState& scan);

}  // namespace tessaly
