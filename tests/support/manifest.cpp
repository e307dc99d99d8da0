#include "support/manifest.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace tessaly::test {

ManifestFile loadManifest(const std::string& path) {
  ManifestFile out;
  std::ifstream in(path);
  if (!in) ADD_FAILURE() << "manifest missing: " << path;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("# ", 0) == 0) {
      const auto space = line.find(' ', 2);
      if (space != std::string::npos) out.header[line.substr(2, space - 2)] = line.substr(space + 1);
      continue;
    }
    std::vector<std::string> f;
    std::stringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t')) f.push_back(field);
    if (f.size() < 3) continue;
    ManifestEntry e;
    e.kind = f[0];
    e.volume = f[1];
    e.path = f[2];
    if (e.kind == "volume" && f.size() >= 6) {
      e.firstSector = std::stoull(f[3]);
      e.lastSector = std::stoull(f[4]);
      e.sectorsPerCluster = static_cast<std::uint32_t>(std::stoul(f[5]));
    } else if (e.kind == "folder" && f.size() >= 4) {
      e.deleted = f[3] == "1";
      if (f.size() >= 6) {
        e.record = static_cast<std::uint32_t>(std::stoul(f[4]));
        e.dosName = f[5];
      }
    } else if (e.kind == "file" && f.size() >= 8) {
      e.size = std::stoull(f[3]);
      e.sha256 = f[4];
      e.date = f[5];
      e.time = f[6];
      e.deleted = f[7] == "1";
      if (f.size() >= 11) {
        e.record = static_cast<std::uint32_t>(std::stoul(f[8]));
        e.dosName = f[9];
        e.runs = f[10];
      }
    }
    out.entries.push_back(e);
  }
  return out;
}

std::vector<ManifestEntry> entriesOf(const ManifestFile& manifest, const std::string& volume,
                                     const std::string& kind) {
  std::vector<ManifestEntry> out;
  for (const auto& e : manifest.entries)
    if (e.volume == volume && e.kind == kind) out.push_back(e);
  return out;
}

std::string fatListedPath(const std::vector<ManifestEntry>& folders, const std::string& path,
                          const std::string& after) {
  std::string out;
  std::string prefix = after;
  std::size_t start = after.size() + 1;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string component = path.substr(start, slash - start);
    prefix += "/" + component;
    bool deleted = false;
    for (const auto& f : folders)
      if (f.kind == "folder" && f.path == prefix) deleted = f.deleted;
    out += (out.empty() ? "" : "/") + fatListedName(component, deleted);
    start = slash + 1;
  }
  return out;
}

std::string baseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string parentPath(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string fatListedName(const std::string& name, bool deleted) {
  auto dot = name.find('.');
  std::string base = name.substr(0, dot);
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  auto oneCase = [](const std::string& s) {
    bool upper = false, lower = false;
    for (unsigned char c : s) {
      if (!(std::isalnum(c) || c == '_')) return false;
      upper = upper || std::isupper(c);
      lower = lower || std::islower(c);
    }
    return !(upper && lower);
  };
  const bool shortOnly = !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
                         name.find('.', dot == std::string::npos ? 0 : dot + 1) == std::string::npos &&
                         oneCase(base) && oneCase(ext);
  // Stored as a short entry alone, each part in its case by the lower-case flags.
  if (!shortOnly || !deleted) return name;
  return "_" + name.substr(1);
}

// ------------------------------------------------------------------ the NTFS volume

std::vector<ListedRun> parseRuns(const std::string& text) {
  std::vector<ListedRun> runs;
  if (text == "-" || text.empty()) return runs;
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

Manifest::Manifest(const std::string& path) {
  const ManifestFile file = loadManifest(path);
  header = file.header;
  for (const ManifestEntry& e : file.entries) {
    if (e.kind == "volume") volume = e;
    if (e.kind != "folder" && e.kind != "file") continue;
    Entry entry;
    entry.folder = e.kind == "folder";
    entry.path = e.path.substr(e.path.rfind('/', 0) == 0 ? 1 : 0);
    entry.size = e.size;
    entry.sha = entry.folder ? "-" : e.sha256;
    entry.deleted = e.deleted;
    entry.record = e.record;
    entry.dosName = e.dosName;
    entry.runsText = entry.folder ? "-" : e.runs;
    entry.runs = parseRuns(entry.runsText);
    entries.push_back(entry);
  }
}

const Entry* Manifest::find(const std::string& path) const {
  for (const auto& e : entries)
    if (e.path == path) return &e;
  return nullptr;
}

std::uint32_t Manifest::parentRecord(const Entry& e) const {
  const Entry* parent = find(e.parentPath());
  return parent ? parent->record : 5;  // the root directory
}

std::uint64_t Manifest::recordSector(std::uint32_t record) const {
  auto it = header.find("mft_runs");
  if (it == header.end()) return 0;
  const std::uint64_t spc = sectorsPerCluster();
  std::uint64_t skip = 2 * std::uint64_t{record};
  for (const ListedRun& run : parseRuns(it->second)) {
    const std::uint64_t sectors = run.clusters * spc;
    if (skip < sectors) return run.lcn ? partitionStart() + *run.lcn * spc + skip : 0;
    skip -= sectors;
  }
  return 0;
}

}  // namespace tessaly::test
