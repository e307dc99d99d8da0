#include "raw/raw_search.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <system_error>

#include "raw/ole2.h"
#include "raw/zip.h"

namespace tessaly::raw {

namespace {

// Every carved format, in the order their signatures are tested at a sector's start.
constexpr std::array<const RawFormat*, 2> kFormats{&kOle2Format, &kZipFormat};

constexpr std::uint64_t kCacheSectors = 128;   // reads outside the window, per block
constexpr std::uint64_t kCopySectors = 2048;   // bytes copied into a carved file at once
constexpr std::uint64_t kSmallDocumentSectors = 20;

std::uint64_t sectorsFor(std::uint64_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

}  // namespace

// The bytes of one candidate, from its first sector to the end of the disk.
class CandidateBytes : public ByteSource {
 public:
  CandidateBytes(RawSearch& search, std::uint64_t sector)
      : search_(search), base_(sector * kSectorBytes), size_((search.diskSectors_ - sector) * kSectorBytes) {}
  std::uint64_t size() const override { return size_; }
  // Fails once the search is stopped, so that a long parse ends at once.
  bool read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset || search_.stop_.load()) return false;
    return search_.readDisk(base_ + offset, out);
  }

 private:
  RawSearch& search_;
  std::uint64_t base_;
  std::uint64_t size_;
};

std::string carvedFileName(RawType type, std::uint32_t number) {
  const RawTypeInfo& info = rawTypeInfo(type);
  return std::string(info.prefix) + std::to_string(number) + std::string(info.extension);
}

RawSearch::RawSearch(SectorSource& source, const RawSearchRequest& request, RawSearchReport& report,
                     const std::atomic<bool>& stop)
    : source_(source), request_(request), report_(report), stop_(stop) {}

bool RawSearch::readRange(std::uint64_t first, std::uint64_t count, std::span<std::uint8_t> out) {
  for (std::uint64_t done = 0; done < count;) {
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(kRequestSectors, count - done));
    if (!source_.readSectors(first + done, n, out.subspan(done * kSectorBytes, std::size_t{n} * kSectorBytes))) {
      failedSector_ = first + done;
      return false;
    }
    done += n;
  }
  return true;
}

// Holds kWindowSectors from position (fewer at the end of the disk); sectors that the
// previous window already holds are moved, not read again.
bool RawSearch::loadWindow(std::uint64_t position) {
  const std::uint64_t want = std::min<std::uint64_t>(kWindowSectors, diskSectors_ - position);
  std::uint64_t keep = 0;
  if (position >= windowFirst_ && position < windowFirst_ + windowCount_) {
    keep = std::min(want, windowFirst_ + windowCount_ - position);
    std::memmove(window_.data(), window_.data() + (position - windowFirst_) * kSectorBytes, keep * kSectorBytes);
  }
  windowFirst_ = position;
  windowCount_ = 0;
  if (keep < want && !readRange(position + keep, want - keep, std::span(window_).subspan(keep * kSectorBytes))) {
    return false;
  }
  windowCount_ = want;
  return true;
}

// Reads disk bytes from the window where it holds them, else through a block cache.
bool RawSearch::readDisk(std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = offset + done;
    const std::uint64_t sector = at / kSectorBytes;
    const std::uint8_t* from = nullptr;
    std::uint64_t available = 0;
    if (sector >= windowFirst_ && sector < windowFirst_ + windowCount_) {
      from = window_.data() + (at - windowFirst_ * kSectorBytes);
      available = (windowFirst_ + windowCount_) * kSectorBytes - at;
    } else {
      if (!(sector >= cacheFirst_ && sector < cacheFirst_ + cacheCount_)) {
        if (sector >= diskSectors_) return false;
        cacheFirst_ = sector - sector % kCacheSectors;
        cacheCount_ = 0;
        const std::uint64_t count = std::min(kCacheSectors, diskSectors_ - cacheFirst_);
        if (!readRange(cacheFirst_, count, cache_)) return false;
        cacheCount_ = count;
      }
      from = cache_.data() + (at - cacheFirst_ * kSectorBytes);
      available = (cacheFirst_ + cacheCount_) * kSectorBytes - at;
    }
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(available, out.size() - done));
    std::memcpy(out.data() + done, from, n);
    done += n;
  }
  return true;
}

int RawSearch::percent(std::uint64_t sector) const {
  return rangeEnd_ == 0 ? 100 : static_cast<int>(sector * 100 / rangeEnd_);
}

std::optional<RawSearch::Candidate> RawSearch::classifyWindow(std::uint64_t& position) {
  if (!loadWindow(position)) return std::nullopt;
  const std::uint64_t limit = std::min({position + kTestedSectors, rangeEnd_, position + windowCount_});
  for (std::uint64_t s = position; s < limit; ++s) {
    ByteSpan sector(window_.data() + (s - position) * kSectorBytes, kSectorBytes);
    for (const RawFormat* format : formats_) {
      if (!bytesEqual(sector, 0, format->signature)) continue;
      CandidateBytes bytes(*this, s);
      auto identity = format->identify(bytes);
      if (failedSector_) return std::nullopt;
      if (!identity) continue;  // dropped: the sectors after it are still searched
      position = s;
      return Candidate{s, format, *identity};
    }
  }
  return std::nullopt;
}

RawSearch::Extent RawSearch::findDocumentEnd(const Candidate& candidate) {
  if (candidate.identity.bytes) return {*candidate.identity.bytes, true};
  const RawType type = candidate.identity.type.value_or(RawType::Word);
  const std::uint64_t available = diskSectors_ - candidate.sector;
  const std::uint64_t searched = std::min<std::uint64_t>(kDefaultDocumentSectors, available);
  std::uint64_t end = candidate.sector + kDefaultDocumentSectors;
  std::array<std::uint8_t, kSectorBytes> sector{};
  for (std::uint64_t k = 0; k < searched; ++k) {
    if (!readDisk((candidate.sector + k) * kSectorBytes, sector)) return {0, false};
    if (candidate.format->endsDocument && candidate.format->endsDocument(sector, type)) {
      end = candidate.sector + k;
      break;
    }
  }
  // A short document takes one sector past its marker; a longer one ends with the
  // marker's sector, or the one after it for PowerPoint.
  const std::uint64_t span = end - candidate.sector;
  std::uint64_t sectors = span <= kSmallDocumentSectors ? span + 2 : span + 1;
  if (span > kSmallDocumentSectors && type == RawType::PowerPoint) ++sectors;
  return {std::min(sectors, available) * kSectorBytes, false};
}

bool RawSearch::writeCarvedFile(std::uint64_t start, std::uint64_t bytes, RawType type, std::uint32_t number) {
  const std::string name = carvedFileName(type, number);
  const std::filesystem::path target = request_.outputFolder / name;
  const std::filesystem::path partial = request_.outputFolder / ("." + name + ".part");
  std::error_code ec;
  auto abandon = [&](bool writeFailed) {
    std::filesystem::remove(partial, ec);
    if (writeFailed) report_.notWritten(name);
    return false;
  };
  std::ofstream out(partial, std::ios::binary | std::ios::trunc);
  if (!out) return abandon(true);
  std::vector<std::uint8_t> chunk(kCopySectors * kSectorBytes);
  for (std::uint64_t done = 0; done < bytes;) {
    if (stop_.load()) return abandon(false);
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes - done));
    if (!readDisk(start * kSectorBytes + done, std::span(chunk).first(n))) return abandon(false);
    if (!out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(n))) {
      return abandon(true);
    }
    done += n;
  }
  out.close();
  if (!out) return abandon(true);
  std::filesystem::rename(partial, target, ec);
  if (ec) return abandon(true);
  ++outcome_.counts[rawTypeIndex(type)];
  ++outcome_.files;
  report_.carved(CarvedFile{type, name, start, bytes}, outcome_.counts);
  return true;
}

RawSearchOutcome RawSearch::run() {
  outcome_ = RawSearchOutcome{};
  auto finish = [&](RawSearchEnd end) {
    outcome_.end = end;
    if (failedSector_) {
      outcome_.end = RawSearchEnd::ReadFailed;
      outcome_.failedSector = *failedSector_;
    }
    return outcome_;
  };
  if (!request_.types.any()) return finish(RawSearchEnd::NothingChecked);
  diskSectors_ = source_.sectorCount();
  std::uint64_t start = kEntireDiskFirstSector;
  rangeEnd_ = diskSectors_;
  if (!request_.entireDisk) {
    start = request_.startSector;
    rangeEnd_ = request_.endSector;
    if (start >= rangeEnd_ || rangeEnd_ > diskSectors_) return finish(RawSearchEnd::InvalidRange);
  }
  std::error_code ec;
  if (request_.outputFolder.empty()) return finish(RawSearchEnd::NoOutputFolder);
  std::filesystem::create_directories(request_.outputFolder, ec);
  if (!std::filesystem::is_directory(request_.outputFolder, ec)) return finish(RawSearchEnd::NoOutputFolder);

  formats_.clear();
  for (const RawFormat* format : kFormats) {
    if (format->wanted(request_.types)) formats_.push_back(format);
  }
  window_.assign(std::size_t{kWindowSectors} * kSectorBytes, 0);
  cache_.assign(kCacheSectors * kSectorBytes, 0);
  windowCount_ = cacheCount_ = 0;

  for (std::uint64_t p = start; p < rangeEnd_;) {
    if (stop_.load()) return finish(RawSearchEnd::Stopped);
    report_.searching(p, percent(p));
    auto candidate = classifyWindow(p);
    if (failedSector_) return finish(RawSearchEnd::ReadFailed);
    if (!candidate) {
      p = std::min<std::uint64_t>(p + kTestedSectors, rangeEnd_);
      continue;
    }
    const std::optional<RawType> type = candidate->identity.type;
    const bool wanted = type && request_.types.has(*type);
    // A file whose length its records gave is one whole: the search resumes after it.
    // Otherwise the length is a guess and the search resumes at the next sector.
    Extent extent{candidate->identity.bytes.value_or(0), candidate->identity.bytes.has_value()};
    if (wanted) {
      extent = findDocumentEnd(*candidate);
      if (!failedSector_) writeCarvedFile(candidate->sector, extent.bytes, *type, outcome_.files);
      if (failedSector_) return finish(RawSearchEnd::ReadFailed);
    }
    p = extent.exact ? candidate->sector + std::max<std::uint64_t>(1, sectorsFor(extent.bytes))
                     : candidate->sector + 1;
  }
  report_.searching(rangeEnd_, 100);
  return finish(stop_.load() ? RawSearchEnd::Stopped : RawSearchEnd::Finished);
}

RawSearchOutcome runRawSearch(SectorSource& source, const RawSearchRequest& request, RawSearchReport& report,
                              const std::atomic<bool>& stop) {
  RawSearch search(source, request, report, stop);
  return search.run();
}

}  // namespace tessaly::raw
