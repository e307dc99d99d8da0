// Raw recovery: searches a sector range for the headers of the checked file types,
// finds where each file ends, and writes it into the output folder as DOC0.DOC,
// XLS1.XLS, ..., numbered across all types in the order found.
//
// The search reads the disk through a SectorSource only; it writes nothing but the
// carved files, each under a temporary name until it is whole. It runs on the calling
// thread, reports through a RawSearchReport and ends at its next window or copy chunk
// once the stop flag is set.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "raw/raw_format.h"
#include "raw/raw_types.h"

namespace tessaly::raw {

inline constexpr std::uint32_t kWindowSectors = 10240;   // read at once for classifying
inline constexpr std::uint32_t kTestedSectors = 10239;   // window sectors tested for headers
inline constexpr std::uint32_t kRequestSectors = 40;     // sectors per read request
inline constexpr std::uint64_t kEntireDiskFirstSector = 100;
inline constexpr std::uint32_t kDefaultDocumentSectors = 10240;

struct RawSearchRequest {
  RawTypeSet types;
  bool entireDisk = true;  // sectors 100 to the end of the disk
  // Sector Range: sectors startSector .. endSector - 1; endSector at most the disk's
  // sector count.
  std::uint64_t startSector = 0;
  std::uint64_t endSector = 0;
  std::filesystem::path outputFolder;
};

struct CarvedFile {
  RawType type;
  std::string name;  // inside the output folder
  std::uint64_t firstSector = 0;
  std::uint64_t bytes = 0;
};

// How the search tells its progress. Calls come from the searching thread.
class RawSearchReport {
 public:
  virtual ~RawSearchReport() = default;
  // The search goes on at sector; percent of the range's end sector.
  virtual void searching(std::uint64_t sector, int percent) {
    (void)sector;
    (void)percent;
  }
  // A file was written whole; counts are the per-type totals of this search so far.
  virtual void carved(const CarvedFile& file, const RawCounts& counts) {
    (void)file;
    (void)counts;
  }
  // A file could not be created or written; nothing of it is left and it is not counted.
  virtual void notWritten(const std::string& name) { (void)name; }
};

enum class RawSearchEnd {
  Finished,
  Stopped,
  NothingChecked,   // no file type checked
  InvalidRange,     // start not below end, or end past the disk
  NoOutputFolder,   // none given, or it cannot be created
  ReadFailed,       // the disk stopped delivering sectors; what was written stays
};

struct RawSearchOutcome {
  RawSearchEnd end = RawSearchEnd::Finished;
  RawCounts counts{};
  std::uint32_t files = 0;         // files written, all types
  std::uint64_t failedSector = 0;  // ReadFailed: the first sector of the failed request
};

class RawSearch {
 public:
  RawSearch(SectorSource& source, const RawSearchRequest& request, RawSearchReport& report,
            const std::atomic<bool>& stop);
  RawSearchOutcome run();

  struct Candidate {
    std::uint64_t sector = 0;
    const RawFormat* format = nullptr;
    RawIdentity identity;
  };
  struct Extent {
    std::uint64_t bytes = 0;
    bool exact = false;
  };

  // Reads the window at position and tests its sectors, up to the range's end, for the
  // wanted formats' signatures. The first candidate that its format does not drop moves
  // position to its sector and is returned.
  std::optional<Candidate> classifyWindow(std::uint64_t& position);
  // The candidate's length: exact when its records gave it; otherwise through the
  // first end marker within 10240 sectors, or 10240 sectors without one.
  Extent findDocumentEnd(const Candidate& candidate);
  // Writes bytes from sector start as the type's file numbered number; counts it.
  bool writeCarvedFile(std::uint64_t start, std::uint64_t bytes, RawType type, std::uint32_t number);

 private:
  bool readRange(std::uint64_t first, std::uint64_t count, std::span<std::uint8_t> out);
  bool loadWindow(std::uint64_t position);
  bool readDisk(std::uint64_t offset, std::span<std::uint8_t> out);
  int percent(std::uint64_t sector) const;
  friend class CandidateBytes;

  SectorSource& source_;
  const RawSearchRequest& request_;
  RawSearchReport& report_;
  const std::atomic<bool>& stop_;
  std::uint64_t diskSectors_ = 0;
  std::uint64_t rangeEnd_ = 0;
  std::vector<const RawFormat*> formats_;
  std::vector<std::uint8_t> window_;
  std::uint64_t windowFirst_ = 0;
  std::uint64_t windowCount_ = 0;
  std::vector<std::uint8_t> cache_;
  std::uint64_t cacheFirst_ = 0;
  std::uint64_t cacheCount_ = 0;
  std::optional<std::uint64_t> failedSector_;
  RawSearchOutcome outcome_;
};

// The raw thread's body: validates the request, then searches the range.
RawSearchOutcome runRawSearch(SectorSource& source, const RawSearchRequest& request, RawSearchReport& report,
                              const std::atomic<bool>& stop);

// The name a carved file gets: prefix, number, extension ("DOC0.DOC").
std::string carvedFileName(RawType type, std::uint32_t number);

}  // namespace tessaly::raw
