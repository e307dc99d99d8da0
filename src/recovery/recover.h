// A whole recovery of a finished scan, as the recover command runs it.
#pragma once

namespace tessaly {

class Session;
struct SaveJob;

// A recovery of the checked folders of job.scan into job.destinationFolder: counts
// first, then saves the root's own recoverable files through a file list (when
// rootFiles is true) and every checked folder's through the tree, so that the
// destination mirrors the tree. A disk that stops answering ends it.
void saveRootAndCheckedFolders(Session& session, SaveJob& job, bool rootFiles);

}  // namespace tessaly
