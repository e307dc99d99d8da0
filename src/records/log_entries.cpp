#include "records/log_entries.h"

namespace tessaly {

LoggedFile loggedFile(const NtfsEntry& entry) {
  LoggedFile file;
  file.name = entry.name;
  file.sector = entry.sector;
  file.recordNumber = entry.self;
  file.parentNumber = entry.parent;
  file.time = static_cast<std::uint64_t>(entry.fileTime());
  file.size = entry.size;
  file.deleted = entry.deleted ? 1 : 0;
  return file;
}

NtfsEntry entryFromLoggedFile(const LoggedFile& file) {
  NtfsEntry entry;
  entry.name = file.name;
  entry.sector = file.sector;
  entry.self = file.recordNumber;
  entry.parent = file.parentNumber;
  entry.date = std::to_string(file.time);
  entry.size = file.size;
  entry.kind = RowKind::File;
  entry.deleted = file.deleted != 0;
  return entry;
}

}  // namespace tessaly
