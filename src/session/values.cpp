#include "session/values.h"

namespace tessaly {

std::string_view fileSystemName(FileSystem fileSystem) {
  switch (fileSystem) {
    case FileSystem::Fat12:
      return "FAT12";
    case FileSystem::Fat16:
      return "FAT16";
    case FileSystem::Fat32:
      return "FAT32";
    case FileSystem::Ntfs:
      return "NTFS";
    case FileSystem::None:
      break;
  }
  return "";
}

FileSystem fileSystemFromName(std::string_view name) {
  for (FileSystem fs : {FileSystem::Fat12, FileSystem::Fat16, FileSystem::Fat32, FileSystem::Ntfs})
    if (fileSystemName(fs) == name) return fs;
  return FileSystem::None;
}

std::string_view saveMethodName(SaveMethod method) {
  switch (method) {
    case SaveMethod::Fat1Chain:
      return "FAT 1 chain";
    case SaveMethod::Fat2Chain:
      return "FAT 2 chain";
    case SaveMethod::FreeClusters:
      return "free clusters";
    case SaveMethod::Contiguous:
      break;
  }
  return "contiguous";
}

}  // namespace tessaly
