// tessaly-cli partitions DISK: the partition listing of a disk or disk image, with what
// boot-sector validation makes of each partition.
#include <iostream>

#include "cli/commands.h"
#include "cli/frontend.h"
#include "cli/json.h"
#include "partition/partition_walk.h"
#include "partition/volume.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly::cli {

namespace {

struct PartitionReport {
  int number;
  std::string label;
  FileSystem fileSystem;
  std::uint32_t start, end;
  bool valid;
  bool calculated;
  VolumeParameters parameters;
};

void printParameters(std::ostream& out, const VolumeParameters& v) {
  if (v.fileSystem == FileSystem::Ntfs) {
    out << "sectors/cluster " << v.sectorsPerCluster << ", MFT " << v.mftStart << ", MFT mirror "
        << v.mftMirrorStart << ", record sectors " << v.mftRecordSectors << ", index sectors "
        << v.indexBufferSectors << ", cluster 0 at " << v.cluster0Sector;
    return;
  }
  out << "sectors/cluster " << v.sectorsPerCluster << ", reserved " << v.reservedSectors
      << ", FAT sectors " << v.fatSectors << ", FAT1 " << v.fat1Start << ", FAT2 " << v.fat2Start;
  if (v.fileSystem == FileSystem::Fat32)
    out << ", root cluster " << v.rootDirStart;
  else
    out << ", root " << v.rootDirStart << " (" << v.rootDirSectors << " sectors)";
  out << ", cluster 0 at " << v.cluster0Sector;
}

void jsonParameters(JsonWriter& json, const VolumeParameters& v) {
  json.beginObject()
      .field("fatSectors", v.fatSectors)
      .field("sectorsPerCluster", v.sectorsPerCluster)
      .field("rootDirSectors", v.rootDirSectors)
      .field("rootDirStart", v.rootDirStart)
      .field("reservedSectors", v.reservedSectors)
      .field("cluster0Sector", v.cluster0Sector)
      .field("fat1Start", v.fat1Start)
      .field("fat2Start", v.fat2Start)
      .field("mftStart", v.mftStart)
      .field("mftMirrorStart", v.mftMirrorStart)
      .field("mftRecordSectors", v.mftRecordSectors)
      .field("indexBufferSectors", v.indexBufferSectors)
      .endObject();
}

}  // namespace

int partitionsCommand(const std::vector<std::string>& argv) {
  Args args(argv, {"bad-sectors"}, {"json", "quiet"});
  if (!args.ok() || args.positionals().size() != 1) {
    std::cerr << "usage: tessaly-cli partitions DISK [--json] [--quiet]\n";
    if (!args.ok()) std::cerr << args.error() << '\n';
    return 2;
  }
  const std::string disk = args.positionals()[0];
  auto devices = platform::DeviceTable::fromPaths({disk});
  auto device = devices.open(platform::DeviceTable::physicalDriveName(0));
  if (!device) {
    std::cerr << "tessaly-cli: cannot open " << disk << " for reading: "
              << devices.openError(platform::DeviceTable::physicalDriveName(0)) << '\n';
    return 1;
  }

  CliReport report(args.has("quiet") || args.has("json"));
  DialogAnswers answers;
  answers.badSectors = args.get("bad-sectors", "retry-all");
  CliDialogs dialogs(answers, &report);
  Session session(devices, report, dialogs);
  session.selectedDisk = 0;
  session.selectedDiskName = "Disk0";

  TreeModel tree;
  TreeItem root = tree.insert(kNoItem, "Disk 0", 1, 1);
  walkPartitionTable(session, tree, 0);
  tree.expand(root);

  const DiskPartitionList& list = session.partitionLists[0];
  std::vector<PartitionReport> reports;
  for (int i = 0; i < list.count; ++i) {
    const PartitionEntry& entry = list.entries[static_cast<std::size_t>(i)];
    PartitionReport r{};
    r.number = i + 1;
    r.label = tree.text(entry.treeItem);
    r.fileSystem = list.fileSystems[static_cast<std::size_t>(i)];
    r.start = entry.startSector;
    r.end = entry.endSector - 1;

    session.partitionSelection = PartitionSelection{};
    session.partitionSelection.partitionIndex = static_cast<std::uint32_t>(i);
    session.partitionSelection.fileSystem = r.fileSystem;
    session.partitionSelection.searchMode = "Quick Mode";
    session.partitionSelection.firstSector = entry.startSector;
    session.partitionSelection.lastSector = entry.endSector - 1;
    ScanState layout(session.memoryLimit);
    r.valid = validatePartition(session, layout) == 1;
    if (!r.valid && r.fileSystem != FileSystem::Ntfs)
      r.calculated = calculatePartitionParameters(session, layout.volume) == 1;
    r.parameters = layout.volume;
    r.parameters.fileSystem = r.fileSystem;
    reports.push_back(r);
  }
  report.finish();

  if (args.has("json")) {
    JsonWriter json(std::cout);
    json.beginObject().field("disk", disk).field("sectors", device->size() / 512);
    json.field("truncated", list.truncated);
    json.key("partitions").beginArray();
    for (const auto& r : reports) {
      json.beginObject()
          .field("number", r.number)
          .field("label", r.label)
          .field("fileSystem", std::string(fileSystemName(r.fileSystem)))
          .field("start", r.start)
          .field("end", r.end)
          .field("valid", r.valid)
          .field("calculated", r.calculated);
      if (r.valid || r.calculated) {
        json.key("parameters");
        jsonParameters(json, r.parameters);
      }
      json.endObject();
    }
    json.endArray().endObject().finish();
    return 0;
  }

  std::cout << "Disk 0: " << disk << " (" << device->size() / 512 << " sectors)\n";
  if (reports.empty()) std::cout << "  no partitions listed\n";
  for (const auto& r : reports) {
    std::cout << "  " << r.number << "  " << r.label << "  start " << r.start << "  end " << r.end
              << "  (" << (std::uint64_t{r.end} - r.start + 1) << " sectors)\n";
    std::cout << "     boot sector: ";
    if (r.valid) {
      std::cout << "valid; ";
      printParameters(std::cout, r.parameters);
    } else if (r.calculated) {
      std::cout << "not valid; layout calculated from directories: ";
      printParameters(std::cout, r.parameters);
    } else {
      std::cout << "not valid";
    }
    std::cout << '\n';
  }
  if (list.truncated)
    std::cout << "  (the partition tables list more than " << DiskPartitionList::kMaxNames
              << " partitions; the rest are not shown)\n";
  return 0;
}

}  // namespace tessaly::cli
