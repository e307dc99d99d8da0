// tessaly-cli scan: a Quick scan of a partition, a sector range or a floppy image, and
// the folder tree it yields with the recoverable files of every folder.
#include <iostream>
#include <map>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/scan_setup.h"
#include "ntfs/entry_tables.h"
#include "recovery/folder_contents.h"

namespace tessaly::cli {

namespace {

struct FolderView {
  std::string name;
  bool deleted = false;
  std::uint32_t id = 0;
  std::vector<FileRow> files;
  std::vector<FolderView> folders;
};

FolderView collect(Session& session, ScanState& scan, TreeItem item,
                   const std::map<TreeItem, FolderRecord>& records, int depth) {
  FolderView view;
  view.name = scan.folderTree.text(item);
  auto record = records.find(item);
  if (record != records.end()) view.deleted = record->second.deleted == 1;
  FolderContents contents = listFolder(session, scan, item);
  // The listed folder's id: its record's, else the root's (0 on FAT, record 5 on NTFS).
  view.id = contents.folderId;
  view.deleted = view.deleted || contents.deleted;
  view.files.assign(contents.rows.begin() + static_cast<long>(contents.folderRows), contents.rows.end());
  // A damaged tree cannot be deeper than it has items; the guard keeps printing finite.
  if (depth < 4096)
    for (TreeItem child : scan.folderTree.children(item))
      view.folders.push_back(collect(session, scan, child, records, depth + 1));
  return view;
}

void printText(std::ostream& out, const FolderView& folder, int depth) {
  std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  out << indent << folder.name;
  if (folder.deleted) out << "  [deleted]";
  out << '\n';
  for (const FileRow& f : folder.files) {
    out << indent << "  - " << f.columns[kColName] << "  |  " << f.columns[kColType] << "  |  "
        << f.columns[kColSize] << " bytes  |  " << f.columns[kColDate] << "  " << f.columns[kColTime]
        << '\n';
  }
  for (const FolderView& child : folder.folders) printText(out, child, depth + 1);
}

void printJson(JsonWriter& json, const FolderView& folder) {
  json.beginObject().field("name", folder.name).field("deleted", folder.deleted).field("id", folder.id);
  json.key("files").beginArray();
  for (const FileRow& f : folder.files) {
    json.beginObject()
        .field("name", f.columns[kColName])
        .field("type", f.columns[kColType])
        .field("size", f.columns[kColSize])
        .field("date", f.columns[kColDate])
        .field("time", f.columns[kColTime])
        .field("location", f.columns[kColDebug1])
        .endObject();
  }
  json.endArray();
  json.key("folders").beginArray();
  for (const FolderView& child : folder.folders) printJson(json, child);
  json.endArray().endObject();
}

}  // namespace

int scanCommand(const std::vector<std::string>& argv) {
  platform::DeviceTable devices;
  return scanCommand(argv, devices);
}

int scanCommand(const std::vector<std::string>& argv, platform::DeviceTable& devices) {
  std::set<std::string> valued = kScanValued;
  valued.insert("log");
  Args args(argv, valued, kScanFlags);
  if (!args.ok()) {
    std::cerr << "tessaly-cli scan: " << args.error() << '\n';
    return 2;
  }
  DialogAnswers answers;
  answers.badSectors = args.get("bad-sectors", "retry-all");
  int exitCode = 0;
  auto run = ScanRun::open(args, argv, answers, exitCode, devices);
  if (!run) {
    if (exitCode == 2)
      std::cerr << "usage: tessaly-cli scan DISK (--partition N | --range FIRST LAST --fs FS)\n"
                   "         [--mode quick|advanced [--filesystem K]]\n"
                   "       tessaly-cli scan IMAGE --floppy\n"
                   "       [--json] [--quiet] [--bad-sectors ask|retry-all|skip-all] [--log FILE.SAV]\n";
    return exitCode;
  }
  const ScanEnd end = run->scan();
  if (end == ScanEnd::NotAvailable || end == ScanEnd::NoFileSystem) return 1;
  // A disk that stopped answering still leaves the folders found before: they are
  // printed, and the command fails.
  int result = end == ScanEnd::DeviceLost ? 1 : 0;
  // The result kept in a recovery log, to be recovered from later without scanning.
  if (args.has("log") && !run->saveLog(args.get("log"))) result = 1;

  Session& session = run->session();
  ScanState& scan = run->scanState();
  std::map<TreeItem, FolderRecord> records;
  for (std::size_t n = 0;; ++n) {
    FolderRecord r;
    if (!scan.catalogue.readRecord(n, r)) break;
    records[r.treeItem] = r;
  }
  FolderView root = collect(session, scan, scan.folderTree.root(), records, 0);
  const std::size_t directories = scan.catalogue.recordCount();
  // An Advanced scan's file system is the chosen one's, whatever the range was taken for.
  const FileSystem chosen = run->advanced() ? scan.workingVolume.fileSystem : session.partitionSelection.fileSystem;
  const std::string fileSystem(fileSystemName(chosen));
  const std::size_t orphans = chosen == FileSystem::Ntfs ? countOrphanedNtfsFiles(scan) : 0;

  if (args.has("json")) {
    JsonWriter json(std::cout);
    const auto& v = scan.workingVolume;
    json.beginObject()
        .field("disk", run->disk())
        .field("fileSystem", fileSystem)
        .field("firstSector", session.partitionSelection.firstSector)
        .field("lastSector", session.partitionSelection.lastSector)
        .field("bootSectorValid", scan.partitionValid == 1)
        .field("sectorsPerCluster", v.sectorsPerCluster)
        .field("cluster0Sector", v.cluster0Sector)
        .field("folders", static_cast<std::uint64_t>(directories))
        .field("orphanedFiles", static_cast<std::uint64_t>(orphans))
        .field("stopped", false)
        .field("deviceLost", end == ScanEnd::DeviceLost)
        .field("mode", run->advanced() ? "advanced" : "quick");
    if (run->advanced()) {
      json.field("chosenFileSystem", static_cast<std::uint64_t>(run->chosenFileSystem()));
      json.key("fileSystems").beginArray();
      for (const FileSystemRow& row : scan.fileSystems) {
        json.beginObject()
            .field("type", std::string(fileSystemName(row.type)))
            .field("cluster0Sector", static_cast<std::int64_t>(row.cluster0Start))
            .field("sectorsPerCluster", row.sectorsPerCluster)
            .field("bootSector", row.derived ? std::string() : std::to_string(row.sector))
            .endObject();
      }
      json.endArray();
    }
    json.key("tree");
    printJson(json, root);
    json.endObject().finish();
    return result;
  }
  if (run->advanced()) {
    printFileSystems(std::cout, scan, run->chosenFileSystem());
    std::cout << '\n';
  }
  std::cout << fileSystem << " volume on " << run->disk() << ", sectors " << run->rangeText() << ": "
            << directories << " folders";
  if (orphans > 0) std::cout << ", " << orphans << " orphaned file" << (orphans == 1 ? "" : "s") << " under Lost";
  std::cout << "\n\n";
  printText(std::cout, root, 0);
  return result;
}

}  // namespace tessaly::cli
