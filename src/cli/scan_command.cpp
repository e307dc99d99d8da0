// tessaly-cli scan: a Quick scan of a partition, a sector range or a floppy image, and
// the folder tree it yields with the recoverable files of every folder.
#include <algorithm>
#include <iostream>
#include <map>
#include <memory>

#include "cli/commands.h"
#include "cli/interrupts.h"
#include "cli/json.h"
#include "cli/scan_setup.h"
#include "ntfs/entry_tables.h"
#include "recovery/folder_contents.h"
#include "session/safe_text.h"

namespace tessaly::cli {

namespace {

// Deeper folders keep this indentation; their lines show their level instead.
constexpr std::size_t kMaxIndent = 64;

// Every folder of the tree with its recoverable files, in tree order, walked with an
// explicit stack (a damaged disk chooses the depth); text or JSON as it goes.
void printTree(Session& session, ScanState& scan, std::ostream& out, JsonWriter* json) {
  const FolderChildIndex index = indexFolderChildren(scan);
  struct Step {
    TreeItem item;
    std::size_t depth;
    bool close;  // JSON: the end of a folder whose subfolders are done
  };
  std::vector<Step> stack{{scan.folderTree.root(), 0, false}};
  while (!stack.empty()) {
    const Step step = stack.back();
    stack.pop_back();
    if (step.close) {
      json->endArray().endObject();
      continue;
    }
    // Listing a folder marks the subfolders of a deleted folder deleted, before they
    // are listed themselves.
    const FolderContents contents = listFolder(session, scan, step.item, &index);
    const std::string name = scan.folderTree.text(step.item);
    const auto files = contents.rows.begin() + static_cast<long>(contents.folderRows);
    if (json) {
      json->beginObject()
          .field("name", name)
          .field("deleted", contents.deleted)
          .field("id", contents.folderId);
      json->key("files").beginArray();
      for (auto f = files; f != contents.rows.end(); ++f) {
        json->beginObject()
            .field("name", f->columns[kColName])
            .field("type", f->columns[kColType])
            .field("size", f->columns[kColSize])
            .field("date", f->columns[kColDate])
            .field("time", f->columns[kColTime])
            .field("location", f->columns[kColDebug1])
            .endObject();
      }
      json->endArray();
      json->key("folders").beginArray();
      stack.push_back({step.item, step.depth, true});
    } else {
      std::string indent(std::min(step.depth, kMaxIndent) * 2, ' ');
      if (step.depth > kMaxIndent) indent += "[level " + std::to_string(step.depth) + "] ";
      out << indent << terminalText(name);
      if (contents.deleted) out << "  [deleted]";
      out << '\n';
      for (auto f = files; f != contents.rows.end(); ++f) {
        out << indent << "  - " << terminalText(f->columns[kColName]) << "  |  "
            << f->columns[kColType] << "  |  " << f->columns[kColSize] << " bytes  |  "
            << f->columns[kColDate] << "  " << f->columns[kColTime] << '\n';
      }
    }
    const auto children = scan.folderTree.children(step.item);
    for (auto child = children.rbegin(); child != children.rend(); ++child)
      stack.push_back({*child, step.depth + 1, false});
  }
}

// Scans the run's chosen volume and prints its tree: as text, or as one JSON object.
// Returns the exit status of this volume.
int scanVolume(const Args& args, ScanRun& run, JsonWriter* json, const ListedVolume* volume) {
  const ScanEnd end = run.scan();
  if (Interrupts::received() != 0) {
    // The log asked for still keeps what was found before the stop.
    if (args.has("log")) run.saveLog(args.get("log"));
    std::cout << "Stopped: the scan was interrupted\n";
    return Interrupts::exitStatus();
  }
  // No file system to list, or its own tables could not be read (a lost MFT).
  if (end == ScanEnd::NotAvailable || end == ScanEnd::NoFileSystem || end == ScanEnd::Unreadable) {
    if (json && volume) {
      json->beginObject().field("number", volume ? volume->number : 0).field("label", run.label());
      json->field("skipped", "no Quick scan of this file system").endObject();
    }
    return 1;
  }
  // A disk that stopped answering still leaves the folders found before: they are
  // printed, and the command fails.
  int result = end == ScanEnd::DeviceLost ? 1 : 0;
  // The result kept in a recovery log, to be recovered from later without scanning.
  if (args.has("log") && !run.saveLog(args.get("log"))) result = 1;

  Session& session = run.session();
  ScanState& scan = run.scanState();
  const std::size_t directories = scan.catalogue.recordCount();
  // An Advanced scan's file system is the chosen one's, whatever the range was taken for.
  const FileSystem chosen = run.advanced() ? scan.workingVolume.fileSystem : session.partitionSelection.fileSystem;
  const std::string fileSystem(fileSystemName(chosen));
  const std::size_t orphans = chosen == FileSystem::Ntfs ? countOrphanedNtfsFiles(scan) : 0;

  if (json) {
    const auto& v = scan.workingVolume;
    json->beginObject();
    if (volume) json->field("number", volume->number).field("label", volume->label);
    json->field("disk", run.disk())
        .field("fileSystem", fileSystem)
        .field("firstSector", session.partitionSelection.firstSector)
        .field("lastSector", session.partitionSelection.lastSector)
        .field("bootSectorValid", scan.partitionValid == 1)
        .field("sectorsPerCluster", v.sectorsPerCluster)
        .field("cluster0Sector", v.cluster0())
        .field("folders", static_cast<std::uint64_t>(directories))
        .field("orphanedFiles", static_cast<std::uint64_t>(orphans))
        .field("stopped", false)
        .field("deviceLost", end == ScanEnd::DeviceLost)
        .field("mode", run.advanced() ? "advanced" : "quick");
    if (run.advanced()) {
      json->field("chosenFileSystem", static_cast<std::uint64_t>(run.chosenFileSystem()));
      json->key("fileSystems").beginArray();
      for (const FileSystemRow& row : scan.fileSystems) {
        json->beginObject()
            .field("type", std::string(fileSystemName(row.type)))
            .field("cluster0Sector", static_cast<std::int64_t>(row.cluster0Start))
            .field("sectorsPerCluster", row.sectorsPerCluster)
            .field("bootSector", row.derived ? std::string() : std::to_string(row.sector))
            .endObject();
      }
      json->endArray();
    }
    json->key("notes").beginArray();
    for (const std::string& note : scan.notes) json->value(note);
    json->endArray();
    json->key("tree");
    printTree(session, scan, std::cout, json);
    json->endObject();
    return result;
  }
  if (volume) std::cout << "Volume " << volume->number << ": " << volume->label << '\n';
  if (run.advanced()) {
    printFileSystems(std::cout, scan, run.chosenFileSystem());
    std::cout << '\n';
  }
  std::cout << fileSystem << " volume on " << run.disk() << ", sectors " << run.rangeText() << ": "
            << directories << " folders";
  if (orphans > 0) std::cout << ", " << orphans << " orphaned file" << (orphans == 1 ? "" : "s") << " under Lost";
  std::cout << "\n\n";
  printTree(session, scan, std::cout, nullptr);
  return result;
}

// Every listed volume in turn; one that cannot be scanned is reported as skipped.
int scanWholeDisk(const Args& args, ScanRun& run) {
  std::unique_ptr<JsonWriter> json;
  if (args.has("json")) {
    json = std::make_unique<JsonWriter>(std::cout);
    json->beginObject().field("disk", run.disk()).key("volumes").beginArray();
  } else if (run.volumes().empty()) {
    std::cout << run.disk() << ": no volume with a FAT or NTFS file system was found\n";
  }
  int result = 0;
  for (std::size_t i = 0; i < run.volumes().size(); ++i) {
    const ListedVolume& volume = run.volumes()[i];
    run.selectVolume(i);
    if (const std::string reason = run.skipReason(); !reason.empty()) {
      run.report().finish();
      if (json)
        json->beginObject().field("number", volume.number).field("label", volume.label).field("skipped", reason).endObject();
      else
        std::cout << "Volume " << volume.number << ": " << volume.label << ": skipped, " << reason << "\n\n";
      continue;
    }
    result = std::max(result, scanVolume(args, run, json.get(), &volume));
    if (!json) std::cout << '\n';
  }
  if (json) json->endArray().endObject().finish();
  return run.volumes().empty() ? 1 : result;
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
  Interrupts interrupts;
  int exitCode = 0;
  auto run = ScanRun::open(args, argv, answers, exitCode, devices);
  if (!run) {
    if (exitCode == 2)
      std::cerr << "usage: tessaly-cli scan DISK [--partition N [--search] | --range FIRST LAST --fs FS]\n"
                   "         [--mode quick|advanced [--filesystem K]]\n"
                   "       tessaly-cli scan IMAGE --floppy\n"
                   "       [--json] [--quiet] [--bad-sectors ask|retry-all|skip-all] [--log FILE.SAV]\n"
                   "  (without --partition or --range: every volume of the disk)\n";
    return exitCode;
  }
  if (run->wholeDisk()) {
    if (args.has("log") && run->volumes().size() > 1) {
      std::cerr << "tessaly-cli scan: --log keeps one volume's scan: name it with --partition N\n";
      return 2;
    }
    return scanWholeDisk(args, *run);
  }
  std::unique_ptr<JsonWriter> json;
  if (args.has("json")) json = std::make_unique<JsonWriter>(std::cout);
  const int result = scanVolume(args, *run, json.get(), nullptr);
  if (json) json->finish();
  return result;
}

}  // namespace tessaly::cli
