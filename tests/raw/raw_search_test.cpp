#include "raw/raw_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "raw/ole2.h"
#include "raw/zip.h"
#include "raw_fixtures.h"

namespace tessaly::raw {
namespace {

using test::Bytes;
using test::MemoryDisk;

struct Placed {
  std::uint64_t sector;
  Bytes bytes;
  RawType type;
};

class Recorder : public RawSearchReport {
 public:
  void carved(const CarvedFile& file, const RawCounts&) override { files.push_back(file); }
  std::vector<CarvedFile> files;
};

class Carving : public ::testing::Test {
 protected:
  RawSearchOutcome search(MemoryDisk& disk, RawTypeSet types, std::optional<std::pair<std::uint64_t, std::uint64_t>> range = {}) {
    RawSearchRequest request;
    request.types = types;
    request.outputFolder = dir.path();
    if (range) {
      request.entireDisk = false;
      request.startSector = range->first;
      request.endSector = range->second;
    }
    return runRawSearch(disk, request, report, stop);
  }

  std::vector<std::string> written() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // The folder holds exactly the expected files, numbered in the order of their
  // sectors, each byte for byte; the report names the same sectors.
  void expectCarved(std::vector<Placed> expected) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      names.push_back(carvedFileName(expected[i].type, static_cast<std::uint32_t>(i)));
      EXPECT_TRUE(tessaly::test::readFile(dir.file(names.back())) == expected[i].bytes) << names.back();
      if (i < report.files.size()) {
        EXPECT_EQ(report.files[i].name, names.back());
        EXPECT_EQ(report.files[i].firstSector, expected[i].sector) << names.back();
      }
    }
    EXPECT_EQ(report.files.size(), expected.size());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(written(), names);
  }

  tessaly::test::TempDir dir;
  Recorder report;
  std::atomic<bool> stop{false};
};

const RawTypeSet kAllTypes{RawType::Word, RawType::Excel, RawType::PowerPoint, RawType::Zip};

TEST_F(Carving, EveryFileOfAnImageIsCarvedWholeAndNothingElse) {
  const Bytes letter = test::corpusFile("letter.doc"), ledger = test::corpusFile("ledger.xls");
  const Bytes longLetter = test::corpusFile("report.doc"), comment = test::corpusFile("comment.zip");
  // A zip stored in another so that the inner archive starts at a sector of its own.
  const Bytes outer = test::makeZip({{std::string(512 - zip::kLocalBytes, 'n'), comment}, {"tail", Bytes(99, 't')}});
  const std::vector<Placed> files{
      {100, letter, RawType::Word},
      {131, ledger, RawType::Excel},  // in the sector right after the letter ends
      {300, test::corpusFile("slides.ppt"), RawType::PowerPoint},
      {1301, comment, RawType::Zip},  // right after a truncated archive at 1300
      {1400, test::corpusFile("stream.zip"), RawType::Zip},
      {1500, test::corpusFile("nested.zip"), RawType::Zip},
      {1600, outer, RawType::Zip},
      {2000, longLetter, RawType::Word},
      {10330, letter, RawType::Word},  // across the first window's end
      {20570, longLetter, RawType::Word},
      {40000 - 51, ledger, RawType::Excel},  // ends with the disk
  };
  MemoryDisk disk(40000);
  disk.place(1300, Bytes(comment.begin(), comment.begin() + 512));
  for (const Placed& f : files) disk.place(f.sector, f.bytes);

  const RawSearchOutcome outcome = search(disk, kAllTypes);
  EXPECT_EQ(outcome.end, RawSearchEnd::Finished);
  EXPECT_EQ(outcome.files, files.size());
  EXPECT_EQ(outcome.counts, (RawCounts{4, 2, 1, 4}));
  expectCarved(files);
}

TEST_F(Carving, UncheckedTypesAreNeitherWrittenNorCounted) {
  MemoryDisk disk(3000);
  const Bytes letter = test::corpusFile("letter.doc"), ledger = test::corpusFile("ledger.xls");
  disk.place(100, letter);
  disk.place(131, ledger);
  disk.place(400, test::corpusFile("comment.zip"));
  const RawSearchOutcome outcome = search(disk, {RawType::Excel});
  EXPECT_EQ(outcome.counts, (RawCounts{0, 1, 0, 0}));
  expectCarved({{131, ledger, RawType::Excel}});  // numbered 0
}

TEST_F(Carving, EntireDiskLeavesTheFirstHundredSectors) {
  MemoryDisk disk(3000);
  const Bytes letter = test::corpusFile("letter.doc"), ledger = test::corpusFile("ledger.xls");
  disk.place(40, letter);
  disk.place(100, ledger);
  search(disk, kAllTypes);
  expectCarved({{100, ledger, RawType::Excel}});
}

TEST_F(Carving, ASmallRangeIsSearchedToItsEndAndNoFurther) {
  MemoryDisk disk(30000);
  const Bytes letter = test::corpusFile("letter.doc"), ledger = test::corpusFile("ledger.xls");
  disk.place(400, letter);
  disk.place(1000, letter);
  disk.place(3100, letter);
  EXPECT_EQ(search(disk, kAllTypes, std::pair{500, 3000}).end, RawSearchEnd::Finished);
  expectCarved({{1000, letter, RawType::Word}});

  std::filesystem::remove(dir.file("DOC0.DOC"));
  report.files.clear();
  disk.place(2980, ledger);  // starts inside the range: carved whole
  search(disk, kAllTypes, std::pair{2000, 3000});
  expectCarved({{2980, ledger, RawType::Excel}});
  EXPECT_EQ(search(disk, kAllTypes, std::pair{3000, 3000}).end, RawSearchEnd::InvalidRange);
  EXPECT_EQ(search(disk, kAllTypes, std::pair{0, 30001}).end, RawSearchEnd::InvalidRange);
}

TEST_F(Carving, DamagedHeadersAreTypedByProbesAndEndedByMarkers) {
  MemoryDisk disk(3000);
  auto damagedHeader = [&](std::uint64_t sector) { disk.place(sector, Bytes(kOle2Signature.begin(), kOle2Signature.end())); };
  auto text = [&](std::uint64_t sector, std::size_t at, std::string_view t) {
    std::memcpy(disk.bytes.data() + sector * kSectorBytes + at, t.data(), t.size());
  };
  damagedHeader(200);  // Word: the marker 15 sectors on; 17 sectors copied
  text(215, 0, "Word.Document");
  damagedHeader(600);  // Excel: the Workbook entry 50 sectors on; 51 sectors copied
  text(600, 2080, "Microsoft Excel 5.0");
  text(650, 128, std::string_view("W\0o\0r\0k\0b\0o\0o\0k", 15));
  damagedHeader(900);  // PowerPoint: Current User 30 sectors on; 32 sectors copied
  text(900, 1152, std::string_view("P\0o\0w\0e\0r\0P\0o\0i\0n\0t\0 \0D\0o\0c\0u\0m\0e\0n\0t", 37));
  text(930, 0, std::string_view("C\0u\0r\0r\0e\0n\0t\0 \0U\0s\0e\0r", 23));
  auto slice = [&](std::uint64_t sector, std::uint64_t count) {
    auto from = disk.bytes.begin() + static_cast<std::ptrdiff_t>(sector * kSectorBytes);
    return Bytes(from, from + static_cast<std::ptrdiff_t>(count * kSectorBytes));
  };
  search(disk, kAllTypes);
  expectCarved({{200, slice(200, 17), RawType::Word},
                {600, slice(600, 51), RawType::Excel},
                {900, slice(900, 32), RawType::PowerPoint}});
}

TEST_F(Carving, ADiskThatStopsAnsweringEndsTheSearchWithoutPartialFiles) {
  MemoryDisk disk(30000);
  const Bytes letter = test::corpusFile("letter.doc");
  disk.place(100, letter);
  disk.place(10000, test::corpusFile("slides.ppt"));  // its tables lie past sector 10500
  disk.failFrom = 10500;
  const RawSearchOutcome outcome = search(disk, kAllTypes);
  EXPECT_EQ(outcome.end, RawSearchEnd::ReadFailed);
  EXPECT_GT(outcome.failedSector + kRequestSectors, 10500u);  // a request that reached the failing sectors
  EXPECT_LT(outcome.failedSector, 10000u + 914);               // while reading the presentation
  expectCarved({{100, letter, RawType::Word}});
}

}  // namespace
}  // namespace tessaly::raw
