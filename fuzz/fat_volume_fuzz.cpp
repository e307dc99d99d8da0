// A whole Quick scan of a FAT volume and the listing of every folder it found: the first
// input byte chooses the floppy (FAT12), a FAT16 or a FAT32 volume, each on a disk of
// 1.44 MB; the rest is the volume from its boot sector on, zeros after it. This drives the
// directory sweep, the cluster chains read from the FAT, the lost directories and the
// folder tree. The volumes are small because every sector of them is swept on every
// input: what lies past the input is zeros, and more of them only slows the fuzzing.
#include "fuzz_session.h"
#include "partition/volume.h"
#include "recovery/quick_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  if (size < 1) return 0;
  struct Choice {
    FileSystem fs;
    std::uint64_t sectors;
  };
  constexpr Choice kChoices[] = {
      {FileSystem::Fat12, 2880}, {FileSystem::Fat16, 2880}, {FileSystem::Fat32, 2880}};
  const Choice choice = kChoices[data[0] % 3];
  fuzz::FuzzSession s({data + 1, size - 1}, choice.sectors);
  if (choice.fs == FileSystem::Fat12) s.session.selectedDiskName = "1.44\" Floppy";
  auto& selection = s.session.partitionSelection;
  selection.fileSystem = choice.fs;
  selection.firstSector = 0;
  selection.lastSector = choice.sectors - 1;
  selection.searchMode = "Quick Mode";
  try {
    if (choice.fs != FileSystem::Fat12) validatePartition(s.session, s.scan);
    if (runQuickScan(s.session, s.scan) != ScanEnd::Finished) return 0;
    fuzz::listEveryFolder(s);
  } catch (const ProgramExit&) {
    // "Not Enough Memory" and the like end the program through its message; not a fault.
  }
  return 0;
}
