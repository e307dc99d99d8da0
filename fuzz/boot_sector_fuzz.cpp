// Boot-sector validation and volume parameters: the first input byte chooses the file
// system the partition is taken for, the rest is the volume from its boot sector on, on a
// disk of 64 MiB so that parameters pointing far into the volume still read sectors.
#include "fuzz_session.h"
#include "partition/volume.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tessaly::FileSystem;
  if (size < 1) return 0;
  constexpr FileSystem kChoices[] = {FileSystem::Fat16, FileSystem::Fat32, FileSystem::Ntfs};
  const FileSystem fs = kChoices[data[0] % 3];
  tessaly::fuzz::FuzzSession s({data + 1, size - 1}, 131072);
  auto& selection = s.session.partitionSelection;
  selection.fileSystem = fs;
  selection.firstSector = 0;
  selection.lastSector = s.sectors() - 1;
  s.scan.volume.mftStart = 0;
  s.scan.volume.mftMirrorStart = 0;
  tessaly::validatePartition(s.session, s.scan);
  if (fs != FileSystem::Ntfs) {
    // The layout worked out from directory sectors, over the input's sectors only.
    selection.lastSector = std::max<std::uint64_t>(1, (size - 1 + 511) / 512);
    tessaly::VolumeParameters volume;
    tessaly::calculatePartitionParameters(s.session, volume);
  }
  return 0;
}
