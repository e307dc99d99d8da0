// Runs the carving engine over an image file for the carving benchmark:
//   tessaly-carve-bench IMAGE OUT-DIR
// searches the whole image (from sector 100) for every offered type and prints one line:
//   seconds S files N word W excel X powerpoint P zip Z
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "raw/raw_search.h"

namespace {

using namespace tessaly::raw;

class ImageSource : public SectorSource {
 public:
  explicit ImageSource(const char* path) : fd_(open(path, O_RDONLY)) {
    struct stat st{};
    if (fd_ >= 0 && fstat(fd_, &st) == 0) sectors_ = static_cast<std::uint64_t>(st.st_size) / kSectorBytes;
  }
  ~ImageSource() override {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  std::uint64_t sectorCount() const override { return sectors_; }
  bool readSectors(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> out) override {
    const std::size_t want = std::size_t{count} * kSectorBytes;
    return pread(fd_, out.data(), want, static_cast<off_t>(first * kSectorBytes)) == static_cast<ssize_t>(want);
  }

 private:
  int fd_;
  std::uint64_t sectors_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tessaly-carve-bench IMAGE OUT-DIR\n");
    return 2;
  }
  ImageSource image(argv[1]);
  if (!image.ok()) {
    std::perror(argv[1]);
    return 1;
  }
  RawSearchRequest request;
  request.types = {RawType::Word, RawType::Excel, RawType::PowerPoint, RawType::Zip};
  request.outputFolder = argv[2];
  RawSearchReport quiet;
  std::atomic<bool> stop{false};
  const auto start = std::chrono::steady_clock::now();
  const RawSearchOutcome outcome = runRawSearch(image, request, quiet, stop);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("seconds %.3f files %u word %u excel %u powerpoint %u zip %u\n", took.count(), outcome.files,
              outcome.counts[0], outcome.counts[1], outcome.counts[2], outcome.counts[3]);
  return outcome.end == RawSearchEnd::Finished ? 0 : 1;
}
