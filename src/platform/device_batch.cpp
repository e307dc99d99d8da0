#include "platform/device_batch.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace tessaly::platform {

std::optional<Extent> dataFrom(Device& device, std::uint64_t offset) {
  auto* file = dynamic_cast<FileDevice*>(&device);
  if (!file || file->isBlockDevice()) return std::nullopt;
  const std::uint64_t size = file->size();
  if (offset >= size) return Extent{size, size};
  const off_t data = ::lseek(file->descriptor(), static_cast<off_t>(offset), SEEK_DATA);
  if (data < 0) {
    if (errno == ENXIO) return Extent{size, size};  // a hole up to the end
    return std::nullopt;
  }
  const off_t hole = ::lseek(file->descriptor(), data, SEEK_HOLE);
  if (hole < 0) return std::nullopt;
  return Extent{static_cast<std::uint64_t>(data),
                std::min<std::uint64_t>(static_cast<std::uint64_t>(hole), size)};
}

void prefetch(Device& device, std::uint64_t offset, std::uint64_t length) {
  auto* file = dynamic_cast<FileDevice*>(&device);
  if (!file || length == 0) return;
  // Advice only: a range the system cannot take is read when asked for, as before.
  (void)::posix_fadvise(file->descriptor(), static_cast<off_t>(offset), static_cast<off_t>(length),
                        POSIX_FADV_WILLNEED);
}

namespace {

// preadv until every vector is full; returns the bytes read, fewer on an error or the end
// of the file.
std::uint64_t preadvAll(int fd, std::vector<iovec>& vectors, std::uint64_t offset) {
  const std::uint64_t start = offset;
  std::size_t first = 0;
  while (first < vectors.size()) {
    const ssize_t n = ::preadv(fd, vectors.data() + first, static_cast<int>(vectors.size() - first),
                               static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (n == 0) break;
    offset += static_cast<std::uint64_t>(n);
    // A short read goes on from where it stopped.
    auto left = static_cast<std::size_t>(n);
    while (first < vectors.size() && left >= vectors[first].iov_len)
      left -= vectors[first++].iov_len;
    if (left > 0) {
      vectors[first].iov_base = static_cast<std::uint8_t*>(vectors[first].iov_base) + left;
      vectors[first].iov_len -= left;
    }
  }
  return offset - start;
}

}  // namespace

std::size_t readPieces(Device& device, std::span<const Piece> pieces) {
  auto* file = dynamic_cast<FileDevice*>(&device);
  if (!file) {
    for (std::size_t i = 0; i < pieces.size(); ++i)
      if (!device.read(pieces[i].offset, pieces[i].buffer)) return i;
    return pieces.size();
  }
  // One scratch buffer, as large as the largest gap, takes every gap.
  std::size_t largestGap = 0;
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    const std::uint64_t end = pieces[i - 1].offset + pieces[i - 1].buffer.size();
    if (pieces[i].offset < end) return 0;  // overlapping or out of order
    largestGap =
        std::max<std::size_t>(largestGap, static_cast<std::size_t>(pieces[i].offset - end));
  }
  std::vector<std::uint8_t> scratch(largestGap);
  std::vector<iovec> vectors;
  std::size_t k = 0;
  while (k < pieces.size()) {
    // One run of pieces with their gaps, within IOV_MAX vectors.
    const std::size_t runFirst = k;
    vectors.clear();
    const std::uint64_t start = pieces[k].offset;
    std::uint64_t at = start;
    while (k < pieces.size() && vectors.size() + 2 <= IOV_MAX) {
      const Piece& piece = pieces[k];
      if (piece.offset > at)
        vectors.push_back({scratch.data(), static_cast<std::size_t>(piece.offset - at)});
      vectors.push_back({piece.buffer.data(), piece.buffer.size()});
      at = piece.offset + piece.buffer.size();
      ++k;
    }
    const std::uint64_t read = preadvAll(file->descriptor(), vectors, start);
    if (read < at - start) {
      // The pieces of this run that lie wholly in what arrived.
      std::size_t whole = runFirst;
      while (whole < k && pieces[whole].offset + pieces[whole].buffer.size() <= start + read)
        ++whole;
      return whole;
    }
  }
  return pieces.size();
}

}  // namespace tessaly::platform
