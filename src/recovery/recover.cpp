#include "recovery/recover.h"

#include "recovery/folder_contents.h"
#include "save/save_job.h"
#include "save/save_walks.h"
#include "session/session.h"

namespace tessaly {

void saveRootAndCheckedFolders(Session& session, SaveJob& job, bool rootFiles) {
  const TreeItem root = job.scan.folderTree.root();
  FileListModel rootList;
  if (rootFiles) {
    FolderContents contents = listFolder(session, job.scan, root);
    contents.rows.erase(contents.rows.begin(),
                        contents.rows.begin() + static_cast<long>(contents.folderRows));
    rootList.setRows(std::move(contents.rows));
    rootList.selectAll(true);
  }
  job.fileList = &rootList;
  job.options.selectionMode = SelectionMode::Selected;
  job.source = SaveSource::FileList;
  countListItems(session, job);
  countCheckedFolders(session, job, root);
  job.outcome.reset();
  if (rootFiles) runSave(session, job);
  if (!job.stopped && !session.deviceLost()) {
    job.source = SaveSource::CheckedFolders;
    runSave(session, job);
  }
  job.fileList = nullptr;
}

}  // namespace tessaly
