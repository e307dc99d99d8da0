#include "raw/ole2.h"

#include <string>
#include <vector>

namespace tessaly::raw {
namespace {

using namespace ole2;

// A stream name as its directory entry spells it (UTF-16), without the last byte.
std::string utf16WithoutLastByte(std::string_view ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  out.pop_back();
  return out;
}

const std::string kPowerPointStream = utf16WithoutLastByte("PowerPoint Document");
const std::string kWorkbookStream = utf16WithoutLastByte("Workbook");
const std::string kCurrentUserStream = utf16WithoutLastByte("Current User");

constexpr std::uint8_t kStreamEntry = 2;
constexpr std::uint8_t kRootEntry = 5;

// Whether a directory entry's name is name (ASCII, compared without case, as compound
// files compare their names).
bool entryNamed(ByteSpan entry, std::string_view name) {
  if (u16le(entry, kEntryNameLength) != (name.size() + 1) * 2) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    std::uint16_t c = u16le(entry, 2 * i);
    auto lower = [](unsigned v) { return v >= 'A' && v <= 'Z' ? v + 32 : v; };
    if (c >= 0x80 || lower(c) != lower(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

// The sector ids of the allocation table: the header's 109, then the DIFAT chain.
std::optional<std::vector<std::uint32_t>> fatSectorIds(const Ole2Header& h, ByteSource& bytes) {
  std::vector<std::uint32_t> ids;
  ids.reserve(h.fatSectors);
  for (std::size_t i = 0; i < kHeaderDifatCount && ids.size() < h.fatSectors; ++i) ids.push_back(h.headerDifat[i]);
  const std::uint32_t perSector = h.sectorBytes / 4 - 1;  // the last entry links the next
  std::vector<std::uint8_t> sector(h.sectorBytes);
  std::uint32_t id = h.firstDifatSector;
  // Each DIFAT sector adds perSector ids, so the walk ends after the counted FAT sectors.
  while (ids.size() < h.fatSectors) {
    if (id > kMaxRegularSector || !bytes.read((std::uint64_t{id} + 1) * h.sectorBytes, sector)) {
      return std::nullopt;
    }
    for (std::uint32_t j = 0; j < perSector && ids.size() < h.fatSectors; ++j) ids.push_back(u32le(sector, 4 * j));
    id = u32le(sector, 4 * std::size_t{perSector});
  }
  return ids;
}

std::optional<std::vector<std::uint32_t>> readFat(const Ole2Header& h, ByteSource& bytes) {
  auto ids = fatSectorIds(h, bytes);
  if (!ids) return std::nullopt;
  const std::size_t perSector = h.sectorBytes / 4;
  std::vector<std::uint32_t> fat;
  fat.reserve(ids->size() * perSector);
  std::vector<std::uint8_t> sector(h.sectorBytes);
  for (std::uint32_t id : *ids) {
    // The table describes its own sectors, so none lies beyond what it describes.
    if (id >= ids->size() * perSector || !bytes.read((std::uint64_t{id} + 1) * h.sectorBytes, sector)) {
      return std::nullopt;
    }
    for (std::size_t j = 0; j < perSector; ++j) fat.push_back(u32le(sector, 4 * j));
  }
  return fat;
}

// The directory's sectors in chain order, at most kMaxDirectorySectors of them. A chain
// that comes back to a sector it passed (a damaged table) ends there, rather than reading
// the same sectors again up to the limit.
std::optional<std::vector<std::uint8_t>> readDirectory(const Ole2Header& h, const std::vector<std::uint32_t>& fat,
                                                       ByteSource& bytes) {
  std::vector<std::uint8_t> dir;
  std::vector<bool> passed(fat.size());
  std::uint32_t id = h.firstDirectorySector;
  for (std::uint32_t n = 0; id <= kMaxRegularSector && n < kMaxDirectorySectors; ++n) {
    if (id >= fat.size()) return std::nullopt;
    if (passed[id]) break;
    passed[id] = true;
    std::size_t at = dir.size();
    dir.resize(at + h.sectorBytes);
    if (!bytes.read((std::uint64_t{id} + 1) * h.sectorBytes, std::span(dir).subspan(at))) return std::nullopt;
    id = fat[id];
  }
  if (dir.empty() || u8at(dir, kEntryType) != kRootEntry) return std::nullopt;
  return dir;
}

// The document type from the streams directly under the root storage (a tree of
// siblings below the root's child); streams of embedded objects lie deeper and do not
// count.
std::optional<RawType> typeFromRootStreams(ByteSpan dir) {
  const std::size_t entries = dir.size() / kEntryBytes;
  std::vector<bool> seen(entries);
  std::vector<std::uint32_t> pending{u32le(dir, kEntryChild)};
  bool word = false, excel = false, powerPoint = false;
  while (!pending.empty()) {
    std::uint32_t id = pending.back();
    pending.pop_back();
    if (id >= entries || seen[id]) continue;
    seen[id] = true;
    ByteSpan entry = dir.subspan(std::size_t{id} * kEntryBytes, kEntryBytes);
    if (u8at(entry, kEntryType) == kStreamEntry) {
      word = word || entryNamed(entry, "WordDocument");
      excel = excel || entryNamed(entry, "Workbook") || entryNamed(entry, "Book");
      powerPoint = powerPoint || entryNamed(entry, "PowerPoint Document");
    }
    pending.push_back(u32le(entry, kEntryLeft));
    pending.push_back(u32le(entry, kEntryRight));
  }
  if (word) return RawType::Word;
  if (excel) return RawType::Excel;
  if (powerPoint) return RawType::PowerPoint;
  return std::nullopt;
}

std::optional<RawIdentity> identifyOle2(ByteSource& bytes) {
  if (auto doc = readOle2Document(bytes)) return RawIdentity{doc->type, doc->bytes};
  return RawIdentity{ole2ProbeType(bytes), std::nullopt};
}

bool wantsOle2(const RawTypeSet& types) {
  return types.has(RawType::Word) || types.has(RawType::Excel) || types.has(RawType::PowerPoint);
}

}  // namespace

std::optional<Ole2Header> parseOle2Header(ByteSpan header) {
  if (!bytesEqual(header, 0, kOle2Signature) || u16le(header, kByteOrder) != 0xFFFE) return std::nullopt;
  const std::uint16_t shift = u16le(header, kSectorShift);
  if (shift != 9 && shift != 12) return std::nullopt;
  Ole2Header h;
  h.sectorBytes = 1u << shift;
  h.fatSectors = u32le(header, kFatSectors);
  h.firstDirectorySector = u32le(header, kFirstDirectory);
  h.firstDifatSector = u32le(header, kFirstDifat);
  h.difatSectors = u32le(header, kDifatSectors);
  for (std::size_t i = 0; i < kHeaderDifatCount; ++i) h.headerDifat[i] = u32le(header, kHeaderDifat + 4 * i);
  // The table must describe at least one sector and at most kMaxDocumentBytes, and the
  // DIFAT must have room for every FAT sector beyond the header's 109.
  const std::uint64_t bytesPerFatSector = std::uint64_t{h.sectorBytes / 4} * h.sectorBytes;
  if (h.fatSectors == 0 || h.fatSectors > kMaxDocumentBytes / bytesPerFatSector) return std::nullopt;
  const std::uint32_t perDifat = h.sectorBytes / 4 - 1;
  const std::uint32_t beyond = h.fatSectors > kHeaderDifatCount ? h.fatSectors - std::uint32_t{kHeaderDifatCount} : 0;
  const std::uint32_t needed = (beyond + perDifat - 1) / perDifat;
  if (h.difatSectors < needed || h.difatSectors > h.fatSectors) return std::nullopt;
  if (h.firstDirectorySector > kMaxRegularSector) return std::nullopt;
  return h;
}

std::optional<Ole2Document> readOle2Document(ByteSource& bytes) {
  std::array<std::uint8_t, kSectorBytes> head{};
  if (!bytes.read(0, head)) return std::nullopt;
  auto h = parseOle2Header(head);
  if (!h) return std::nullopt;
  auto fat = readFat(*h, bytes);
  if (!fat) return std::nullopt;
  std::size_t last = fat->size();
  while (last > 0 && (*fat)[last - 1] == kFreeSector) --last;
  if (last == 0) return std::nullopt;
  // The header occupies the first sector; sector id i lies at (i + 1) × sector size.
  const std::uint64_t length = (std::uint64_t{last} + 1) * h->sectorBytes;
  if (length > bytes.size()) return std::nullopt;
  auto dir = readDirectory(*h, *fat, bytes);
  if (!dir) return std::nullopt;
  return Ole2Document{typeFromRootStreams(*dir), length};
}

RawType ole2ProbeType(ByteSource& bytes) {
  std::array<std::uint8_t, 10 * kSectorBytes> head{};
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(head.size(), bytes.size()));
  ByteSpan probe = std::span(head).first(bytes.read(0, std::span(head).first(n)) ? n : 0);
  if (bytesEqual(probe, 2080, "Microsoft Excel 5.0") || bytesEqual(probe, 4768, "Microsoft Excel")) {
    return RawType::Excel;
  }
  if (bytesEqual(probe, 1152, kPowerPointStream)) return RawType::PowerPoint;
  return RawType::Word;
}

bool ole2EndsDocument(ByteSpan sector, RawType type) {
  switch (type) {
    case RawType::Excel:
      return bytesEqual(sector, 128, kWorkbookStream);
    case RawType::PowerPoint:
      return bytesEqual(sector, 0, kCurrentUserStream);
    case RawType::Word:
      return bytesEqual(sector, 0, "Word.Document") || bytesEqual(sector, 42, "Word.Document") ||
             bytesEqual(sector, 42, "Word Document");
    case RawType::Zip:
      break;
  }
  return false;
}

const RawFormat kOle2Format{"OLE2 compound document", kOle2Signature, wantsOle2, identifyOle2, ole2EndsDocument};

}  // namespace tessaly::raw
