// The manifest of the ntfs_files image (tools/images-ntfs.sh): every file and folder put
// on the volume, as it was before the deletions, with its record number and runs.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tessaly::test {

struct ListedRun {
  std::optional<std::uint64_t> lcn;  // none for a sparse run
  std::uint64_t clusters = 0;
};

inline std::vector<ListedRun> parseRuns(const std::string& text) {
  std::vector<ListedRun> runs;
  if (text == "-") return runs;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    const auto colon = item.find(':');
    ListedRun run;
    if (item.substr(0, colon) != "hole") run.lcn = std::stoull(item.substr(0, colon));
    run.clusters = std::stoull(item.substr(colon + 1));
    runs.push_back(run);
  }
  return runs;
}

struct Entry {
  bool folder = false;
  std::string path;
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

struct Manifest {
  std::map<std::string, std::string> header;
  std::vector<Entry> entries;

  explicit Manifest(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("# ", 0) == 0) {
        const auto space = line.find(' ', 2);
        if (space != std::string::npos) header[line.substr(2, space - 2)] = line.substr(space + 1);
        continue;
      }
      std::vector<std::string> f;
      std::stringstream fields(line);
      std::string field;
      while (std::getline(fields, field, '\t')) f.push_back(field);
      if (f.size() != 8) continue;
      Entry e;
      e.folder = f[0] == "folder";
      e.path = f[1];
      e.size = std::stoull(f[2]);
      e.sha = f[3];
      e.deleted = f[4] == "1";
      e.record = static_cast<std::uint32_t>(std::stoul(f[5]));
      e.dosName = f[6];
      e.runsText = f[7];
      e.runs = parseRuns(f[7]);
      entries.push_back(e);
    }
  }
  std::uint32_t number(const std::string& key) const {
    auto it = header.find(key);
    return it == header.end() ? 0 : static_cast<std::uint32_t>(std::stoul(it->second));
  }
  const Entry* find(const std::string& path) const {
    for (const auto& e : entries)
      if (e.path == path) return &e;
    return nullptr;
  }
  std::uint32_t parentRecord(const Entry& e) const {
    const Entry* parent = find(e.parentPath());
    return parent ? parent->record : 5;  // the root directory
  }
  // The first disk sector of MFT record `record`, by the $MFT's runs as the tools listed
  // them (two sectors per record); 0 when the runs do not reach it.
  std::uint64_t recordSector(std::uint32_t record) const {
    auto it = header.find("mft_runs");
    if (it == header.end()) return 0;
    const std::uint64_t spc = number("sectors_per_cluster");
    std::uint64_t skip = 2 * std::uint64_t{record};
    for (const ListedRun& run : parseRuns(it->second)) {
      const std::uint64_t sectors = run.clusters * spc;
      if (skip < sectors) return run.lcn ? number("partition_start") + *run.lcn * spc + skip : 0;
      skip -= sectors;
    }
    return 0;
  }
};

}  // namespace tessaly::test
