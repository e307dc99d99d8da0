// The Quick-mode sweep of a FAT volume: every cluster's first sector is read, and a
// cluster that starts with "." and ".." entries naming itself is a directory, live,
// deleted or orphaned. The directories found become the DirectoryTable.
#pragma once

namespace tessaly {

class Session;
struct ScanState;

// Fills scan.directoryTable (row 0 "Lost") from scan.volume and sorts it by parent. Ends
// early on Stop or when the disk stops answering, with what was found.
void sweepDirectories(Session& session, ScanState& scan);

// Lost directory search: rows whose parent is not in the table get the parent 268435455,
// the own id of "Lost".
void markLostDirectories(Session& session, ScanState& scan);

// The same for the NTFS folder table (either storage), whose root is record 5: folders
// whose parent is 5 are never lost; any other parent number that no folder has as its
// own number becomes 268435455.
void markLostNtfsFolders(Session& session, ScanState& scan);

}  // namespace tessaly
