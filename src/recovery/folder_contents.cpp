#include "recovery/folder_contents.h"

#include "fat/file_list.h"
#include "ntfs/file_list.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace {
bool isNtfs(const ScanState& scan) {
  return scan.fileSystem() == FileSystem::Ntfs;
}
}  // namespace

std::string folderDateText(const ScanState& scan, std::uint64_t date) {
  return isNtfs(scan) ? ntfsDateText(static_cast<std::int64_t>(date))
                      : fatDateText(static_cast<std::uint32_t>(date));
}

std::string folderTimeText(const ScanState& scan, std::uint64_t time) {
  return isNtfs(scan) ? ntfsTimeText(static_cast<std::int64_t>(time))
                      : fatTimeText(static_cast<std::uint32_t>(time));
}

FolderChildIndex indexFolderChildren(const ScanState& scan) {
  FolderChildIndex index;
  const auto& nodes = scan.catalogue.nodes;
  for (std::size_t n = 0; n < nodes.size(); ++n) index[nodes[n].parentId].push_back(n);
  return index;
}

FolderContents listFolder(Session& session, ScanState& scan, TreeItem item,
                          const FolderChildIndex* index) {
  FolderContents out;
  ScanCatalogue& catalogue = scan.catalogue;
  const bool ntfs = isNtfs(scan);
  out.folderId = ntfs ? 5 : 0;
  FolderRecord own;
  if (catalogue.findTreeItem(item, &own)) {
    out.folderId = own.selfId;
    out.deleted = own.deleted == 1;
  }

  std::vector<std::size_t> every;
  const std::vector<std::size_t>* places = &every;
  if (index) {
    static const std::vector<std::size_t> none;
    auto at = index->find(out.folderId);
    places = at == index->end() ? &none : &at->second;
  } else {
    for (std::size_t n = 0; n < catalogue.nodes.size(); ++n)
      if (catalogue.nodes[n].parentId == out.folderId) every.push_back(n);
  }
  for (std::size_t n : *places) {
    if (n >= catalogue.nodes.size()) continue;
    FolderRecord child;
    if (!catalogue.findTreeItem(catalogue.nodes[n].treeItem, &child)) continue;
    if (out.deleted && child.deleted != 1) {
      catalogue.setCursor(catalogue.lastRecord());
      catalogue.nextFlag(ScanCatalogue::Field::Deleted, 'w', 1);
      child.deleted = 1;
    }
    FileRow row;
    row.image = 1;
    row.columns[kColName] = scan.folderTree.text(child.treeItem);
    row.columns[kColType] = child.deleted == 1 ? "Deleted FOLDER" : "FOLDER";
    row.columns[kColSize] = "0";
    row.columns[kColDate] = folderDateText(scan, child.date);
    row.columns[kColTime] = folderTimeText(scan, child.time);
    row.columns[kColDebug1] = std::to_string(child.selfId);
    row.columns[kColDebug2] = std::to_string(child.parentId);
    row.columns[kColDebug3] = std::to_string(child.treeItem);
    out.rows.push_back(std::move(row));
  }
  out.folderRows = out.rows.size();

  std::vector<FileRow> files;
  if (ntfs)
    files = listNtfsFiles(scan, out.folderId);
  else if (out.folderId != kLostId)
    files = listFatFiles(session, scan.workingVolume, out.folderId, out.deleted);
  out.rows.insert(out.rows.end(), std::make_move_iterator(files.begin()),
                  std::make_move_iterator(files.end()));
  return out;
}

}  // namespace tessaly
