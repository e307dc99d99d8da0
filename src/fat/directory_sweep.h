// The Quick-mode sweep of a FAT volume: every cluster's first sector is read, and a
// cluster that starts with "." and ".." entries naming itself is a directory, live,
// deleted or orphaned. The directories found become the DirectoryTable.
#pragma once

namespace tessaly {

class Session;

// Fills session.directoryTable (row 0 "Lost") and sorts it by parent.
void sweepDirectories(Session& session);

// Lost directory search: rows whose parent is not in the table get the parent 268435455,
// the own id of "Lost".
void markLostDirectories(Session& session);

// The same for the NTFS folder table (either storage), whose root is record 5: folders
// whose parent is 5 are never lost; any other parent number that no folder has as its
// own number becomes 268435455.
void markLostNtfsFolders(Session& session);

}  // namespace tessaly
