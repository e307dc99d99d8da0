#include "ntfs/file_list.h"

#include "ntfs/entry_tables.h"
#include "session/scan_state.h"

namespace tessaly {

std::vector<FileRow> listNtfsFiles(ScanState& scan, std::uint32_t folderId) {
  std::vector<FileRow> rows;
  forEachRecoverableNtfsFile(scan, folderId, [&](const NtfsEntry& entry) {
    const FileType type = classifyFileType(entry.name);
    const std::int64_t time = entry.fileTime();
    FileRow row;
    row.image = type.image;
    row.columns[kColName] = entry.name;
    row.columns[kColType] = type.typeText;
    row.columns[kColSize] = std::to_string(entry.size);
    row.columns[kColDate] = ntfsDateText(time);
    row.columns[kColTime] = ntfsTimeText(time);
    row.columns[kColDebug1] = std::to_string(entry.sector);
    row.columns[kColDebug2] = std::to_string(entry.parent);
    row.columns[kColDebug3] = std::to_string(entry.self);
    rows.push_back(std::move(row));
  });
  return rows;
}

}  // namespace tessaly
