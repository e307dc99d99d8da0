// The Advanced NTFS search over a disk that is the input: the sweep's sector tests (file
// records, index blocks, boot sectors), the records parsed into the spill file and read
// back, the numbering of the records and the volumes found; then each volume found (the
// first four) is chosen and every folder of its tree listed.
#include "fuzz_session.h"
#include "recovery/advanced_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  fuzz::FuzzSession s({data, size});
  auto& selection = s.session.partitionSelection;
  selection.fileSystem = FileSystem::Ntfs;
  selection.firstSector = 0;
  // One sector past the disk's end, so that the cut to the disk runs too.
  selection.lastSector = s.sectors();
  try {
    if (runAdvancedNtfsSearch(s.session, s.scan) != ScanEnd::Finished) return 0;
    const std::size_t volumes = std::min<std::size_t>(s.scan.fileSystems.size(), 4);
    for (std::size_t chosen = 0; chosen < volumes; ++chosen) {
      if (!prepareChosen(s.session, s.scan, chosen)) continue;
      fuzz::listEveryFolder(s);
    }
  } catch (const ProgramExit&) {
    // "Not Enough Memory" and the like end the program through its message; not a fault.
  }
  return 0;
}
