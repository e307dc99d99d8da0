// tessaly-cli partitions DISK: the partition listing of a disk or disk image, with what
// boot-sector validation makes of each partition.
#include <iostream>
#include <optional>

#include "cli/commands.h"
#include "cli/frontend.h"
#include "cli/json.h"
#include "disk/sector_reader.h"
#include "partition/bare_volume.h"
#include "partition/partition_search.h"
#include "partition/partition_walk.h"
#include "platform/geometry.h"
#include "partition/volume.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly::cli {

namespace {

struct PartitionReport {
  int number;
  std::string label;
  FileSystem fileSystem;
  std::uint64_t start, end;
  PartitionOrigin origin;
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
  out << ", cluster 0 at " << v.cluster0();
}

void jsonParameters(JsonWriter& json, const VolumeParameters& v) {
  json.beginObject()
      .field("fatSectors", v.fatSectors)
      .field("sectorsPerCluster", v.sectorsPerCluster)
      .field("rootDirSectors", v.rootDirSectors)
      .field("rootDirStart", v.rootDirStart)
      .field("reservedSectors", v.reservedSectors)
      .field("cluster0Sector", v.cluster0())
      .field("fat1Start", v.fat1Start)
      .field("fat2Start", v.fat2Start)
      .field("mftStart", v.mftStart)
      .field("mftMirrorStart", v.mftMirrorStart)
      .field("mftRecordSectors", v.mftRecordSectors)
      .field("indexBufferSectors", v.indexBufferSectors)
      .endObject();
}

const char* originKey(PartitionOrigin origin) {
  switch (origin) {
    case PartitionOrigin::WholeDisk: return "whole-disk";
    case PartitionOrigin::Gpt: return "gpt";
    case PartitionOrigin::Search: return "search";
    default: return "table";
  }
}

std::string originText(PartitionOrigin origin, FileSystem fs) {
  switch (origin) {
    case PartitionOrigin::WholeDisk:
      return "no partition table: sector 0 is the boot sector of a " + std::string(fileSystemName(fs)) +
             " volume that spans the disk";
    case PartitionOrigin::Gpt: return "an entry of the GUID partition table";
    case PartitionOrigin::Search: return "found by the partition search";
    default: return "the partition table";
  }
}

}  // namespace

int partitionsCommand(const std::vector<std::string>& argv) {
  platform::DeviceTable devices;
  return partitionsCommand(argv, devices);
}

int partitionsCommand(const std::vector<std::string>& argv, platform::DeviceTable& devices) {
  Args args(argv, {"bad-sectors"}, {"json", "quiet", "search"});
  if (!args.ok() || args.positionals().size() != 1) {
    std::cerr << "usage: tessaly-cli partitions DISK [--search] [--json] [--quiet]\n";
    if (!args.ok()) std::cerr << args.error() << '\n';
    return 2;
  }
  const std::string disk = args.positionals()[0];
  devices.setDisks({disk});
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
  SearchOutcome searched;
  if (args.has("search")) {
    // The partition search: boot sectors at the cylinders' first sectors and on 1 MiB
    // boundaries, whatever the tables say.
    SearchOptions options;
    if (const auto g = platform::queryGeometry(devices, platform::DeviceTable::physicalDriveName(0))) {
      options.geometry = {static_cast<std::uint32_t>(g->cylinders), g->tracksPerCylinder, g->sectorsPerTrack};
    }
    options.diskSectors = device->size() / kSectorSize;
    report.status("Searching Partition...");
    options.progress = [&report](int percent) { report.scanProgress(percent); };
    searched = searchPartitions(session, tree, options);
  } else {
    walkPartitionTable(session, tree, 0);
  }
  tree.expand(root);
  std::optional<BareVolume> floppy;
  if (!args.has("search")) {
    floppy = findBareVolume(session, device->size() / kSectorSize);
    if (floppy && !floppy->floppy) floppy.reset();
  }

  const DiskPartitionList& list = session.partitionLists[0];
  std::vector<PartitionReport> reports;
  for (int i = 0; i < list.count; ++i) {
    const PartitionEntry& entry = list.entries[static_cast<std::size_t>(i)];
    PartitionReport r{};
    r.number = i + 1;
    r.label = tree.text(entry.treeItem);
    r.fileSystem = list.fileSystems[static_cast<std::size_t>(i)];
    r.start = entry.startSector;
    r.end = entry.endSector > entry.startSector ? entry.endSector - 1 : entry.startSector;
    r.origin = entry.origin;

    session.partitionSelection = PartitionSelection{};
    session.partitionSelection.partitionIndex = static_cast<std::uint32_t>(i);
    session.partitionSelection.fileSystem = r.fileSystem;
    session.partitionSelection.searchMode = "Quick Mode";
    session.partitionSelection.firstSector = entry.startSector;
    session.partitionSelection.lastSector = r.end;
    ScanState layout(session.memoryLimit);
    // Only what lies on the disk is read: a partition past its end is looked at up to the
    // end, one that starts past it not at all (its parameter search would try every
    // sector of a range that does not exist).
    const RangeOnDisk onDisk = clipSelectionToDisk(session);
    if (!onDisk.offDisk) {
      r.valid = validatePartition(session, layout) == 1;
      if (!r.valid && r.fileSystem != FileSystem::Ntfs)
        r.calculated = calculatePartitionParameters(session, layout.volume) == 1;
    }
    r.parameters = layout.volume;
    r.parameters.fileSystem = r.fileSystem;
    reports.push_back(r);
  }
  report.finish();

  if (args.has("json")) {
    JsonWriter json(std::cout);
    json.beginObject().field("disk", disk).field("sectors", device->size() / 512);
    json.field("truncated", list.truncated).field("floppy", floppy.has_value());
    if (args.has("search")) json.field("sectorsRead", searched.reads);
    json.key("partitions").beginArray();
    for (const auto& r : reports) {
      json.beginObject()
          .field("number", r.number)
          .field("label", r.label)
          .field("fileSystem", std::string(fileSystemName(r.fileSystem)))
          .field("start", r.start)
          .field("end", r.end)
          .field("origin", originKey(r.origin))
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
  if (floppy)
    std::cout << "  a floppy image (FAT12) without partitions: scan it with --floppy\n";
  else if (reports.empty())
    std::cout << "  no partitions listed\n";
  for (const auto& r : reports) {
    std::cout << "  " << r.number << "  " << r.label << "  start " << r.start << "  end " << r.end
              << "  (" << (r.end - r.start + 1) << " sectors)\n";
    if (const std::uint64_t sectors = device->size() / 512; r.start >= sectors)
      std::cout << "     starts past the end of the disk: nothing to scan\n";
    else if (r.end >= sectors)
      std::cout << "     runs past the end of the disk: scanned up to sector " << (sectors == 0 ? 0 : sectors - 1)
                << '\n';
    std::cout << "     found in: " << originText(r.origin, r.fileSystem) << '\n';
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
  if (args.has("search")) std::cout << "  (the search read " << searched.reads << " sectors)\n";
  if (list.truncated)
    std::cout << "  (the disk holds more than " << DiskPartitionList::kMaxNames
              << " partitions; the rest are not shown)\n";
  return 0;
}

}  // namespace tessaly::cli
