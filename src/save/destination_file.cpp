#include "save/destination_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tessaly {

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
constexpr std::size_t kNameMax = 255;

bool allZero(const std::uint8_t* data, std::size_t size) {
  return std::all_of(data, data + size, [](std::uint8_t b) { return b == 0; });
}

// 0 when the name is free or a regular file; else why it may not be written.
int nameRefusal(int dirFd, const std::string& path) {
  struct stat st {};
  if (::fstatat(dirFd, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? 0 : errno;
  if (S_ISREG(st.st_mode)) return 0;
  return S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
}

}  // namespace

bool mayWriteFileAt(const std::string& path, int dirFd) {
  return nameRefusal(dirFd, path) == 0;
}

std::string DestinationFile::temporaryName(const std::string& finalName) {
  const std::string prefix = ".", suffix = ".part";
  std::string base = finalName;
  if (base.size() > kNameMax - prefix.size() - suffix.size())
    base.resize(kNameMax - prefix.size() - suffix.size());
  return prefix + base + suffix;
}

DestinationFile::DestinationFile(const std::string& path, int dirFd) : dirFd_(dirFd) {
  const auto slash = path.rfind('/');
  folder_ = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  final_ = slash == std::string::npos ? path : path.substr(slash + 1);
  temporary_ = folder_ + temporaryName(final_);
  if (final_.empty()) {
    error_ = EISDIR;
    return;
  }
  if (int refusal = nameRefusal(dirFd_, path)) {
    error_ = refusal;
    return;
  }
  // A temporary left by an earlier run that was killed is replaced; anything else in
  // its place is left alone and the file refused.
  if (int refusal = nameRefusal(dirFd_, temporary_)) {
    error_ = refusal;
    return;
  }
  ::unlinkat(dirFd_, temporary_.c_str(), 0);
  fd_ = ::openat(dirFd_, temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 0644);
  if (fd_ < 0) error_ = errno;
}

DestinationFile::~DestinationFile() {
  abandon();
}

bool DestinationFile::fail(int error) {
  if (error_ == 0) error_ = error;
  return false;
}

bool DestinationFile::flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::pwrite(fd_, buffer_.data() + done, buffer_.size() - done,
                               static_cast<off_t>(bufferStart_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(n < 0 ? errno : ENOSPC);
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
  bufferStart_ = offset_;
  return true;
}

bool DestinationFile::write(const std::uint8_t* data, std::size_t size) {
  if (fd_ < 0 || error_ != 0) return false;
  if (size == 0) return true;
  if (size >= 512 && allZero(data, size)) {
    // A hole: the bytes before it go out first, the length is set when the file closes.
    if (!flush()) return false;
    offset_ += size;
    bufferStart_ = offset_;
    return true;
  }
  buffer_.insert(buffer_.end(), data, data + size);
  offset_ += size;
  return buffer_.size() < kBufferBytes || flush();
}

bool DestinationFile::commit() {
  if (fd_ < 0) return fail(EBADF);
  bool ok = error_ == 0 && flush();
  struct stat st {};
  if (ok && ::fstat(fd_, &st) == 0 && static_cast<std::uint64_t>(st.st_size) < offset_ &&
      ::ftruncate(fd_, static_cast<off_t>(offset_)) != 0)
    ok = fail(errno);
  if (::close(fd_) != 0 && ok) ok = fail(errno);
  fd_ = -1;
  // The final name is looked at again just before it is taken: something other than a
  // regular file that appeared there meanwhile is never replaced.
  const std::string finalPath = folder_ + final_;
  if (ok) {
    if (int refusal = nameRefusal(dirFd_, finalPath)) ok = fail(refusal);
  }
  if (ok && ::renameat(dirFd_, temporary_.c_str(), dirFd_, finalPath.c_str()) != 0)
    ok = fail(errno);
  if (!ok) ::unlinkat(dirFd_, temporary_.c_str(), 0);
  return ok;
}

void DestinationFile::abandon() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlinkat(dirFd_, temporary_.c_str(), 0);
}

}  // namespace tessaly
