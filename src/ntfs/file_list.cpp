#include "ntfs/file_list.h"

#include <algorithm>
#include <unordered_map>

#include "ntfs/entry_tables.h"
#include "session/scan_state.h"

namespace tessaly {

std::vector<FileRow> listNtfsFiles(ScanState& scan, std::uint32_t folderId) {
  std::vector<FileRow> rows;
  std::unordered_multimap<std::uint32_t, const NtfsStream*> streams;
  for (const NtfsStream& stream : scan.ntfsStreams) streams.emplace(stream.self, &stream);
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
    rows.push_back(row);
    // The file's named streams, each a row of type "Stream" after it. Streams are saved
    // with their file (the streams save option), not on their own.
    const auto [first, last] = streams.equal_range(entry.self);
    std::vector<const NtfsStream*> own;
    for (auto it = first; it != last; ++it) own.push_back(it->second);
    std::sort(own.begin(), own.end());  // in the order the scan found them
    for (const NtfsStream* stream : own) {
      row.image = classifyFileType("").image;
      row.columns[kColName] = entry.name + ":" + stream->name;
      row.columns[kColType] = kStreamTypeText;
      row.columns[kColSize] = std::to_string(stream->size);
      rows.push_back(row);
    }
  });
  return rows;
}

}  // namespace tessaly
