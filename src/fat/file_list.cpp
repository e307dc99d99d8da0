#include "fat/file_list.h"

#include <array>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "fat/cluster_chain.h"
#include "fat/directory_entry.h"
#include "fat/fat_table.h"
#include "partition/partition_types.h"
#include "session/session.h"

namespace tessaly {

namespace de = direntry;

namespace {

// Takes the entries of one directory sector; false when an end mark was met.
bool listSector(Session& session, DirectorySector place, bool folderDeleted, EntryStarts& starts,
                std::vector<FileRow>& rows) {
  std::array<std::uint8_t, 512> sector{};
  // A sector that cannot be read lists nothing and ends the directory.
  if (!readDiskSectors(session, place.number, 1, sector).delivered()) return false;
  for (std::size_t i = 0; i < de::kPerSector; ++i) {
    auto entry = std::span<const std::uint8_t>(sector).subspan(i * de::kSize, de::kSize);
    if (entry[0] == 0) return false;
    const std::uint8_t attributes = entry[de::kAttributes];
    if (isDotEntry(entry) || attributes == de::kLongNameAttributes || (attributes & de::kDirectoryBit))
      continue;
    ShortName shortName = buildShortName(entry);
    if (!isPlausibleName(shortName.name)) continue;
    if (!folderDeleted && !shortName.deleted) continue;
    auto name = decodeEntryName(session, sector, i * de::kSize, place);
    if (!name) continue;
    FileRow row;
    FileType type = classifyFileType(name->name);
    row.image = type.image;
    row.columns[kColName] = name->name;
    row.columns[kColType] = type.typeText;
    row.columns[kColSize] = std::to_string(u32le(entry, de::kFileSize));
    row.columns[kColDate] = fatDateText(u16le(entry, de::kDate));
    row.columns[kColTime] = fatTimeText(u16le(entry, de::kTime));
    row.columns[kColDebug1] = std::to_string(starts.of(entry, shortName.deleted));
    rows.push_back(std::move(row));
  }
  return true;
}

}  // namespace

std::vector<FileRow> listFatFiles(Session& session, const VolumeParameters& v, std::uint32_t folderId,
                                  bool folderDeleted) {
  std::vector<FileRow> rows;
  if (folderId == 0 && v.fileSystem == FileSystem::Fat32) folderId = v.rootDirStart;
  EntryStarts starts(session, v, folderId, session.partitionSelection.lastSector);
  if (folderId != 0) {
    const ClusterChain chain = walkDirectoryChain(session, v, folderId, 0);
    for (const DirectorySector& place : chainSectors(v, chain))
      if (!listSector(session, place, folderDeleted, starts, rows)) return rows;
    return rows;
  }
  // The FAT12/16 root directory: an end mark ends only its own sector.
  for (std::uint32_t s = 0; s < v.rootDirSectors; ++s)
    listSector(session, DirectorySector::contiguous(std::uint64_t{v.rootDirStart} + s), folderDeleted, starts, rows);
  return rows;
}

}  // namespace tessaly
