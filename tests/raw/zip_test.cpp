#include "raw/zip.h"

#include <gtest/gtest.h>

#include "raw_fixtures.h"

namespace tessaly::raw {
namespace {

using test::Bytes;
using test::Descriptor;
using test::makeZip;

std::optional<std::uint64_t> lengthOf(const Bytes& bytes) {
  SpanByteSource source(bytes);
  return zipArchiveLength(source);
}

// Data that holds signatures a careless search would stop at.
Bytes trickyData(std::size_t size) {
  Bytes data(size, 'x');
  for (std::size_t at = 5; at + 24 < size; at += 97) {
    const char* sig = (at / 97) % 2 ? "PK\x07\x08" : "PK\x01\x02";
    std::memcpy(data.data() + at, sig, 4);
  }
  return data;
}

std::string descriptorName(const ::testing::TestParamInfo<Descriptor>& form) {
  const char* const kNames[] = {"InHeader", "Signed", "Unsigned", "Signed64", "Unsigned64"};
  return kNames[static_cast<int>(form.param)];
}

class DescriptorForms : public ::testing::TestWithParam<Descriptor> {};

TEST_P(DescriptorForms, TheArchiveEndsAtItsEndRecord) {
  Bytes zip = makeZip({{"a.txt", trickyData(3000), GetParam()},
                       {"empty", {}, GetParam()},
                       {"b.bin", trickyData(700), Descriptor::None}},
                      "comment");
  Bytes disk = zip;
  disk.insert(disk.end(), 4096, 0x50);  // "PPPP…" after the archive
  EXPECT_EQ(lengthOf(disk), zip.size());
}

INSTANTIATE_TEST_SUITE_P(Zip, DescriptorForms,
                         ::testing::Values(Descriptor::None, Descriptor::Signed, Descriptor::Unsigned,
                                           Descriptor::Signed64, Descriptor::Unsigned64),
                         descriptorName);

// Moves the directory figures of the end record into a ZIP64 end record and locator.
Bytes withZip64End(Bytes zip, std::uint64_t offsetShift = 0, std::uint64_t locatorShift = 0) {
  const std::size_t end = zip.size() - zip::kEndBytes;
  const std::uint64_t entries = u16le(zip, end + zip::kEndEntries);
  const std::uint64_t size = u32le(zip, end + zip::kEndDirectorySize);
  const std::uint64_t offset = u32le(zip, end + zip::kEndDirectoryOffset);
  Bytes records;
  test::append(records, zip::kZip64End, 4);
  test::append(records, 44, 8);
  test::append(records, 45, 2);
  test::append(records, 45, 2);
  test::append(records, 0, 8);
  test::append(records, entries, 8);
  test::append(records, entries, 8);
  test::append(records, size, 8);
  test::append(records, offset + offsetShift, 8);
  test::append(records, zip::kZip64Locator, 4);
  test::append(records, 0, 4);
  test::append(records, end + locatorShift, 8);
  test::append(records, 1, 4);
  put16le(zip, end + zip::kEndEntries - 2, 0xFFFF);
  put16le(zip, end + zip::kEndEntries, 0xFFFF);
  put32le(zip, end + zip::kEndDirectorySize, 0xFFFFFFFF);
  put32le(zip, end + zip::kEndDirectoryOffset, 0xFFFFFFFF);
  zip.insert(zip.begin() + static_cast<std::ptrdiff_t>(end), records.begin(), records.end());
  return zip;
}

TEST(ZipLength, Zip64EndRecordsGiveTheDirectoryAndMustAgreeWithIt) {
  const Bytes zip = makeZip({{"a", Bytes(100, 1)}, {"b", Bytes(50, 2), Descriptor::Signed64}});
  const Bytes wide = withZip64End(zip);
  EXPECT_EQ(lengthOf(wide), wide.size());
  EXPECT_EQ(lengthOf(withZip64End(zip, 1)), std::nullopt);
  EXPECT_EQ(lengthOf(withZip64End(zip, 0, 4)), std::nullopt);
}

TEST(ZipLength, EveryTruncationIsDropped) {
  for (const char* name : {"stream.zip", "comment.zip"}) {
    const Bytes zip = test::corpusFile(name);
    ASSERT_EQ(lengthOf(zip), zip.size()) << name;
    for (std::size_t n = 0; n < zip.size(); ++n) {
      Bytes cut(zip.begin(), zip.begin() + static_cast<std::ptrdiff_t>(n));
      ASSERT_EQ(lengthOf(cut), std::nullopt) << name << " cut to " << n;
    }
  }
}

TEST(ZipLength, RecordsThatDisagreeAreDropped) {
  const Bytes zip = makeZip({{"one", Bytes(40, 1)}, {"two", Bytes(60, 2)}});
  const std::size_t second = zip::kLocalBytes + 3 + 40;
  const std::size_t directory = second + zip::kLocalBytes + 3 + 60;
  const std::size_t end = zip.size() - zip::kEndBytes;
  struct Damage {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    int bytes;
  };
  const Damage damages[] = {
      {"entry count", end + zip::kEndEntries, 3, 2},
      {"directory size", end + zip::kEndDirectorySize, 1, 4},
      {"directory offset", end + zip::kEndDirectoryOffset, 0, 4},
      {"local offset", directory + zip::kCentralLocalOffset, 1, 4},
      {"size past the next header", second + zip::kLocalCompressed, 61, 4},
      {"saturated size without ZIP64", second + zip::kLocalCompressed, 0xFFFFFFFF, 4},
      {"name past the end", second + zip::kLocalNameLength, 0xFFFF, 2},
      {"comment past the end", end + zip::kEndCommentLength, 1, 2},
  };
  for (const Damage& d : damages) {
    Bytes bad = zip;
    if (d.bytes == 2) put16le(bad, d.at, static_cast<std::uint16_t>(d.value));
    else put32le(bad, d.at, d.value);
    EXPECT_EQ(lengthOf(bad), std::nullopt) << d.what;
  }
}

}  // namespace
}  // namespace tessaly::raw
