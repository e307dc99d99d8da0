// The Quick scan of a FAT volume or of the floppy: the layout (validated or calculated),
// the directory sweep, the lost-directory search and the folder tree.
#pragma once

namespace tessaly {

class Session;

// Runs on the calling thread (the scan thread), reporting through the session's
// controls; honours session.stopRequested during the sweep.
void runQuickFatScan(Session& session);

// Empties the folder tree and the catalogue's folder list for a new result.
void resetResults(Session& session);

}  // namespace tessaly
