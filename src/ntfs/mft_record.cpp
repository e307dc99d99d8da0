#include "ntfs/mft_record.h"

#include <algorithm>

#include "disk/name_text.h"
#include "disk/sector_reader.h"

namespace tessaly {

namespace {

// The part of a record the walks may look at.
ByteSpan recordArea(ByteSpan record) {
  return record.first(std::min(record.size(), mft::kRecordLimit));
}

// The first attribute the walk yields for which match(attribute) holds.
template <typename Match>
std::optional<Attribute> findAttribute(ByteSpan record, Match&& match) {
  AttributeWalk walk(record);
  while (auto attribute = walk.next()) {
    if (match(*attribute)) return attribute;
  }
  return std::nullopt;
}

// True when the low bytes of the four UTF-16 characters at `offset` spell "$I30".
bool namedI30(ByteSpan attribute, std::size_t offset) {
  static constexpr char kName[] = "$I30";
  for (std::size_t i = 0; i < 4; ++i) {
    if (!fits(attribute, offset + 2 * i, 1) ||
        attribute[offset + 2 * i] != static_cast<std::uint8_t>(kName[i]))
      return false;
  }
  return true;
}

}  // namespace

// ------------------------------------------------------------------ whole records

void applyUpdateSequence(MutableByteSpan buffer, std::size_t size) {
  const MutableByteSpan area = buffer.first(std::min(size, buffer.size()));
  const ByteSpan view(area);
  const std::size_t arrayOffset = u16le(view, mft::kUpdateSequenceOffset);
  const std::size_t count = u16le(view, mft::kUpdateSequenceCount);
  if (!fits(view, arrayOffset, 2)) return;
  for (std::size_t i = 1; i < count; ++i) {
    const std::size_t sectorEnd = (i - 1) * kSectorSize + kSectorSize - 2;
    const std::size_t entry = arrayOffset + 2 * i;
    if (!fits(view, sectorEnd, 2) || !fits(view, entry, 2)) return;
    area[sectorEnd] = area[entry];
    area[sectorEnd + 1] = area[entry + 1];
  }
}

bool isFileRecord(ByteSpan buffer) { return bytesEqual(buffer, mft::kSignature, "FILE"); }
bool isIndexBlock(ByteSpan buffer) { return bytesEqual(buffer, 0, "INDX"); }

bool readRecordAt(Session& session, std::uint64_t sector, MftRecord& record) {
  record.fill(0);
  // A record that could not be read at all is zeros, which is no record.
  if (!readDiskSectors(session, sector, 2, record).delivered()) record.fill(0);
  applyUpdateSequence(record, mft::kRecordSize);
  return isFileRecord(record);
}

std::uint16_t recordSequence(ByteSpan record) { return u16le(record, mft::kSequence); }
std::uint8_t recordState(ByteSpan record) { return u8at(record, mft::kState); }
std::uint32_t recordAllocatedSize(ByteSpan record) { return u32le(record, mft::kAllocatedSize); }

// ------------------------------------------------------------------ attribute walk

std::optional<ByteSpan> Attribute::residentContent() const {
  if (!fits(bytes, mft::kAttrContentOffset, 2)) return std::nullopt;
  const std::int16_t offset = s16le(bytes, mft::kAttrContentOffset);
  const std::uint32_t contentLength = u32le(bytes, mft::kAttrContentLength);
  if (offset < 0 || !fits(bytes, static_cast<std::size_t>(offset), contentLength))
    return std::nullopt;
  return bytes.subspan(static_cast<std::size_t>(offset), contentLength);
}

AttributeWalk::AttributeWalk(ByteSpan record) : record_(recordArea(record)) {
  const std::int16_t first = s16le(record, mft::kFirstAttribute);
  if (first < 0)
    ended_ = true;
  else
    position_ = static_cast<std::size_t>(first);
}

std::optional<Attribute> AttributeWalk::next() {
  if (ended_ || !fits(record_, position_, mft::kAttrHeaderMinimum)) {
    ended_ = true;
    return std::nullopt;
  }
  Attribute attribute;
  attribute.position = position_;
  attribute.type = u32le(record_, position_ + mft::kAttrType);
  attribute.length = u32le(record_, position_ + mft::kAttrLength);
  if (attribute.type == 0 || attribute.type == mft::kTypeEnd) {
    ended_ = true;
    return std::nullopt;
  }
  const std::size_t available = record_.size() - position_;
  attribute.bytes = record_.subspan(position_, std::min<std::size_t>(attribute.length, available));
  attribute.nonResident = u8at(attribute.bytes, mft::kAttrNonResident);
  attribute.nameLength = u8at(attribute.bytes, mft::kAttrNameLength);

  if (attribute.length == 0 || attribute.length > mft::kRecordSize ||
      position_ + attribute.length >= mft::kRecordLimit)
    ended_ = true;
  else
    position_ += attribute.length;
  return attribute;
}

std::optional<std::string> ntfsName(ByteSpan bytes, std::size_t offset, std::size_t chars) {
  return utf16leToUtf8(bytes, offset, chars, LoneSurrogate::Replace);
}

// ------------------------------------------------------------------ accessors

std::optional<StandardTimes> readStandardTimes(ByteSpan record) {
  auto attribute = findAttribute(
      record, [](const Attribute& a) { return a.type == mft::kTypeStandardInformation; });
  if (!attribute || attribute->nonResident != 0) return std::nullopt;
  auto content = attribute->residentContent();
  if (!content || !fits(*content, 0, mft::kSiAccessTime + 8)) return std::nullopt;
  return StandardTimes{u64le(*content, mft::kSiCreationTime),
                       u64le(*content, mft::kSiModificationTime),
                       u64le(*content, mft::kSiAccessTime)};
}

std::optional<FileName> findFileName(ByteSpan record, std::uint8_t nameSpace) {
  AttributeWalk walk(record);
  while (auto attribute = walk.next()) {
    if (attribute->type != mft::kTypeFileName || attribute->nameLength != 0 ||
        attribute->nonResident != 0)
      continue;
    auto content = attribute->residentContent();
    if (!content || !fits(*content, mft::kFnNamespace, 1)) return std::nullopt;
    if (u8at(*content, mft::kFnNamespace) != nameSpace) continue;
    auto name = ntfsName(*content, mft::kFnName, u8at(*content, mft::kFnNameLength));
    if (!name) return std::nullopt;
    return FileName{std::move(*name), u32le(*content, mft::kFnParent), u64le(*content, mft::kFnCreationTime),
                    u16le(*content, mft::kFnParentSequence)};
  }
  return std::nullopt;
}

std::optional<FileName> findWindowsFileName(ByteSpan record) {
  for (std::uint8_t nameSpace : {mft::kNamespaceWin32, mft::kNamespaceWin32AndDos, mft::kNamespaceDos}) {
    if (auto name = findFileName(record, nameSpace)) return name;
  }
  return std::nullopt;
}

std::optional<FileName> findPreferredFileName(ByteSpan record) {
  if (auto name = findWindowsFileName(record)) return name;
  return findFileName(record, mft::kNamespacePosix);
}

FileNameWithTimes findFileNameWithTimes(ByteSpan record, std::uint8_t nameSpace) {
  FileNameWithTimes result;
  if (auto times = readStandardTimes(record)) result.modificationTime = times->modification;
  result.fileName = findFileName(record, nameSpace);
  return result;
}

std::optional<std::uint64_t> findDataSize(ByteSpan record) {
  auto data = findAttribute(record, [](const Attribute& a) {
    return a.type == mft::kTypeData && a.nameLength == 0;
  });
  if (!data) return std::nullopt;
  if (data->nonResident == 1) {
    if (!fits(data->bytes, mft::kAttrRealSize, 8)) return std::nullopt;
    return u64le(data->bytes, mft::kAttrRealSize);
  }
  if (!fits(data->bytes, mft::kAttrContentLength, 4)) return std::nullopt;
  return std::uint64_t{u32le(data->bytes, mft::kAttrContentLength)};
}

DataLocation locateData(ByteSpan record) {
  auto data = findAttribute(record, [](const Attribute& a) {
    return a.type == mft::kTypeData && a.nameLength == 0;
  });
  if (!data) return {};
  switch (data->nonResident) {
    case 0:
      return {data->position, DataKind::Resident};
    case 1:
      return {data->position, DataKind::NonResident};
    default:
      return {data->position, DataKind::None};
  }
}

std::vector<NamedStream> findNamedStreams(ByteSpan record) {
  std::vector<NamedStream> streams;
  AttributeWalk walk(record);
  while (auto a = walk.next()) {
    if (a->type != mft::kTypeData || a->nameLength == 0 || a->nonResident > 1) continue;
    auto name = ntfsName(a->bytes, u16le(a->bytes, mft::kAttrNameOffset), a->nameLength);
    if (!name || name->empty()) continue;
    NamedStream stream{std::move(*name), a->position, a->nonResident == 0, 0, 0};
    if (stream.resident) {
      auto content = a->residentContent();
      if (!content) continue;
      stream.size = content->size();
    } else {
      if (!fits(a->bytes, mft::kAttrRealSize, 8)) continue;
      stream.lowestVcn = u64le(a->bytes, mft::kAttrLowestVcn);
      stream.size = u64le(a->bytes, mft::kAttrRealSize);
    }
    streams.push_back(std::move(stream));
  }
  return streams;
}

bool isBaseRecord(ByteSpan record) { return u64le(record, mft::kBaseRecord) == 0; }

bool hasAttributeList(ByteSpan record) {
  return findAttribute(record, [](const Attribute& a) { return a.type == mft::kTypeAttributeList; })
      .has_value();
}

void collectAttributeList(ByteSpan record, std::vector<std::uint32_t>& recordNumbers) {
  auto list = findAttribute(
      record, [](const Attribute& a) { return a.type == mft::kTypeAttributeList; });
  if (!list || list->nonResident != 0) return;
  if (s16le(list->bytes, mft::kAttrContentOffset) == 0) return;
  auto content = list->residentContent();
  if (!content) return;
  std::size_t added = 0;
  forEachListEntry(*content, [&](const AttributeListEntry& entry) {
    recordNumbers.push_back(entry.segment);
    return ++added < kMaxSegments;
  });
}

std::uint32_t directorySelfNumber(ByteSpan record) {
  auto root = findAttribute(record, [](const Attribute& a) {
    return a.type == mft::kTypeIndexRoot && a.nameLength == 4 && namedI30(a.bytes, mft::kRootName);
  });
  if (!root || root->length < mft::kRootMinimumLength ||
      root->position + mft::kRootHeaderReach >= mft::kRecordLimit)
    return 0;
  // An index root that holds only its end entry has no first name.
  if (u8at(root->bytes, mft::kRootFirstEntryNameLength) == 0) return 0;
  if (!fits(root->bytes, mft::kRootFirstEntryParent, 4)) return 0;
  const std::uint32_t self = u32le(root->bytes, mft::kRootFirstEntryParent);
  return self == 0xFFFFFFFF ? 0 : self;
}

std::uint32_t firstIndexRun(ByteSpan record) {
  auto allocation = findAttribute(record, [](const Attribute& a) {
    return a.type == mft::kTypeIndexAllocation && namedI30(a.bytes, mft::kAllocationName);
  });
  if (!allocation) return 0;
  const std::int16_t pairs = s16le(allocation->bytes, mft::kAttrMappingPairs);
  if (pairs <= 0) return 0;
  const auto at = static_cast<std::size_t>(pairs);
  const std::uint8_t header = u8at(allocation->bytes, at);
  const std::size_t lengthBytes = header & 0x0F;
  const std::size_t offsetBytes = header >> 4;
  if (header == 0 || offsetBytes == 0 || lengthBytes > 8 || offsetBytes > 8) return 0;
  const std::size_t field = at + 1 + lengthBytes;
  if (!fits(allocation->bytes, field, offsetBytes)) return 0;
  return static_cast<std::uint32_t>(uNle(allocation->bytes, field, std::min<std::size_t>(offsetBytes, 4)));
}

}  // namespace tessaly
