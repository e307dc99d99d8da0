#include "ntfs/spill_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "disk/name_text.h"
#include "platform/file_io.h"

namespace tessaly {

namespace {

// The '<' … '>' pairs around every field: the position of each '<'.
constexpr std::array<std::size_t, 11> kOpenMarkers = {0, 4, 261, 267, 273, 280, 290, 300, 309, 315, 321};
constexpr std::array<std::size_t, 11> kCloseMarkers = {3, 260, 266, 272, 279, 289, 299, 308, 314, 320, 324};

// Opens (creating when missing) and locks the file; -1 when another holder has it locked.
int openLocked(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

SpillBytes encodeSpillRecord(const SpillRecord& record) {
  SpillBytes bytes{};
  for (std::size_t p : kOpenMarkers) bytes[p] = '<';
  for (std::size_t p : kCloseMarkers) bytes[p] = '>';
  put16le(bytes, 1, 255);
  const std::string_view name = utf8Prefix(record.name, spill::kNameField - 1);
  std::memcpy(bytes.data() + spill::kName, name.data(), name.size());
  put32le(bytes, spill::kSector, record.sector);
  put32le(bytes, spill::kParent, record.parentMft);
  bytes[spill::kFsNumber] = '0';
  put64le(bytes, spill::kDate, record.date);
  put64le(bytes, spill::kSize, record.size);
  const std::string_view type = record.folder ? "FOLDER" : "File";
  std::memcpy(bytes.data() + spill::kType, type.data(), type.size());
  put32le(bytes, spill::kSelfMft, record.selfMft);
  put32le(bytes, spill::kFirstRun, record.firstRun);
  bytes[spill::kDeleted] = record.deleted ? '1' : '0';
  return bytes;
}

std::optional<SpillRecord> decodeSpillRecord(ByteSpan bytes) {
  if (bytes.size() < spill::kRecordSize) return std::nullopt;
  for (std::size_t p : kOpenMarkers)
    if (bytes[p] != '<') return std::nullopt;
  for (std::size_t p : kCloseMarkers)
    if (bytes[p] != '>') return std::nullopt;
  SpillRecord record;
  const ByteSpan name = bytes.subspan(spill::kName, spill::kNameField);
  std::size_t length = 0;
  while (length < name.size() && name[length] != 0) ++length;
  record.name.assign(reinterpret_cast<const char*>(name.data()), length);
  record.sector = u32le(bytes, spill::kSector);
  record.parentMft = u32le(bytes, spill::kParent);
  record.date = u64le(bytes, spill::kDate);
  record.size = u64le(bytes, spill::kSize);
  record.folder = bytesEqual(bytes, spill::kType, "FOLDER");
  record.selfMft = u32le(bytes, spill::kSelfMft);
  record.firstRun = u32le(bytes, spill::kFirstRun);
  record.deleted = bytes[spill::kDeleted] == '1';
  return record;
}

SpillFile::~SpillFile() { close(); }

bool SpillFile::create(const std::string& folder) {
  remove();
  std::string path = (folder.empty() ? std::string() : folder + "/") + "TempInfo1.dat";
  // The digit is the fifth character from the end: "1" of "1.dat".
  const std::size_t digit = path.size() - 5;
  for (int attempt = 0; attempt < 10; ++attempt) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) break;
    // An existing file is removed unless another scan holds it.
    if (S_ISREG(st.st_mode)) {
      const int fd = openLocked(path);
      if (fd >= 0) {
        const bool removed = ::unlink(path.c_str()) == 0;
        ::close(fd);
        if (removed) break;
      }
    }
    ++path[digit];
    if (attempt == 9) return false;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  count_ = 0;
  return true;
}

namespace {
constexpr std::size_t kBatchRecords = 256;
}

bool SpillFile::append(const SpillRecord& record) {
  if (fd_ < 0) return false;
  const SpillBytes bytes = encodeSpillRecord(record);
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  ++count_;
  return pending_.size() < kBatchRecords * spill::kRecordSize || flush();
}

bool SpillFile::flush() {
  if (pending_.empty()) return true;
  const std::size_t records = pending_.size() / spill::kRecordSize;
  const std::size_t written = count_ - records;
  const bool ok = fd_ >= 0 && platform::writeAllAt(fd_, pending_.data(), pending_.size(),
                                                   std::uint64_t{written} * spill::kRecordSize);
  pending_.clear();
  if (ok) return true;
  count_ = written;
  close();
  return false;
}

bool SpillFile::reopen() {
  if (fd_ >= 0) return true;
  if (path_.empty()) return false;
  fd_ = openLocked(path_);
  return fd_ >= 0;
}

std::optional<SpillRecord> SpillFile::read(std::size_t index) {
  std::vector<SpillRecord> one;
  if (!readRange(index, 1, one)) return std::nullopt;
  return one.front();
}

bool SpillFile::readRange(std::size_t first, std::size_t n, std::vector<SpillRecord>& out) {
  if (n == 0) return true;
  if (!flush()) return false;
  if (first >= count_ || n > count_ - first || !reopen()) return false;
  std::vector<std::uint8_t> bytes(n * spill::kRecordSize);
  if (!platform::readAllAt(fd_, bytes.data(), bytes.size(),
                           std::uint64_t{first} * spill::kRecordSize)) {
    close();
    return false;
  }
  for (std::size_t i = 0; i < n; ++i) {
    auto record = decodeSpillRecord(ByteSpan(bytes).subspan(i * spill::kRecordSize, spill::kRecordSize));
    if (!record) {
      close();
      return false;
    }
    out.push_back(std::move(*record));
  }
  return true;
}

bool SpillFile::updateSelfMft(std::size_t index, std::uint32_t number) {
  if (!flush() || index >= count_ || !reopen()) return false;
  std::array<std::uint8_t, 4> bytes{};
  put32le(bytes, 0, number);
  if (!platform::writeAllAt(fd_, bytes.data(), bytes.size(),
                            std::uint64_t{index} * spill::kRecordSize + spill::kSelfMft)) {
    close();
    return false;
  }
  return true;
}

void SpillFile::close() {
  // Records still waiting are written first; a file that takes them no more keeps the
  // count of those it took.
  if (!pending_.empty()) (void)flush();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void SpillFile::remove() {
  pending_.clear();
  close();
  if (!path_.empty()) ::unlink(path_.c_str());
  path_.clear();
  count_ = 0;
}

}  // namespace tessaly
