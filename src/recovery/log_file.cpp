#include "recovery/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "fat/quick_scan.h"
#include "fat/tree_builder.h"
#include "ntfs/entry_tables.h"
#include "ntfs/run_list.h"
#include "records/log_entries.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace {

bool writeWhole(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool whole = done == bytes.size() && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !whole) {
    ::unlink(path.c_str());
    return false;
  }
  return true;
}

// The FAT folder table of a loaded log: one folder row per record, sorted by parent.
void loadFatFolders(Session& session, ScanState& scan, const RecoveryLog& log) {
  DirectoryTable& table = scan.directoryTable;
  table.release();
  if (!table.enterTableMode(session.memoryLimit, log.folders.size())) table.enterListMode();
  for (const FolderRecord& f : log.folders) {
    DirectoryRow row;
    row.name = f.name;
    row.self = f.selfId;
    row.parent = f.parentId;
    row.date = static_cast<std::uint32_t>(f.date);
    row.time = static_cast<std::uint32_t>(f.time);
    row.kind = RowKind::Folder;
    row.deleted = f.deleted != 0;
    table.append(row);
  }
  table.sortByParent();
}

// The NTFS folder and file tables of a loaded log, in table mode when memory allows.
void loadNtfsEntries(Session& session, ScanState& scan, const RecoveryLog& log) {
  releaseEntryTables(scan);
  allocateEntryTables(scan, session.memoryLimit, log.folders.size(), log.files.size());
  for (const FolderRecord& f : log.folders)
    appendEntry(scan, EntryKind::Folder, f.name, f.parentId, 0, 0, f.selfId, f.date,
                f.deleted != 0);
  for (const LoggedFile& f : log.files) {
    const NtfsEntry e = entryFromLoggedFile(f);
    appendEntry(scan, EntryKind::File, e.name, e.parent, e.size, e.sector, e.self, f.time,
                e.deleted);
  }
  NtfsEntryTable(scan, EntryKind::Folder).sortByParent();
}

}  // namespace

RecoveryLog recoveryLogOf(const Session& session, ScanState& scan, int recoveryMode) {
  RecoveryLog log;
  setLogChoice(log, session.currentDiskModel, recoveryMode, session.partitionSelection, scan.volume,
               scan.workingVolume);
  for (std::size_t n = 0;; ++n) {
    FolderRecord record;
    if (!scan.catalogue.readRecord(n, record)) break;
    log.folders.push_back(std::move(record));
  }
  if (log.hasFileEntries()) {
    const NtfsEntryTable files(scan, EntryKind::File);
    for (std::size_t i = 0; i < files.size(); ++i) log.files.push_back(loggedFile(files.entry(i)));
  }
  return log;
}

LogSaveEnd saveRecoveryLogFile(const Session& session, ScanState& scan, int recoveryMode,
                               const std::string& path) {
  if (scan.fileSystem() == FileSystem::Fat12 || session.floppySelected()) return LogSaveEnd::Floppy;
  if (scan.catalogue.recordCount() == 0) return LogSaveEnd::EmptyCatalogue;
  const RecoveryLog log = recoveryLogOf(session, scan, recoveryMode);
  return writeWhole(path, encodeRecoveryLog(log)) ? LogSaveEnd::Written : LogSaveEnd::CannotOpen;
}

LogRead readRecoveryLogFile(const std::string& path, const std::string& currentModel) {
  LogRead result;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    result.end = LogLoadEnd::CannotOpen;
    return result;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  if (in.bad()) {
    result.end = LogLoadEnd::CannotOpen;
    return result;
  }
  DecodedLog decoded = decodeRecoveryLog(bytes);
  const FileSystem fs = decoded.log.working.fileSystem;
  if (!decoded.ok() || (!isFat(fs) && fs != FileSystem::Ntfs)) {
    result.end = LogLoadEnd::ErrorInFile;
    return result;
  }
  if (!sameDiskModel(decoded.log.diskModel, currentModel)) {
    result.end = LogLoadEnd::WrongDisk;
    return result;
  }
  result.log = std::move(decoded.log);
  return result;
}

std::optional<Message> logSaveMessage(LogSaveEnd end) {
  switch (end) {
    case LogSaveEnd::Floppy:
      return msg::kNoRecoveryForFloppy;
    case LogSaveEnd::CannotOpen:
      return msg::kUnableToOpenFile;
    case LogSaveEnd::Written:
    case LogSaveEnd::EmptyCatalogue:
      break;
  }
  return std::nullopt;
}

std::optional<Message> logLoadMessage(LogLoadEnd end) {
  switch (end) {
    case LogLoadEnd::CannotOpen:
      return msg::kUnableToOpenFile;
    case LogLoadEnd::ErrorInFile:
      return msg::kErrorInFile;
    case LogLoadEnd::WrongDisk:
      return msg::kWrongDisk;
    case LogLoadEnd::Loaded:
      break;
  }
  return std::nullopt;
}

void loadRecoveryLog(Session& session, ScanState& scan, const RecoveryLog& log) {
  session.partitionSelection = selectionFromLog(log, session.partitionSelection);
  scan.volume = log.computed;
  scan.volume.fileSystem = log.working.fileSystem;
  scan.workingVolume = log.working;
  scan.partitionValid = 1;
  resetResults(scan);
  if (log.working.fileSystem == FileSystem::Ntfs) {
    loadNtfsEntries(session, scan, log);
    // Files whose data runs continue in extension records find them through the $MFT's
    // own runs, which the log does not keep: they are read again from the volume.
    const VolumeParameters& v = scan.workingVolume;
    buildMftRunList(session, scan, v.cluster0Sector, v.mftStart, v.sectorsPerCluster);
    buildNtfsTree(session, scan);
  } else {
    loadFatFolders(session, scan, log);
    buildLoadedTree(session, scan);
  }
}

}  // namespace tessaly
