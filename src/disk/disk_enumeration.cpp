#include "disk/disk_enumeration.h"

#include <cstdint>

#include "diskfacts/disk_facts_key.h"
#include "platform/geometry.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/version.h"
#include "session/session.h"

namespace tessaly {

using diskfacts::diskValueName;
using diskfacts::kDiskFactsKey;

namespace {

// The sub-keys in the order the clean-up deletes them, the disk-facts key itself last
// (a key with sub-keys cannot be deleted).
constexpr const char* kCleanUpOrder[] = {diskfacts::kCylinderKey,        diskfacts::kHeadKey,
                                         diskfacts::kMediaTypeKey,       diskfacts::kModelKey,
                                         diskfacts::kSectorsPerTrackKey, diskfacts::kSizeKey,
                                         diskfacts::kDisplayDeviceKey,   kDiskFactsKey};

constexpr const char* kFactKeys[] = {diskfacts::kCylinderKey,        diskfacts::kHeadKey,
                                     diskfacts::kSectorsPerTrackKey, diskfacts::kSizeKey,
                                     diskfacts::kModelKey,           diskfacts::kMediaTypeKey};

// Empties the disk-facts key of an earlier run. A key that cannot be deleted (it holds
// sub-keys nobody here knows) at least loses the disk values.
void cleanDiskFactsKey(platform::Registry& registry) {
  for (const char* key : kCleanUpOrder) {
    if (registry.keyExists(key)) registry.deleteKey(key);
  }
  if (registry.keyExists(kDiskFactsKey)) {
    for (unsigned n = 0; n < kMaxListedDisks; ++n)
      registry.deleteValue(kDiskFactsKey, diskValueName(n));
  }
}

// Creates the disk-facts key and its six sub-keys. False when the key itself cannot be
// created; a sub-key that cannot be created ends the program.
bool createDiskFactsKeys(Session& session) {
  if (!session.registry.createKey(kDiskFactsKey)) return false;
  for (const char* key : kFactKeys) {
    if (!session.registry.createKey(key)) session.endProgram(1);
  }
  return true;
}

std::string helperPath(const Session& session) {
  return platform::joinPath(session.installFolder, kDiskFactsProgram);
}

// Starts the helper and waits for it. It is told the registry folder and the disks of
// the device table, so that it writes where this program reads and numbers the disks
// by the same slots. Its exit status is not examined.
void runDiskFacts(Session& session) {
  std::vector<std::string> args = {"--registry", session.registry.folder(), "--"};
  const auto& disks = session.devices.disks();
  args.insert(args.end(), disks.begin(), disks.end());
  platform::runAndWait(helperPath(session), args);
}

void appendFloppyEntry(Session& session, TreeModel& tree, TreeItem root) {
  // Listed once per run: a second enumeration step must not add a second floppy.
  if (session.floppyEntryListed) return;
  tree.insert(root, kFloppyEntry, kImageDisk, kImageDisk);
  session.floppyEntryListed = true;
}

void appendDiskEntry(Session& session, TreeModel& tree, TreeItem root, unsigned n) {
  tree.insert(root, "Disk" + std::to_string(n), kImageDisk, kImageDisk);
  ++session.hardDiskCount;
}

// The system's geometry query: the physical drives in order, up to the first that cannot
// be opened or measured. Writes each one's geometry and size; no model, no media type.
void geometryQueryStep(Session& session, TreeModel& tree, TreeItem root) {
  session.hardDiskCount = 0;
  if (!createDiskFactsKeys(session)) return;
  appendFloppyEntry(session, tree, root);
  auto& registry = session.registry;
  for (unsigned n = 0; n < kMaxQueriedDisks; ++n) {
    auto g = platform::queryGeometry(session.devices, platform::DeviceTable::physicalDriveName(n));
    if (!g) break;
    const std::string name = diskValueName(n);
    const std::uint64_t size = std::uint64_t{g->bytesPerSector} * g->sectorsPerTrack *
                               g->tracksPerCylinder * static_cast<std::uint64_t>(g->cylinders);
    // The cylinder count is stored as the signed value of its low 32 bits.
    const auto cylinders =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(g->cylinders & 0xFFFFFFFF));
    registry.writeValue(kDiskFactsKey, name, "");
    registry.writeValue(diskfacts::kCylinderKey, name, std::to_string(cylinders));
    registry.writeValue(diskfacts::kHeadKey, name, std::to_string(g->tracksPerCylinder));
    registry.writeValue(diskfacts::kSectorsPerTrackKey, name, std::to_string(g->sectorsPerTrack));
    registry.writeValue(diskfacts::kSizeKey, name, std::to_string(size));
    appendDiskEntry(session, tree, root, n);
  }
}

// The helper writes the facts; every disk whose kind value is not empty is listed.
// Without the helper nothing is listed, not even the floppy.
void probeProgramStep(Session& session, TreeModel& tree, TreeItem root) {
  session.hardDiskCount = 0;
  if (!createDiskFactsKeys(session)) return;
  if (!platform::fileExists(helperPath(session))) return;
  runDiskFacts(session);
  if (!session.registry.keyExists(kDiskFactsKey)) session.endProgram(0);
  appendFloppyEntry(session, tree, root);
  for (unsigned n = 0; n < kMaxListedDisks; ++n) {
    if (!session.registry.readString(kDiskFactsKey, diskValueName(n)).empty())
      appendDiskEntry(session, tree, root, n);
  }
}

void enumerationStep(Session& session, TreeModel& tree, TreeItem root) {
  if (usesGeometryQuery())
    geometryQueryStep(session, tree, root);
  else
    probeProgramStep(session, tree, root);
}

std::uint64_t leadingNumber(const std::string& text) {
  std::uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (n > (UINT64_MAX - digit) / 10) break;  // stop before it would wrap
    n = n * 10 + digit;
  }
  return n;
}

}  // namespace

bool usesGeometryQuery() {
  auto version = platform::versionInfo();
  if (!version) return false;
  if (version->platformId == platform::kPlatformWin32Windows) return false;
  if (version->platformId != platform::kPlatformWin32Nt) return true;
  return version->major != 5;
}

void enumerateDisks(Session& session, TreeModel& diskTree) {
  // Only the NT family's enumeration is built; the 95/98/Me family's BIOS probe is not.
  session.osFamily = 'N';
  TreeItem root = diskTree.root();
  if (root == kNoItem) {
    root = diskTree.insert(kNoItem, kMyComputer, kImageMyComputer, kImageMyComputer);
    diskTree.setEnabled(true);
  }

  cleanDiskFactsKey(session.registry);
  if (!session.registry.createKey(kDiskFactsKey)) session.endProgram(0);
  enumerationStep(session, diskTree, root);
  if (session.hardDiskCount == 0) {
    // No disk: give the helper one more chance to find some, then look again.
    runDiskFacts(session);
    enumerationStep(session, diskTree, root);
  }

  diskTree.expand(root);
  session.report->diskListReady();
  diskTree.select(root);
}

int diskNumberOf(const std::string& entryText) {
  if (entryText.size() < 5 || entryText.size() > 7 || entryText.compare(0, 4, "Disk") != 0)
    return -1;
  int n = 0;
  for (std::size_t i = 4; i < entryText.size(); ++i) {
    const char c = entryText[i];
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::vector<DiskFactsRow> diskFactsRows(Session& session, unsigned disk) {
  const auto& registry = session.registry;
  const std::string name = diskValueName(disk);
  std::vector<DiskFactsRow> rows;
  rows.push_back({"Physical Disk Number : ", std::to_string(disk)});
  if (usesGeometryQuery()) {
    session.currentDiskModel.clear();
  } else {
    session.currentDiskModel = registry.readString(diskfacts::kModelKey, name);
    rows.push_back({"Model   : ", session.currentDiskModel});
    rows.push_back({"Media Type   : ", registry.readString(diskfacts::kMediaTypeKey, name)});
  }
  rows.push_back({"Cylinder   : ", registry.readString(diskfacts::kCylinderKey, name)});
  rows.push_back({"Head   : ", registry.readString(diskfacts::kHeadKey, name)});
  rows.push_back(
      {"Sectors Per Track   : ", registry.readString(diskfacts::kSectorsPerTrackKey, name)});
  const std::uint64_t bytes = leadingNumber(registry.readString(diskfacts::kSizeKey, name));
  rows.push_back({"Disk Size  : ", std::to_string(bytes / 1048576) + " MB"});
  return rows;
}

}  // namespace tessaly
