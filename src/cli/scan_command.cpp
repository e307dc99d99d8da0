// tessaly-cli scan: a Quick scan of a partition, a sector range or a floppy image, and
// the folder tree it yields with the recoverable files of every folder.
#include <algorithm>
#include <iostream>
#include <map>

#include "cli/commands.h"
#include "cli/interrupts.h"
#include "cli/json.h"
#include "cli/scan_setup.h"
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
      std::cerr << "usage: tessaly-cli scan DISK (--partition N | --range FIRST LAST --fs FS)\n"
                   "       tessaly-cli scan IMAGE --floppy\n"
                   "       [--json] [--quiet] [--bad-sectors ask|retry-all|skip-all] [--log FILE.SAV]\n";
    return exitCode;
  }
  const ScanEnd end = run->scan();
  if (Interrupts::received() != 0) {
    // The log asked for still keeps what was found before the stop.
    if (args.has("log")) run->saveLog(args.get("log"));
    std::cout << "Stopped: the scan was interrupted\n";
    return Interrupts::exitStatus();
  }
  // No file system to list, or its own tables could not be read (a lost MFT).
  if (end == ScanEnd::NotAvailable || end == ScanEnd::Unreadable) return 1;
  // A disk that stopped answering still leaves the folders found before: they are
  // printed, and the command fails.
  int result = end == ScanEnd::DeviceLost ? 1 : 0;
  // The result kept in a recovery log, to be recovered from later without scanning.
  if (args.has("log") && !run->saveLog(args.get("log"))) result = 1;

  Session& session = run->session();
  ScanState& scan = run->scanState();
  const std::size_t directories = scan.catalogue.recordCount();
  const std::string fileSystem(fileSystemName(session.partitionSelection.fileSystem));

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
        .field("stopped", false)
        .field("deviceLost", end == ScanEnd::DeviceLost);
    json.key("notes").beginArray();
    for (const std::string& note : scan.notes) json.value(note);
    json.endArray();
    json.key("tree");
    printTree(session, scan, std::cout, &json);
    json.endObject().finish();
    return result;
  }
  std::cout << fileSystem << " volume on " << run->disk() << ", sectors " << run->rangeText()
            << ": " << directories << " folders\n\n";
  printTree(session, scan, std::cout, nullptr);
  return result;
}

}  // namespace tessaly::cli
