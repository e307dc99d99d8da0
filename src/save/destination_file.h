// One file being written into a save's destination. It is written under a hidden
// temporary name beside its final name (".Report.doc.part") and takes the final name only
// when its last byte is written and the file is closed, so an interrupted or failed save
// never leaves a short file under a name that looks whole. A final name that is taken by
// anything but a regular file (a folder, a device node, a link) is refused: nothing is
// ever written into, or renamed over, such a thing. Runs of zeros are left as holes, so a
// sparse file stays sparse.
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

class DestinationFile {
 public:
  // path: relative to the open folder dirFd (AT_FDCWD: to the working folder), or absolute.
  explicit DestinationFile(const std::string& path, int dirFd = AT_FDCWD);
  ~DestinationFile();
  DestinationFile(const DestinationFile&) = delete;
  DestinationFile& operator=(const DestinationFile&) = delete;

  bool opened() const { return fd_ >= 0; }
  // Appends bytes; false once any write has failed (a full disk included).
  bool write(const std::uint8_t* data, std::size_t size);
  // Closes the file and gives it its final name. False, with the temporary removed,
  // when anything written did not reach the file or the name could not be taken.
  bool commit();
  // Closes and removes the temporary; the final name is left as it was.
  void abandon();
  // The errno of the first failure (0 when none).
  int error() const { return error_; }
  // The temporary name used for a final name (one path component).
  static std::string temporaryName(const std::string& finalName);

 private:
  bool flush();
  bool fail(int error);

  int dirFd_;
  std::string folder_;  // the part of the path before the final name, with its "/"
  std::string final_;
  std::string temporary_;
  int fd_ = -1;
  int error_ = 0;
  std::uint64_t offset_ = 0;       // the file's length so far, holes included
  std::uint64_t bufferStart_ = 0;  // where the buffered bytes go
  std::vector<std::uint8_t> buffer_;
};

// Whether a name in a folder may receive a saved file: free, or a regular file.
bool mayWriteFileAt(const std::string& path, int dirFd = AT_FDCWD);

}  // namespace tessaly
