// The manifests the image builders (tools/images-*.sh) write next to a test image: what
// was put on each volume before anything was deleted. One format for every image:
//
//   # KEY VALUE                 header lines (ntfs_files: mft_runs, source)
//   volume  NAME  FS  FIRST-SECTOR  LAST-SECTOR  SECTORS-PER-CLUSTER
//   folder  NAME  PATH  DELETED  [RECORD  DOS-NAME]
//   file    NAME  PATH  SIZE  SHA256  DATE  TIME  DELETED  [RECORD  DOS-NAME  RUNS]
//   lost    NAME  PATH          (a folder whose parent's directory was overwritten)
//
// Fields are tab-separated. NAME is the volume's name in the image; paths begin with "/".
// DELETED is 1 for what was deleted, itself or through a deleted folder. DATE and TIME
// are the texts the file list shows ("09-Mar-2005", "14:05"), "-" where the builder does
// not know them. The bracketed fields are those of NTFS volumes: the MFT record number,
// the DOS name ("-" for none) and the runs of the unnamed $DATA ("LCN:CLUSTERS,…", LCN
// "hole" for a sparse run, "-" for resident data).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
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
  // NTFS folder and file lines.
  std::uint32_t record = 0;
  std::string dosName;
  std::string runs;
};

struct ManifestFile {
  std::map<std::string, std::string> header;
  std::vector<ManifestEntry> entries;
};

// Reads a manifest; a missing file fails the test that asked.
ManifestFile loadManifest(const std::string& path);
std::vector<ManifestEntry> entriesOf(const ManifestFile& manifest, const std::string& volume,
                                     const std::string& kind);

// The name a FAT listing gives an entry mtools wrote: an 8.3 name whose name and extension
// are each of one letter case is stored without a long name (the lower-case flags keep
// its case), and a deleted one loses its first letter to "_".
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

// ------------------------------------------------------------------ the NTFS volume

// A run of a file as the tools list it.
struct ListedRun {
  std::optional<std::uint64_t> lcn;  // none for a sparse run
  std::uint64_t clusters = 0;
};
std::vector<ListedRun> parseRuns(const std::string& text);

// A folder or file of the ntfs_files image, its path relative to the volume root.
struct Entry {
  bool folder = false;
  std::string path;  // "Pictures/Trip"
  std::uint64_t size = 0;
  std::string sha;
  bool deleted = false;
  std::uint32_t record = 0;
  std::string dosName;  // "-" when none
  std::vector<ListedRun> runs;
  std::string runsText;

  std::string name() const { return path.substr(path.rfind('/') + 1); }
  std::string parentPath() const {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
  }
};

// The NTFS volume of a manifest: its layout, its header and its folders and files.
struct Manifest {
  explicit Manifest(const std::string& path);

  std::map<std::string, std::string> header;
  ManifestEntry volume;
  std::vector<Entry> entries;

  std::uint32_t partitionStart() const { return static_cast<std::uint32_t>(volume.firstSector); }
  std::uint32_t partitionSectors() const {
    return static_cast<std::uint32_t>(volume.lastSector - volume.firstSector + 1);
  }
  std::uint32_t sectorsPerCluster() const { return volume.sectorsPerCluster; }
  const Entry* find(const std::string& path) const;
  // The record of an entry's parent folder (5, the root directory, for the top level).
  std::uint32_t parentRecord(const Entry& e) const;
  // The first disk sector of MFT record `record`, by the $MFT's runs as the tools listed
  // them (two sectors per record); 0 when the runs do not reach it.
  std::uint64_t recordSector(std::uint32_t record) const;
};

}  // namespace tessaly::test
