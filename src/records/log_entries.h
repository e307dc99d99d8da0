// The NTFS file entries of a recovery log and the entries of the NTFS file table.
#pragma once

#include "ntfs/entry_tables.h"
#include "records/recovery_log.h"

namespace tessaly {

// The entry's date text and deleted text are stored as numbers.
LoggedFile loggedFile(const NtfsEntry& entry);
// A loaded file entry: date and deleted texts in decimal, type "File".
NtfsEntry entryFromLoggedFile(const LoggedFile& file);

}  // namespace tessaly
