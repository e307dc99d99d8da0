// The spill file "TempInfo1.dat" of an Advanced NTFS scan: every MFT record the sweep
// found, parsed into a fixed 325-byte record, so that volumes with hundreds of thousands
// of records are not held in memory. Record k lies at byte k × 325; the file has no
// header. Every field sits between the bytes '<' and '>'; numbers are little-endian.
//
//   0 "<" 1 FF 00 3 ">"        4 "<" 5 name (255, zero-terminated)  260 ">"
//   261 "<" 262 Sector (4) ">" 267 "<" 268 parentMFT (4) ">"        273 "<" 274 "0" (5) ">"
//   280 "<" 281 date (8) ">"   290 "<" 291 size (8) ">"             300 "<" 301 type (7) ">"
//   309 "<" 310 selfMFT (4) ">" 315 "<" 316 First Run (4) ">"        321 "<" 322 Deleted (2) ">"
//
// Every read and write is checked and works at 64-bit file offsets; a failed one closes
// the file and reports false.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/le.h"

namespace tessaly {

namespace spill {
constexpr std::size_t kRecordSize = 325;
constexpr std::size_t kName = 5;
constexpr std::size_t kNameField = 255;  // the name's bytes and its terminating zero
constexpr std::size_t kSector = 262;
constexpr std::size_t kParent = 268;
constexpr std::size_t kFsNumber = 274;
constexpr std::size_t kDate = 281;
constexpr std::size_t kSize = 291;
constexpr std::size_t kType = 301;
constexpr std::size_t kSelfMft = 310;
constexpr std::size_t kFirstRun = 316;
constexpr std::size_t kDeleted = 322;
}  // namespace spill

// One MFT record as the sweep parsed it.
struct SpillRecord {
  std::string name;              // UTF-8, at most 254 bytes (cut before a character that would not fit)
  std::uint32_t sector = 0;      // disk sector of the record
  std::uint32_t parentMft = 0;   // parent record number from $FILE_NAME
  std::uint64_t date = 0;        // $STANDARD_INFORMATION modification time
  std::uint64_t size = 0;        // of the unnamed $DATA
  bool folder = false;           // "FOLDER", else "File"
  std::uint32_t selfMft = 0;     // the record's own number; 0 while unknown
  std::uint32_t firstRun = 0;    // a folder's first index-allocation cluster
  bool deleted = false;

  bool operator==(const SpillRecord&) const = default;
};

using SpillBytes = std::array<std::uint8_t, spill::kRecordSize>;
SpillBytes encodeSpillRecord(const SpillRecord& record);
// Nothing when a marker is not where it belongs (the bytes are no spill record).
std::optional<SpillRecord> decodeSpillRecord(ByteSpan bytes);

class SpillFile {
 public:
  SpillFile() = default;
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  // Creates the file, empty, in `folder`: "TempInfo1.dat", or, while a file of that name
  // exists and cannot be removed (another scan holds it locked), the same name with the
  // digit raised, ten names at most. The file stays open and locked. False when no name
  // was free or the file could not be made.
  bool create(const std::string& folder);
  // Appends record number count(). Appended records are written in batches: false (and
  // the file closed) when a batch could not be written whole; count() is then the number
  // of records written.
  bool append(const SpillRecord& record);
  // Writes the records appended but not yet written; false as for append.
  bool flush();
  // Record `index`, reopening the file when it was closed; nothing when it cannot be read
  // whole or is no spill record.
  std::optional<SpillRecord> read(std::size_t index);
  // Records first … first + n − 1 in one read, appended to `out`; false as for read.
  bool readRange(std::size_t first, std::size_t n, std::vector<SpillRecord>& out);
  // Rewrites record `index`'s selfMFT in place.
  bool updateSelfMft(std::size_t index, std::uint32_t number);
  void close();
  // Closes and deletes the file; the count becomes 0.
  void remove();

  std::size_t count() const { return count_; }
  const std::string& path() const { return path_; }

 private:
  bool reopen();
  int fd_ = -1;
  std::vector<std::uint8_t> pending_;  // appended records not yet written
  std::string path_;
  std::size_t count_ = 0;
};

}  // namespace tessaly
