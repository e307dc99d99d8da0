// tessaly-cli recover: a Quick scan, then the save of the chosen folders' recoverable
// files into a destination folder that mirrors the folder tree.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <tuple>

#include <iostream>
#include <sstream>

#include "cli/commands.h"
#include "cli/scan_setup.h"
#include "recovery/recover.h"
#include "save/save_job.h"
#include "save/save_walks.h"

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
  std::cerr << "usage: tessaly-cli recover DISK (--partition N | --range FIRST LAST --fs FS) --out DIR\n"
               "         [--mode quick|advanced [--filesystem K]]\n"
               "       tessaly-cli recover IMAGE --floppy --out DIR\n"
               "       tessaly-cli recover DISK --load-log FILE.SAV --out DIR\n"
               "  [--folder PATH ...] [--saving-mode auto|fat1|fat2|contiguous]\n"
               "  [--deleted include|exclude|only] [--ext doc,xls,...]\n"
               "  [--after DD-MM-YYYY] [--before DD-MM-YYYY] [--replace ask|yes-all|no-all]\n"
               "  [--bad-sectors ask|retry-all|skip-all] [--write-errors ask|abort|skip] [--quiet]\n";
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
  Args args(argv, valued, kScanFlags);
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
        {"saving-mode", args.get("saving-mode", "auto"), {"auto", "fat1", "fat2", "contiguous"}},
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
      {"contiguous", SavingMode::Contiguous}};
  options.savingMode = modes.at(args.get("saving-mode", "auto"));
  const std::map<std::string, DeletedFilter> filters{
      {"include", DeletedFilter::All}, {"exclude", DeletedFilter::ExcludeDeleted}, {"only", DeletedFilter::DeletedOnly}};
  options.deletedFilter = filters.at(args.get("deleted", "include"));
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

  int exitCode = 0;
  auto run = ScanRun::open(args, argv, answers, exitCode, devices);
  if (!run) {
    if (exitCode == 2) usage();
    return exitCode;
  }
  if (args.has("load-log")) {
    if (run->loadLog(args.get("load-log")) != LogLoadEnd::Loaded) return 1;
  } else if (run->scan() != ScanEnd::Finished) {
    return 1;
  }
  // Which file system of the range an Advanced scan took.
  if (run->advanced() && !args.has("quiet")) printFileSystems(std::cout, run->scanState(), run->chosenFileSystem());
  Session& session = run->session();
  SaveJob job(run->scanState());
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
        std::cerr << "tessaly-cli recover: the scan found no folder '" << path << "'\n";
        return 1;
      }
      if (item == root) rootFiles = true;
      if (tree.state(item) != kChecked) toggleCheck(tree, item);
    }
  }

  job.destinationFolder = args.get("out");
  createFolderPath(job.destinationFolder);
  struct stat st {};
  if (::stat(job.destinationFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    std::cerr << "tessaly-cli recover: cannot create the destination " << job.destinationFolder << '\n';
    return 1;
  }

  // The root's own files are saved from the file list; every checked folder's from the tree.
  saveRootAndCheckedFolders(session, job, rootFiles);
  run->report().finish();

  const int files = job.outcome.filesCompleted;
  const std::uint64_t bytes = job.outcome.bytesWritten;
  const int failures = job.outcome.writeFailures;
  const int unreadable = job.outcome.sourceFailures;
  std::cout << "Recovered " << files << " file" << (files == 1 ? "" : "s") << " (" << bytes << " bytes) into "
            << job.destinationFolder << "\n";
  if (failures > 0)
    std::cout << failures << " file" << (failures == 1 ? "" : "s") << " could not be written\n";
  if (unreadable > 0)
    std::cout << unreadable << " file" << (unreadable == 1 ? "" : "s") << " could not be read from the disk\n";
  if (const int encrypted = job.outcome.encryptedFiles; encrypted > 0)
    std::cout << encrypted << " encrypted file" << (encrypted == 1 ? " was" : "s were")
              << " saved as stored on the disk, unreadable without the owner's key\n";
  return failures > 0 || unreadable > 0 ? 1 : 0;
}

}  // namespace tessaly::cli
