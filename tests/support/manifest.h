// The manifests the image builders write: what was put on a test volume before anything
// was deleted.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace tessaly::test {

struct ManifestEntry {
  std::string kind;    // volume, folder, file, lost
  std::string volume;  // the volume's name in the image
  std::string path;    // "/A/B" (volume lines: the file system)
  std::uint64_t size = 0;
  std::string sha256;
  std::string date, time;
  bool deleted = false;
  // Volume lines.
  std::uint64_t firstSector = 0, lastSector = 0;
  std::uint32_t sectorsPerCluster = 0;
};

std::vector<ManifestEntry> loadManifest(const std::string& path);
std::vector<ManifestEntry> entriesOf(const std::vector<ManifestEntry>& all, const std::string& volume,
                                     const std::string& kind);

// The name a FAT listing gives an entry mtools wrote: an 8.3 name of one letter case is
// stored without a long name, upper case, and a deleted one loses its first letter to "_".
std::string fatListedName(const std::string& name, bool deleted);
// The listed names of the components of a manifest path below the folder `after` (a
// prefix of it, "" for the whole path), joined with "/": each as fatListedName gives it,
// deleted when the manifest's folder of that prefix was.
std::string fatListedPath(const std::vector<ManifestEntry>& folders, const std::string& path,
                          const std::string& after = "");
std::string baseName(const std::string& path);

// The FAT volumes of the test images, for parameterised tests: the image and the name of
// the volume in its manifest. Cases print and are named by the volume's name.
struct FatVolumeCase {
  const char* image;
  const char* volume;
};
inline constexpr FatVolumeCase kFatVolumeCases[] = {{"fat_floppy", "floppy"}, {"fat_disk", "fat16"},
                                                    {"fat_disk", "fat32"}};
inline void PrintTo(const FatVolumeCase& c, std::ostream* os) { *os << c.image << "/" << c.volume; }
struct FatVolumeCaseName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return info.param.volume;
  }
};
std::string parentPath(const std::string& path);

}  // namespace tessaly::test
