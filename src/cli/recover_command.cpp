// tessaly-cli recover: a Quick scan, then the save of the chosen folders' recoverable
// files into a destination folder that mirrors the folder tree.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>

#include <iostream>
#include <sstream>

#include "cli/commands.h"
#include "cli/destination.h"
#include "cli/interrupts.h"
#include "cli/json.h"
#include "cli/scan_setup.h"
#include "recovery/recover.h"
#include "save/save_job.h"
#include "save/save_walks.h"
#include "session/safe_text.h"

namespace tessaly::cli {

namespace {

TreeItem findFolder(const TreeModel& tree, const std::string& path) {
  TreeItem at = tree.root();
  std::stringstream parts(path);
  std::string part;
  while (std::getline(parts, part, '/')) {
    if (part.empty()) continue;
    TreeItem next = kNoItem;
    for (TreeItem child : tree.children(at))
      if (tree.text(child) == part) next = child;
    if (next == kNoItem) return kNoItem;
    at = next;
  }
  return at;
}

void usage() {
  std::cerr
      << "usage: tessaly-cli recover DISK --out DIR        (every volume of the disk)\n"
         "       tessaly-cli recover DISK (--partition N [--search] | --range FIRST LAST --fs FS) --out DIR\n"
         "         [--mode quick|advanced [--filesystem K]]\n"
         "       tessaly-cli recover IMAGE --floppy --out DIR\n"
         "       tessaly-cli recover DISK --load-log FILE.SAV --out DIR\n"
         "  [--folder PATH ...] [--saving-mode auto|fat1|fat2|contiguous|free]\n"
         "  [--deleted include|exclude|only] [--ext doc,xls,...] [--streams]\n"
         "  [--after DD-MM-YYYY] [--before DD-MM-YYYY] [--replace ask|yes-all|no-all]\n"
         "  [--bad-sectors ask|retry-all|skip-all] [--write-errors ask|abort|skip] [--quiet] "
         "[--json]\n"
         "  [--allow-same-disk]  save even onto the disk being recovered (refused otherwise)\n"
         "  --streams            NTFS: save each file's named streams beside it as NAME:STREAM\n"
         "exit status: 0 every file saved whole; 3 finished, some files incomplete (their\n"
         "unreadable bytes are zeros, listed in the summary); 1 the scan or the save failed;\n"
         "2 a usage error; 128 + N stopped by signal N\n";
}

std::string plural(int n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string rangesText(const std::vector<ByteRange>& ranges) {
  std::string text;
  for (const ByteRange& r : ranges) {
    if (!text.empty()) text += ", ";
    text += std::to_string(r.offset) + "-" + std::to_string(r.offset + r.length - 1);
  }
  return text;
}


// What the save of one volume did.
struct VolumeSaved {
  bool scanned = false;  // the scan (or the log) gave a tree to save from
  std::string error;     // why nothing was saved
  std::string destination;
  int files = 0;
  std::uint64_t bytes = 0;
  int failures = 0;    // files that could not be written
  int unreadable = 0;  // files that could not be read from the disk
  int incomplete = 0;  // files saved with zeros where the disk could not be read
  int kept = 0;        // files already present, not replaced
  int encrypted = 0;   // saved as stored, unreadable without the owner's key
  int streams = 0;     // named streams saved whole beside their files
  bool streamsRenamed = false;  // saved as NAME_STREAM: the destination refused ":"
  std::vector<FileNote> incompleteFiles;  // Incomplete and Damaged notes
  std::string methods;        // how the FAT files' clusters were found, for the summary
  bool interrupted = false;  // a signal stopped the scan or the save
  bool refused = false;      // the destination was refused (the reason was printed)
  int filesToSave = 0;
  // 0 every file saved whole, 3 finished with incomplete files, 1 a file could not be
  // written or read (or nothing could be saved).
  int status() const {
    if (!scanned || refused || !error.empty() || failures > 0 || unreadable > 0) return 1;
    return incomplete > 0 ? 3 : 0;
  }
};

void printSaved(const VolumeSaved& saved) {
  std::cout << "Recovered " << plural(saved.files, "file") << " (" << saved.bytes << " bytes) into "
            << terminalText(saved.destination);
  if (saved.incomplete > 0) std::cout << "; " << saved.incomplete << " incomplete";
  std::cout << '\n';
  for (const FileNote& note : saved.incompleteFiles) {
    if (note.truncated) {
      // The last missing range runs from what was saved to the size the file system gave.
      const ByteRange& cut = note.missingBytes.back();
      std::cout << "  truncated: " << terminalText(note.path) << " (its size, " << cut.offset + cut.length
                << " bytes, is more than the volume holds; saved up to byte " << cut.offset << ")\n";
      if (note.missingBytes.size() == 1) continue;
    }
    std::vector<ByteRange> unread = note.missingBytes;
    if (note.truncated) unread.pop_back();
    if (note.outcome == FileOutcome::Damaged)
      std::cout << "  damaged: " << terminalText(note.path) << " (bytes " << rangesText(unread)
                << " did not decompress)\n";
    else
      std::cout << "  incomplete: " << terminalText(note.path) << " (bytes " << rangesText(unread)
                << " could not be read)\n";
  }
  if (saved.streams > 0) {
    std::cout << plural(saved.streams, "named stream") << " saved beside "
              << (saved.streams == 1 ? "its file" : "their files");
    if (saved.streamsRenamed) std::cout << " as NAME_STREAM: the destination does not take ':' in names";
    std::cout << '\n';
  }
  if (!saved.methods.empty()) std::cout << "By method: " << saved.methods << '\n';
  if (saved.kept > 0) std::cout << saved.kept << " already present, kept; --replace yes-all overwrites\n";
  if (saved.failures > 0) std::cout << plural(saved.failures, "file") << " could not be written\n";
  if (saved.encrypted > 0)
    std::cout << saved.encrypted << " encrypted file" << (saved.encrypted == 1 ? " was" : "s were")
              << " saved as stored on the disk, unreadable without the owner's key\n";
  if (saved.unreadable > 0) std::cout << plural(saved.unreadable, "file") << " could not be read from the disk\n";
}

// One volume's summary as a JSON object.
void printSavedJson(JsonWriter& out, const VolumeSaved& saved) {
  out.field("recovered", saved.files)
      .field("bytes", saved.bytes)
      .field("destination", saved.destination)
      .field("kept", saved.kept)
      .field("writeFailures", saved.failures)
      .field("unreadable", saved.unreadable)
      .field("encrypted", saved.encrypted)
      .field("streams", saved.streams)
      .field("streamsRenamed", saved.streamsRenamed);
  out.key("incomplete").beginArray();
  for (const FileNote& note : saved.incompleteFiles) {
    // Damaged: the bytes are those whose compressed data did not decompress.
    out.beginObject().field("path", note.path);
    if (note.outcome == FileOutcome::Damaged) out.field("damaged", true);
    out.field("truncated", note.truncated).key("missing").beginArray();
    for (const ByteRange& r : note.missingBytes)
      out.beginObject().field("offset", r.offset).field("length", r.length).endObject();
    out.endArray().endObject();
  }
  out.endArray();
  if (!saved.error.empty()) out.field("error", saved.error);
  out.field("exitStatus", saved.status());
}

// Scans the run's chosen volume (or loads its log) and saves the chosen folders' files
// into destination.
VolumeSaved recoverVolume(const Args& args, const SaveOptions& options, ScanRun& run,
                          const std::string& destination) {
  VolumeSaved saved;
  saved.destination = destination;
  if (args.has("load-log")) {
    if (run.loadLog(args.get("load-log")) != LogLoadEnd::Loaded) return saved;
  } else {
    const ScanEnd end = run.scan();
    if (Interrupts::received() != 0) {
      saved.interrupted = true;
      return saved;
    }
    if (end != ScanEnd::Finished) return saved;
  }
  saved.scanned = true;
  // Which file system of the range an Advanced scan took.
  if (run.advanced() && !args.has("quiet")) printFileSystems(std::cout, run.scanState(), run.chosenFileSystem());
  Session& session = run.session();
  SaveJob job(run.scanState());
  job.options = options;
  TreeModel& tree = job.scan.folderTree;
  const TreeItem root = tree.root();

  // The folders to save: the named ones with their subtrees, or the whole tree.
  const auto folders = args.all("folder");
  bool rootFiles = folders.empty();
  setSubtreeCheck(tree, root, kUnchecked);
  if (folders.empty()) {
    toggleCheck(tree, root);
  } else {
    for (const auto& path : folders) {
      TreeItem item = findFolder(tree, path);
      if (item == kNoItem) {
        saved.error = "the scan found no folder '" + path + "'";
        return saved;
      }
      if (item == root) rootFiles = true;
      if (tree.state(item) != kChecked) toggleCheck(tree, item);
    }
  }

  job.destinationFolder = destination;
  if (!destinationAllowed(session, job.destinationFolder, args.has("allow-same-disk"))) {
    saved.refused = true;
    return saved;
  }
  createFolderPath(job.destinationFolder);
  struct stat st {};
  if (::stat(job.destinationFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    saved.error = "cannot create the destination " + job.destinationFolder;
    return saved;
  }

  // The root's own files are saved from the file list; every checked folder's from the tree.
  Interrupts::watch(&job.stopSaving);
  saveRootAndCheckedFolders(session, job, rootFiles);
  Interrupts::watch(nullptr);
  run.report().finish();
  SaveOutcome& o = job.outcome;
  saved.interrupted = Interrupts::received() != 0;
  saved.filesToSave = static_cast<int>(job.filesToSave.load());
  saved.incomplete = o.filesIncomplete;
  saved.files = o.filesCompleted + o.filesIncomplete;
  saved.bytes = o.bytesWritten;
  saved.failures = o.writeFailures;
  saved.unreadable = o.sourceFailures;
  saved.kept = o.filesKept;
  saved.encrypted = o.encryptedFiles;
  saved.streams = o.streamsSaved;
  saved.streamsRenamed = o.streamsRenamed;
  for (FileNote& note : o.notes())
    if (note.outcome == FileOutcome::Incomplete || note.outcome == FileOutcome::Damaged)
      saved.incompleteFiles.push_back(std::move(note));
  // How the FAT files' clusters were found: from a chain, or guessed.
  for (int m = 0; m < kSaveMethods; ++m) {
    const int n = o.filesByMethod[static_cast<std::size_t>(m)];
    if (n == 0) continue;
    const auto method = static_cast<SaveMethod>(m);
    const bool guessed = method == SaveMethod::FreeClusters || method == SaveMethod::Contiguous;
    saved.methods += (saved.methods.empty() ? "" : ", ") + std::to_string(n) + " " +
                     std::string(saveMethodName(method)) + (guessed ? " (guessed)" : "");
  }
  return saved;
}

// Every listed volume of the disk: one volume into DIR itself, several each into
// DIR/N-FS. Volumes that cannot be scanned are listed as skipped.
int recoverWholeDisk(const Args& args, const SaveOptions& options, ScanRun& run) {
  const std::string out = args.get("out");
  const auto& volumes = run.volumes();
  const bool json = args.has("json");
  std::unique_ptr<JsonWriter> writer;
  if (json) {
    writer = std::make_unique<JsonWriter>(std::cout);
    writer->beginObject().field("disk", run.disk()).field("out", out).key("volumes").beginArray();
  }
  if (volumes.empty() && !json)
    std::cout << run.disk() << ": no volume with a FAT or NTFS file system was found\n";
  int status = volumes.empty() ? 1 : 0;
  int totalFiles = 0, recovered = 0;
  std::uint64_t totalBytes = 0;
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const ListedVolume& volume = volumes[i];
    run.selectVolume(i);
    const std::string destination =
        volumes.size() == 1 ? out
                            : out + "/" + std::to_string(volume.number) + "-" +
                                  std::string(fileSystemName(volume.fileSystem));
    VolumeSaved saved;
    std::string skipped = run.skipReason();
    if (skipped.empty()) {
      saved = recoverVolume(args, options, run, destination);
      if (saved.interrupted) {
        if (writer) writer->endArray().endObject().finish();
        std::cout << "Stopped: " << saved.files << " of " << saved.filesToSave << " files of volume "
                  << volume.number << " recovered into " << terminalText(destination) << '\n';
        return Interrupts::exitStatus();
      }
      if (!saved.scanned) skipped = "its " + std::string(fileSystemName(volume.fileSystem)) + " volume could not be scanned";
    }
    run.report().finish();
    if (writer) {
      writer->beginObject().field("number", volume.number).field("label", volume.label)
          .field("fileSystem", std::string(fileSystemName(volume.fileSystem)))
          .field("firstSector", volume.first).field("lastSector", volume.last);
      if (!skipped.empty()) {
        writer->field("skipped", skipped).endObject();
        continue;
      }
      printSavedJson(*writer, saved);
      writer->endObject();
    } else {
      std::cout << "Volume " << volume.number << ": " << volume.label << ", sectors " << volume.first << " - "
                << volume.last << ": ";
      if (!skipped.empty()) {
        std::cout << "skipped, " << skipped << '\n';
        continue;
      }
      if (!saved.error.empty()) std::cout << saved.error << '\n';
      else if (saved.refused) std::cout << "nothing saved\n";
      else printSaved(saved);
    }
    if (skipped.empty()) ++recovered;
    totalFiles += saved.files;
    totalBytes += saved.bytes;
    status = std::max(status, saved.status());
  }
  if (writer) {
    writer->endArray().field("files", totalFiles).field("bytes", totalBytes).endObject().finish();
  } else if (volumes.size() > 1) {
    std::cout << "In all: " << totalFiles << " file" << (totalFiles == 1 ? "" : "s") << " (" << totalBytes
              << " bytes) from " << recovered << " of " << volumes.size() << " volumes into " << out << '\n';
  }
  return status;
}

}  // namespace

int recoverCommand(const std::vector<std::string>& argv) {
  platform::DeviceTable devices;
  return recoverCommand(argv, devices);
}

int recoverCommand(const std::vector<std::string>& argv, platform::DeviceTable& devices) {
  std::set<std::string> valued = kScanValued;
  for (const char* o : {"out", "load-log", "folder", "saving-mode", "deleted", "ext", "after", "before", "replace", "write-errors"})
    valued.insert(o);
  std::set<std::string> flags = kScanFlags;
  flags.insert("allow-same-disk");
  flags.insert("streams");
  Args args(argv, valued, flags);
  if (!args.ok() || !args.has("out")) {
    if (!args.ok()) std::cerr << "tessaly-cli recover: " << args.error() << '\n';
    usage();
    return 2;
  }
  DialogAnswers answers;
  answers.badSectors = args.get("bad-sectors", "retry-all");
  answers.replace = args.get("replace", "ask");
  answers.writeErrors = args.get("write-errors", ::isatty(0) ? "ask" : "skip");
  for (const auto& [option, value, allowed] :
       {std::tuple<std::string, std::string, std::vector<std::string>>{"bad-sectors", answers.badSectors, {"ask", "retry-all", "skip-all"}},
        {"replace", answers.replace, {"ask", "yes-all", "no-all"}},
        {"write-errors", answers.writeErrors, {"ask", "abort", "skip"}},
        {"saving-mode", args.get("saving-mode", "auto"), {"auto", "fat1", "fat2", "contiguous", "free"}},
        {"deleted", args.get("deleted", "include"), {"include", "exclude", "only"}}}) {
    auto at = std::find(allowed.begin(), allowed.end(), value);
    if (at == allowed.end()) {
      std::cerr << "tessaly-cli recover: --" << option << " does not take '" << value << "'\n";
      return 2;
    }
  }

  // The save options, through the same rules the Settings dialog applies.
  SaveOptions options;
  const std::map<std::string, SavingMode> modes{
      {"auto", SavingMode::Auto}, {"fat1", SavingMode::Fat1}, {"fat2", SavingMode::Fat2},
      {"contiguous", SavingMode::Contiguous}, {"free", SavingMode::FreeClusters}};
  options.savingMode = modes.at(args.get("saving-mode", "auto"));
  const std::map<std::string, DeletedFilter> filters{
      {"include", DeletedFilter::All}, {"exclude", DeletedFilter::ExcludeDeleted}, {"only", DeletedFilter::DeletedOnly}};
  options.deletedFilter = filters.at(args.get("deleted", "include"));
  options.streams = args.has("streams");
  if (args.has("ext")) {
    SaveSettings settings(options);
    std::stringstream list(args.get("ext"));
    std::string extension;
    while (std::getline(list, extension, ',')) {
      if (auto refusal = settings.add(extension); refusal && refusal->message) {
        std::cerr << "tessaly-cli recover: " << extension << ": " << refusal->message->english << '\n';
        return 2;
      }
    }
    settings.apply();
    options.earlierDate = {};
    options.afterDate = {};
  }
  if (args.has("after") || args.has("before")) {
    auto after = parseSaveDate(args.get("after", "01-01-1970"));
    auto before = parseSaveDate(args.get("before", "31-12-2030"));
    if (!after || !before) {
      std::cerr << "tessaly-cli recover: dates are DD-MM-YYYY, from 1970 to 2030\n";
      return 2;
    }
    options.afterDate = *after;
    options.earlierDate = *before;
  }

  // Ctrl-C, SIGTERM and SIGHUP stop the scan or the save like the wizard's Stop.
  Interrupts interrupts;
  int exitCode = 0;
  auto run = ScanRun::open(args, argv, answers, exitCode, devices);
  if (!run) {
    if (exitCode == 2) usage();
    return exitCode;
  }
  if (run->wholeDisk()) return recoverWholeDisk(args, options, *run);
  const VolumeSaved saved = recoverVolume(args, options, *run, args.get("out"));
  if (saved.interrupted) {
    if (!saved.scanned)
      std::cout << "Stopped during the scan: no file recovered\n";
    else
      std::cout << "Stopped: " << saved.files << " of " << saved.filesToSave << " files recovered into "
                << terminalText(args.get("out")) << '\n';
    return Interrupts::exitStatus();
  }
  if (!saved.error.empty()) std::cerr << "tessaly-cli recover: " << saved.error << '\n';
  if (!saved.scanned || saved.refused || !saved.error.empty()) return 1;
  if (args.has("json")) {
    JsonWriter out(std::cout);
    out.beginObject();
    printSavedJson(out, saved);
    out.endObject().finish();
    return saved.status();
  }
  printSaved(saved);
  return saved.status();
}

}  // namespace tessaly::cli
