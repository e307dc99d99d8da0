#include "cli/scan_setup.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <iostream>

#include "cli/interrupts.h"
#include "config/configuration.h"
#include "disk/disk_enumeration.h"
#include "disk/sector_reader.h"
#include "fat/file_system_search.h"
#include "partition/bare_volume.h"
#include "partition/partition_search.h"
#include "partition/partition_walk.h"
#include "partition/volume.h"
#include "platform/geometry.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "recovery/advanced_scan.h"

namespace tessaly::cli {

ScanRun::ScanRun(bool quiet, const DialogAnswers& answers, platform::DeviceTable& devices)
    : devices_(devices), report_(quiet), dialogs_(answers, &report_) {}

ScanRun::~ScanRun() {
  Interrupts::watch(nullptr);
  // The catalogue file of this run is not left behind.
  scan_.reset();
  if (!scratch_.empty()) ::rmdir(scratch_.c_str());
}

std::string ScanRun::rangeText() const {
  const auto& s = session_->partitionSelection;
  return std::to_string(s.firstSector) + " - " + std::to_string(s.lastSector);
}

namespace {

constexpr const char* kFloppyName = "1.44\" Floppy";

// What sector 0 of an image named with --floppy holds when it is not a floppy's FAT12
// volume: the reason, with how to scan it, or "" for a floppy (or a floppy whose boot
// sector is too damaged to tell, which the floppy scan still reads).
std::string notAFloppy(platform::Device& device) {
  std::array<std::uint8_t, kSectorSize> sector{};
  if (!device.read(0, sector)) return "";
  const std::uint64_t sectors = device.size() / kSectorSize;
  const BootSectorFacts facts = readBootSectorFacts(sector);
  if (facts.fileSystem == FileSystem::Fat12 || (facts.fileSystem == FileSystem::None && !isPartitionTable(sector, sectors)))
    return "";
  if (facts.fileSystem == FileSystem::None)
    return "this image holds a partition table, not a floppy: list its partitions with "
           "'tessaly-cli partitions', then use --partition N";
  return "this image holds a " + std::string(fileSystemName(facts.fileSystem)) +
         " volume, not a floppy: use --partition 1";
}

}  // namespace

std::unique_ptr<ScanRun> ScanRun::open(const Args& args, const std::vector<std::string>&,
                                       const DialogAnswers& answers, int& exitCode,
                                       platform::DeviceTable& devices) {
  exitCode = 2;
  const auto& pos = args.positionals();
  const bool floppy = args.has("floppy");
  // --range FIRST LAST: the two sector numbers follow the disk.
  const bool range = args.has("range") || args.has("fs");
  // A recovery log names the partition itself.
  const bool fromLog = args.has("load-log");
  if (pos.empty()) {
    std::cerr << "name a disk, and what to scan on it: --partition N, --floppy, or --range FIRST LAST --fs FS "
                 "(none: every volume of the disk)\n";
    return nullptr;
  }
  if (range && !(args.has("range") && args.has("fs"))) {
    std::cerr << "--range FIRST LAST needs --fs FS\n";
    return nullptr;
  }
  if (!range && pos.size() != 1) {
    std::cerr << "name one disk\n";
    return nullptr;
  }
  std::unique_ptr<ScanRun> run(new ScanRun(args.has("quiet") || args.has("json"), answers, devices));
  run->disk_ = pos[0];
  if (floppy) {
    run->devices_.setFloppy(pos[0]);
  } else {
    run->devices_.setDisks({pos[0]});
  }
  const std::string device = floppy ? std::string(platform::DeviceTable::floppyName())
                                    : platform::DeviceTable::physicalDriveName(0);
  auto opened = run->devices_.open(device);
  if (!opened) {
    std::cerr << "tessaly-cli: cannot open " << pos[0] << " for reading: " << run->devices_.openError(device)
              << '\n';
    exitCode = 1;
    return nullptr;
  }
  if (floppy) {
    if (const std::string reason = notAFloppy(*opened); !reason.empty()) {
      std::cerr << "tessaly-cli: " << pos[0] << ": " << reason << '\n';
      exitCode = 1;
      return nullptr;
    }
  }

  run->session_ = std::make_unique<Session>(run->devices_, run->report_, run->dialogs_);
  Session& session = *run->session_;
  // The installation folder: the registered one, else where tessaly-cli itself lies.
  session.installFolder = readInstallFolder(session.registry);
  if (session.installFolder.empty()) session.installFolder = platform::executableFolder();
  session.messages = std::make_shared<MessageCatalogue>(
      session.installFolder, chooseLanguageFile(readLanguageSetting(session.registry)));
  // The scan catalogue of a command-line run is its own: several runs at once, or a
  // wizard beside them, never share one file.
  std::string scratch = platform::tempFolder() + "/tessaly-XXXXXX";
  if (::mkdtemp(scratch.data())) {
    run->scratch_ = scratch;
    session.scratchFolder = scratch;
  }
  if (args.has("memory-limit")) {
    if (auto limit = parseNumber(args.get("memory-limit"))) session.memoryLimit = *limit;
  }

  // --mode quick|advanced, and in Advanced mode the file system to take.
  const std::string mode = args.get("mode", "quick");
  if (mode != "quick" && mode != "advanced") {
    std::cerr << "tessaly-cli: --mode takes quick or advanced\n";
    return nullptr;
  }
  run->advanced_ = mode == "advanced";
  if (args.has("filesystem")) {
    auto k = parseNumber(args.get("filesystem"));
    if (!run->advanced_ || !k || *k < 1) {
      std::cerr << "tessaly-cli: --filesystem K (from 1) goes with --mode advanced\n";
      return nullptr;
    }
    run->chosenFileSystem_ = static_cast<std::size_t>(*k);
  }
  if (run->advanced_ && (floppy || fromLog || !(args.has("partition") || range))) {
    std::cerr << "tessaly-cli: --mode advanced takes a partition or a range\n";
    return nullptr;
  }

  PartitionSelection& sel = session.partitionSelection;
  sel.searchMode = run->advanced_ ? "Advance Mode" : "Quick Mode";
  auto chooseFloppy = [&] {
    session.selectedDiskName = kFloppyName;
    sel.fileSystem = FileSystem::Fat12;
    sel.firstSector = 0;
    sel.lastSector = 2880;
    run->label_ = kFloppyName;
  };
  if (floppy) {
    chooseFloppy();
  } else {
    session.selectedDisk = 0;
    session.selectedDiskName = "Disk0";
    if (fromLog) {
      run->label_ = "the recovery log " + args.get("load-log");
    } else if (args.has("partition")) {
      auto n = parseNumber(args.get("partition"));
      run->listVolumes(args.has("search"));
      if (!n || *n < 1 || *n > run->volumes_.size()) {
        std::cerr << "tessaly-cli: " << pos[0] << " has no partition " << args.get("partition")
                  << " (it lists " << run->volumes_.size() << ")\n";
        exitCode = 1;
        return nullptr;
      }
      run->selectVolume(static_cast<std::size_t>(*n - 1));
    } else if (range) {
      if (pos.size() != 3) {
        std::cerr << "--range needs FIRST and LAST sectors after the disk\n";
        return nullptr;
      }
      auto first = parseNumber(pos[1]);
      auto last = parseNumber(pos[2]);
      const std::string fsName = args.get("fs");
      const FileSystem fs = fileSystemFromName(fsName);
      if (!first || !last || *first >= *last) {
        std::cerr << "tessaly-cli: the range needs FIRST below LAST (sector numbers)\n";
        return nullptr;
      }
      if (fs != FileSystem::Fat16 && fs != FileSystem::Fat32 && fs != FileSystem::Ntfs) {
        std::cerr << "tessaly-cli: --fs takes FAT16, FAT32 or NTFS\n";
        return nullptr;
      }
      sel.fileSystem = fs;
      sel.firstSector = *first;
      sel.lastSector = *last;
      run->label_ = "Sectors " + pos[1] + " - " + pos[2] + " ( " + fsName + " )";
    } else {
      run->wholeDisk_ = true;
      const auto bare = findBareVolume(session, opened->size() / kSectorSize);
      if (bare && bare->floppy && !args.has("search")) {
        // A floppy image keeps the floppy path: its one volume is the floppy.
        run->devices_.setFloppy(pos[0]);
        chooseFloppy();
        run->volumes_.push_back({1, kFloppyName, FileSystem::Fat12, 0, 2880});
      } else {
        run->listVolumes(args.has("search"));
      }
    }
  }
  sel.diskNumber = session.selectedDisk;
  sel.selectedDisk = session.selectedDisk;
  exitCode = 0;
  return run;
}

void ScanRun::listVolumes(bool search) {
  Session& session = *session_;
  TreeModel tree;
  tree.insert(kNoItem, "Disk 0", 1, 1);
  if (search) {
    SearchOptions options;
    const auto geometry = platform::queryGeometry(devices_, platform::DeviceTable::physicalDriveName(0));
    if (geometry) {
      options.geometry.cylinders = static_cast<std::uint32_t>(geometry->cylinders);
      options.geometry.heads = geometry->tracksPerCylinder;
      options.geometry.sectorsPerTrack = geometry->sectorsPerTrack;
    }
    options.diskSectors = selectedDiskSectors(session);
    report_.status("Searching Partition...");
    options.progress = [this](int percent) { report_.scanProgress(percent); };
    searchPartitions(session, tree, options);
    report_.finish();
  } else {
    walkPartitionTable(session, tree, 0);
  }
  const DiskPartitionList& list = session.partitionLists[0];
  volumes_.clear();
  for (int i = 0; i < list.count; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const PartitionEntry& entry = list.entries[at];
    volumes_.push_back({i + 1, tree.text(entry.treeItem), list.fileSystems[at], entry.startSector,
                        entry.endSector > entry.startSector ? entry.endSector - 1 : entry.startSector});
  }
}

void ScanRun::selectVolume(std::size_t index) {
  const ListedVolume& volume = volumes_.at(index);
  PartitionSelection& sel = session_->partitionSelection;
  sel.partitionIndex = static_cast<std::uint32_t>(index);
  sel.fileSystem = volume.fileSystem;
  sel.firstSector = volume.first;
  sel.lastSector = volume.last;
  label_ = volume.label;
}

std::string ScanRun::skipReason() {
  Session& session = *session_;
  if (session.floppySelected()) return "";
  ScanState probe(session.memoryLimit);
  if (validatePartition(session, probe) == 1) return "";
  return "its " + std::string(fileSystemName(session.partitionSelection.fileSystem)) +
         " boot sector is not valid (scan it alone with --partition N)";
}

ScanEnd ScanRun::scan() {
  Session& session = *session_;
  PartitionSelection& sel = session.partitionSelection;
  Interrupts::watch(nullptr);
  scan_.reset();
  scan_ = std::make_unique<ScanState>(session.memoryLimit);
  ScanState& scan = *scan_;
  // A signal stops the scan as the wizard's Stop does.
  Interrupts::watch(&scan.stopRequested);
  if (advanced_) return scanAdvanced();
  if (isFat(sel.fileSystem) && !session.floppySelected()) {
    validatePartition(session, scan);
  } else if (sel.fileSystem == FileSystem::Ntfs) {
    scan.volume.mftStart = 0;
    scan.volume.mftMirrorStart = 0;
    if (!validatePartition(session, scan))
      session.messageBox(session.text(msg::kNeedsAdvancedMode), MessageButtons::Ok, MessageIcon::Information);
  }
  const ScanEnd end = runQuickScan(session, scan);
  Interrupts::watch(nullptr);
  report_.finish();
  if (end == ScanEnd::NotAvailable)
    std::cerr << "tessaly-cli: a Quick scan of " << fileSystemName(sel.fileSystem) << " is not possible\n";
  // What the scan worked around (the lost-MFT message was shown already).
  for (const std::string& note : scan.notes)
    if (end != ScanEnd::Unreadable || note != kMftLostMessage) std::cerr << "tessaly-cli: " << note << '\n';
  return end;
}

}  // namespace tessaly::cli

namespace tessaly::cli {

ScanEnd ScanRun::scanAdvanced() {
  Session& session = *session_;
  ScanState& scan = *scan_;
  const ScanEnd end = runAdvancedSearch(session, scan);
  if (end == ScanEnd::NotAvailable) {
    report_.finish();
    std::cerr << "tessaly-cli: an Advanced scan of "
              << fileSystemName(session.partitionSelection.fileSystem) << " is not possible\n";
    return end;
  }
  const std::size_t count = scan.fileSystems.size();
  if (count == 0) {
    report_.finish();
    for (const std::string& note : scan.notes) std::cerr << "tessaly-cli: " << note << '\n';
    if (end == ScanEnd::NoFileSystem) return end;
    std::cerr << "tessaly-cli: " << session.text(msg::kNoFileSystemIdentified) << '\n';
    return ScanEnd::NoFileSystem;
  }
  if (chosenFileSystem_ > count) {
    report_.finish();
    printFileSystems(std::cerr, scan, 0);
    std::cerr << "tessaly-cli: --filesystem " << chosenFileSystem_ << ": the range holds " << count
              << " file system" << (count == 1 ? "" : "s") << '\n';
    return ScanEnd::NoFileSystem;
  }
  if (!prepareChosen(session, scan, chosenFileSystem_ - 1)) {
    report_.finish();
    std::cerr << "tessaly-cli: file system " << chosenFileSystem_ << " lies beyond what a FAT volume can address\n";
    return ScanEnd::NoFileSystem;
  }
  report_.finish();
  for (const std::string& note : scan.notes) std::cerr << "tessaly-cli: " << note << '\n';
  return end;
}

void printFileSystems(std::ostream& out, const ScanState& scan, std::size_t chosen) {
  const bool ntfs = !scan.bootCandidates.empty() || scan.spillFile.count() > 0;
  out << scan.fileSystems.size() << " file system" << (scan.fileSystems.size() == 1 ? "" : "s") << " found (";
  if (ntfs)
    out << scan.bootCandidates.size() << " boot sectors, " << scan.spillFile.count() << " MFT records):\n";
  else
    out << scan.bootSectors.size() << " boot sectors, " << scan.directorySectors.size() << " directories):\n";
  for (std::size_t i = 0; i < scan.fileSystems.size(); ++i) {
    const FileSystemRow& row = scan.fileSystems[i];
    out << (i + 1 == chosen ? "* " : "  ") << fileSystemItemText(i, row) << "   cluster 0 at sector "
        << row.cluster0Start << ", " << row.sectorsPerCluster << " sectors per cluster, ";
    if (row.derived)
      out << (row.type == FileSystem::Ntfs ? "from its index blocks\n" : "from its directories\n");
    else
      out << "boot sector at " << row.sector << '\n';
  }
}

namespace {

// The model text of the disk, as the disk page would show it (the disk facts helper
// writes it).
std::string diskModel(Session& session) {
  TreeModel disks;
  enumerateDisks(session, disks);
  (void)diskFactsRows(session, session.selectedDisk);
  return session.currentDiskModel;
}

}  // namespace

LogLoadEnd ScanRun::loadLog(const std::string& path) {
  Session& session = *session_;
  const LogRead read = readRecoveryLogFile(path, diskModel(session));
  if (read.end != LogLoadEnd::Loaded) {
    std::cerr << "tessaly-cli: " << path << ": " << session.text(*logLoadMessage(read.end)) << '\n';
    return read.end;
  }
  scan_.reset();
  scan_ = std::make_unique<ScanState>(session.memoryLimit);
  loadRecoveryLog(session, *scan_, read.log);
  report_.finish();
  return LogLoadEnd::Loaded;
}

bool ScanRun::saveLog(const std::string& chosen) {
  Session& session = *session_;
  const SaveLogName name = saveLogName(chosen);
  if (!name.validExtension) {
    std::cerr << "tessaly-cli: " << chosen << ": " << session.text(msg::kInvalidExtension) << '\n';
    return false;
  }
  if (name.askOverwrite(platform::fileExists(name.path)) &&
      session.messageBox(name.path + session.text(msg::kOverwriteQuestion), MessageButtons::YesNo,
                         MessageIcon::Question) != kIdYes)
    return false;
  if (!session.floppySelected()) session.currentDiskModel = diskModel(session);
  const LogSaveEnd end = saveRecoveryLogFile(session, *scan_, 1, name.path);
  if (end == LogSaveEnd::Written) return true;
  const auto message = logSaveMessage(end);
  std::cerr << "tessaly-cli: " << name.path << ": " << (message ? session.text(*message) : kEmptyCatalogueMessage)
            << '\n';
  return false;
}

}  // namespace tessaly::cli
