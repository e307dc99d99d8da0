// Field offsets of an NTFS MFT file record ("FILE"), of its attribute headers and of the
// attribute contents the engine reads. Every record is taken to be 1024 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::mft {

constexpr std::size_t kRecordSize = 1024;
// Fields and contents that would reach byte 1023 of a record are treated as outside it:
// the walks look only at the first kRecordLimit bytes.
constexpr std::size_t kRecordLimit = kRecordSize - 1;

// Record header.
constexpr std::size_t kSignature = 0;         // "FILE"
constexpr std::size_t kUpdateSequenceOffset = 4;
constexpr std::size_t kUpdateSequenceCount = 6;
constexpr std::size_t kFirstAttribute = 20;   // signed 16-bit
constexpr std::size_t kSequence = 16;         // sequence number, raised each time the record is freed
constexpr std::size_t kState = 22;            // low byte of the record flags
constexpr std::size_t kAllocatedSize = 28;
constexpr std::size_t kBaseRecord = 32;       // 48-bit reference of the base record; 0 in a base record

// Record states (low byte of the flags).
constexpr std::uint8_t kStateDeletedFile = 0;
constexpr std::uint8_t kStateFile = 1;
constexpr std::uint8_t kStateDeletedDirectory = 2;
constexpr std::uint8_t kStateDirectory = 3;

// Attribute header, from the attribute's own start.
constexpr std::size_t kAttrType = 0;
constexpr std::size_t kAttrLength = 4;
constexpr std::size_t kAttrNonResident = 8;
constexpr std::size_t kAttrNameLength = 9;
constexpr std::size_t kAttrNameOffset = 10;      // 2 bytes: where the attribute's UTF-16 name lies
constexpr std::size_t kAttrHeaderMinimum = 8;    // type and length
constexpr std::size_t kAttrContentLength = 16;   // resident
constexpr std::size_t kAttrContentOffset = 20;   // resident, signed 16-bit
constexpr std::size_t kAttrLowestVcn = 16;       // non-resident, 64-bit: the extent's first cluster
constexpr std::size_t kAttrHighestVcn = 24;      // non-resident, 64-bit: the extent's last cluster
constexpr std::size_t kAttrMappingPairs = 32;    // non-resident, signed 16-bit
constexpr std::size_t kAttrRealSize = 48;        // non-resident, 64-bit
constexpr std::size_t kAttrMftRunList = 64;      // where the $MFT's run list is taken

// Attribute types.
constexpr std::uint32_t kTypeStandardInformation = 0x10;
constexpr std::uint32_t kTypeAttributeList = 0x20;
constexpr std::uint32_t kTypeFileName = 0x30;
constexpr std::uint32_t kTypeData = 0x80;
constexpr std::uint32_t kTypeIndexRoot = 0x90;
constexpr std::uint32_t kTypeIndexAllocation = 0xA0;
constexpr std::uint32_t kTypeEnd = 0xFFFFFFFF;  // as is type 0

// $STANDARD_INFORMATION content.
constexpr std::size_t kSiCreationTime = 0;
constexpr std::size_t kSiModificationTime = 8;
constexpr std::size_t kSiAccessTime = 24;

// $ATTRIBUTE_LIST entry.
constexpr std::size_t kListEntryType = 0;
constexpr std::size_t kListEntryLength = 4;
constexpr std::size_t kListEntryNameLength = 6;
constexpr std::size_t kListEntrySegment = 16;  // low 32 bits of the segment's reference

// $FILE_NAME content.
constexpr std::size_t kFnParent = 0;  // low 32 bits of the parent reference
constexpr std::size_t kFnParentSequence = 6;  // the parent reference's sequence number
constexpr std::size_t kFnCreationTime = 8;
constexpr std::size_t kFnNameLength = 64;
constexpr std::size_t kFnNamespace = 65;
constexpr std::size_t kFnName = 66;

// $FILE_NAME namespaces.
constexpr std::uint8_t kNamespacePosix = 0;
constexpr std::uint8_t kNamespaceWin32 = 1;
constexpr std::uint8_t kNamespaceDos = 2;
constexpr std::uint8_t kNamespaceWin32AndDos = 3;

// "$I30" index root, from the attribute's start: the name's characters sit at 24, 26,
// 28 and 30; the first index entry's $FILE_NAME parent at 80 and its name length at 144.
constexpr std::size_t kRootName = 24;
constexpr std::size_t kRootMinimumLength = 144;
constexpr std::size_t kRootHeaderReach = 64;
constexpr std::size_t kRootFirstEntryParent = 80;
constexpr std::size_t kRootFirstEntryNameLength = 144;

// "$I30" index allocation, from the attribute's start: name characters at 64 … 70.
constexpr std::size_t kAllocationName = 64;

}  // namespace tessaly::mft
