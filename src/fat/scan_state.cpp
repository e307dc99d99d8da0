#include <sys/stat.h>
#include <unistd.h>

#include "fat/catalogue.h"
#include "ntfs/entry_tables.h"
#include "session/session.h"

namespace tessaly {

void releaseScanState(Session& session) {
  session.sweepRunning = false;
  session.stopRequested = false;
  ScanCatalogue& catalogue = session.catalogue;
  catalogue.close();
  if (!catalogue.path().empty()) {
    struct stat st {};
    if (::lstat(catalogue.path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      ::chmod(catalogue.path().c_str(), 0644);
      ::unlink(catalogue.path().c_str());
    }
  }
  // The directory table, and the NTFS folder and file tables in both their storages.
  releaseEntryTables(session);
}

}  // namespace tessaly
