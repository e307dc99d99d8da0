// tessaly-cli carve: raw recovery. Searches a disk (or a sector range of it) for Word,
// Excel, PowerPoint and Zip files by their content and writes each one found into the
// output folder as DOC0.DOC, XLS1.XLS, ..., with the progress on stderr and a summary of
// the files of each type.
#include <atomic>
#include <iostream>
#include <map>
#include <sstream>

#include "cli/commands.h"
#include "cli/destination.h"
#include "cli/frontend.h"
#include "cli/json.h"
#include "raw/raw_search.h"
#include "recovery/raw_disk.h"
#include "session/session.h"

namespace tessaly::cli {

namespace {

void usage() {
  std::cerr
      << "usage: tessaly-cli carve DISK [--range FIRST LAST] --types doc,xls,ppt,zip --out DIR\n"
         "  [--bad-sectors ask|retry-all|skip-all] [--json] [--quiet] [--allow-same-disk]\n"
         "  Without --range the whole disk is searched from sector 100; FIRST and LAST are\n"
         "  the first and the last sector searched.\n";
}

const std::map<std::string, raw::RawType> kTypeNames{{"doc", raw::RawType::Word},
                                                     {"xls", raw::RawType::Excel},
                                                     {"ppt", raw::RawType::PowerPoint},
                                                     {"zip", raw::RawType::Zip}};
const char* const kTypeWords[raw::kRawTypeCount] = {"Word", "Excel", "PowerPoint", "Zip"};

// Prints each file as it is written (text output) and keeps the progress line going.
class CarveReport : public raw::RawSearchReport {
 public:
  CarveReport(CliReport& progress, bool listFiles) : progress_(progress), listFiles_(listFiles) {}
  void searching(std::uint64_t sector, int percent) override {
    progress_.status(" Searching Sector :- " + std::to_string(sector));
    progress_.scanProgress(percent);
  }
  void carved(const raw::CarvedFile& file, const raw::RawCounts&) override {
    files.push_back(file);
    if (!listFiles_) return;
    progress_.finish();
    std::cout << file.name << "  " << kTypeWords[raw::rawTypeIndex(file.type)] << "  " << file.bytes
              << " bytes from sector " << file.firstSector << '\n'
              << std::flush;
  }
  void notWritten(const std::string& name) override {
    progress_.finish();
    std::cerr << "tessaly-cli: " << name << " could not be written\n";
    failed.push_back(name);
  }
  std::vector<raw::CarvedFile> files;
  std::vector<std::string> failed;

 private:
  CliReport& progress_;
  bool listFiles_;
};

}  // namespace

int carveCommand(const std::vector<std::string>& argv) {
  platform::DeviceTable devices;
  return carveCommand(argv, devices);
}

int carveCommand(const std::vector<std::string>& argv, platform::DeviceTable& devices) {
  Args args(argv, {"types", "out", "bad-sectors"}, {"range", "json", "quiet", "allow-same-disk"});
  const auto& pos = args.positionals();
  if (!args.ok() || pos.empty() || !args.has("types") || !args.has("out") ||
      pos.size() != (args.has("range") ? 3u : 1u)) {
    if (!args.ok()) std::cerr << "tessaly-cli carve: " << args.error() << '\n';
    usage();
    return 2;
  }
  raw::RawSearchRequest request;
  std::stringstream list(args.get("types"));
  for (std::string name; std::getline(list, name, ',');) {
    auto type = kTypeNames.find(name);
    if (type == kTypeNames.end()) {
      std::cerr << "tessaly-cli carve: --types takes doc, xls, ppt and zip, not '" << name << "'\n";
      return 2;
    }
    request.types.set(type->second);
  }
  const std::string badSectors = args.get("bad-sectors", "retry-all");
  if (badSectors != "ask" && badSectors != "retry-all" && badSectors != "skip-all") {
    std::cerr << "tessaly-cli carve: --bad-sectors does not take '" << badSectors << "'\n";
    return 2;
  }
  if (args.has("range")) {
    const auto first = parseNumber(pos[1]);
    const auto last = parseNumber(pos[2]);
    if (!first || !last || *first > *last || *last == UINT64_MAX) {
      std::cerr << "tessaly-cli carve: the range needs FIRST at most LAST (sector numbers)\n";
      return 2;
    }
    request.entireDisk = false;
    request.startSector = *first;
    request.endSector = *last + 1;
  }
  request.outputFolder = args.get("out");

  devices.setDisks({pos[0]});
  const std::string device = platform::DeviceTable::physicalDriveName(0);
  if (!devices.open(device)) {
    std::cerr << "tessaly-cli: cannot open " << pos[0]
              << " for reading: " << devices.openError(device) << '\n';
    return 1;
  }
  const bool json = args.has("json");
  CliReport progress(args.has("quiet") || json);
  DialogAnswers answers;
  answers.badSectors = badSectors;
  CliDialogs dialogs(answers, &progress);
  Session session(devices, progress, dialogs);
  session.selectedDisk = 0;
  session.selectedDiskName = "Disk0";
  if (!destinationAllowed(session, request.outputFolder, args.has("allow-same-disk"))) return 1;

  DiskSectorSource source(session);
  CarveReport report(progress, !json);
  const std::atomic<bool> stop{false};
  const raw::RawSearchOutcome outcome = raw::runRawSearch(source, request, report, stop);
  progress.finish();

  int status = report.failed.empty() ? 0 : 1;
  std::string problem;
  switch (outcome.end) {
    case raw::RawSearchEnd::Finished:
    case raw::RawSearchEnd::Stopped:
      break;
    case raw::RawSearchEnd::NothingChecked:
      problem = "no file type to search for";
      break;
    case raw::RawSearchEnd::InvalidRange:
      problem =
          "the range lies beyond the disk's " + std::to_string(source.sectorCount()) + " sectors";
      break;
    case raw::RawSearchEnd::NoOutputFolder:
      problem = "cannot create the output folder " + args.get("out");
      break;
    case raw::RawSearchEnd::ReadFailed:
      problem =
          "the disk stopped delivering sectors at sector " + std::to_string(outcome.failedSector);
      break;
  }
  if (!problem.empty()) {
    std::cerr << "tessaly-cli carve: " << problem << '\n';
    status = 1;
  }

  if (json) {
    JsonWriter out(std::cout);
    out.beginObject()
        .field("disk", pos[0])
        .field("out", args.get("out"))
        .field("complete", problem.empty());
    out.key("files").beginArray();
    for (const raw::CarvedFile& f : report.files)
      out.beginObject()
          .field("name", f.name)
          .field("type", kTypeWords[raw::rawTypeIndex(f.type)])
          .field("firstSector", f.firstSector)
          .field("bytes", f.bytes)
          .endObject();
    out.endArray().key("counts").beginObject();
    for (std::size_t t = 0; t < raw::kRawTypeCount; ++t)
      if (request.types.has(static_cast<raw::RawType>(t)))
        out.field(kTypeWords[t], outcome.counts[t]);
    out.endObject().endObject().finish();
    return status;
  }
  std::cout << "Carved " << outcome.files << " file" << (outcome.files == 1 ? "" : "s") << " into "
            << args.get("out") << '\n';
  for (std::size_t t = 0; t < raw::kRawTypeCount; ++t)
    if (request.types.has(static_cast<raw::RawType>(t)))
      std::cout << "  " << raw::kRawTypeInfo[t].counterText << outcome.counts[t] << '\n';
  return status;
}

}  // namespace tessaly::cli
