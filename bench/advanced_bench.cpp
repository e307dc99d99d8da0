// Runs the Advanced search over a disk image for the Advanced benchmarks:
//   tessaly-advanced-bench IMAGE FAT16|FAT32|NTFS
// sweeps the whole image, identifies its file systems and builds the first one's tree,
// through the same session, sector reader and device as tessaly-cli, and prints
//   sweep S identify S prepare S bootsectors N directories N filesystems N folders N maxrss KiB
// (NTFS: identify is the reference resolution, directories the swept MFT records).
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>

#include <chrono>
#include <cstdio>
#include <string>

#include "fat/file_system_search.h"
#include "ntfs/mft_resolution.h"
#include "ntfs/mft_sweep.h"
#include "platform/device.h"
#include "platform/paths.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace {

class NoDialogs : public tessaly::Dialogs {
 public:
  int messageBox(const std::string&, const std::string&, tessaly::MessageButtons,
                 tessaly::MessageIcon) override {
    return tessaly::kIdOk;
  }
  tessaly::BadSectorAnswer askBadSector() override { return tessaly::BadSectorAnswer::SkipAll; }
  tessaly::ReplaceAnswer askReplace(const std::string&) override {
    return tessaly::ReplaceAnswer::NoToAll;
  }
  tessaly::WriteErrorAnswer askErrorWriting(const std::string&) override {
    return tessaly::WriteErrorAnswer::Skip;
  }
  std::optional<std::string> chooseFolder(const std::string&) override { return std::nullopt; }
  std::optional<std::string> chooseSaveFile(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> chooseOpenFile(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tessaly;
  if (argc != 3) {
    std::fprintf(stderr, "usage: tessaly-advanced-bench IMAGE FAT16|FAT32|NTFS\n");
    return 2;
  }
  platform::DeviceTable devices;
  devices.setDisks({argv[1]});
  auto disk = devices.open(platform::DeviceTable::physicalDriveName(0));
  if (!disk) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  NullReport report;
  NoDialogs dialogs;
  Session session(devices, report, dialogs);
  std::string scratch = platform::tempFolder() + "/tessaly-bench-XXXXXX";
  if (::mkdtemp(scratch.data())) session.scratchFolder = scratch;
  session.selectedDiskName = "Disk0";
  session.partitionSelection.fileSystem = fileSystemFromName(argv[2]);
  session.partitionSelection.firstSector = 0;
  session.partitionSelection.lastSector = disk->size() / 512 - 1;
  ScanState scan;
  const bool ntfs = session.partitionSelection.fileSystem == FileSystem::Ntfs;
  // The NTFS sweep's range ends before lastSector: the whole image.
  if (ntfs) session.partitionSelection.lastSector = disk->size() / 512;

  auto start = std::chrono::steady_clock::now();
  if (ntfs)
    (void)sweepNtfsRange(session, scan);
  else
    sweepForFileSystems(session, scan);
  const double sweep = since(start);
  start = std::chrono::steady_clock::now();
  if (ntfs)
    resolveMftReferences(session, scan);
  else
    identifyFileSystems(session, scan);
  const double identify = since(start);
  start = std::chrono::steady_clock::now();
  const bool prepared = ntfs ? prepareChosenNtfs(session, scan, 0) : prepareChosenFileSystem(session, scan, 0);
  const double prepare = since(start);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "sweep %.3f identify %.3f prepare %.3f bootsectors %zu directories %zu filesystems %zu "
      "folders %zu "
      "maxrss %ld\n",
      sweep, identify, prepare, ntfs ? scan.bootCandidates.size() : scan.bootSectors.size(),
      ntfs ? scan.spillFile.count() : scan.directorySectors.size(),
      scan.fileSystems.size(), prepared ? scan.catalogue.recordCount() : 0, usage.ru_maxrss);
  releaseScanState(scan);
  if (!session.scratchFolder.empty()) ::rmdir(session.scratchFolder.c_str());
  return prepared ? 0 : 1;
}
