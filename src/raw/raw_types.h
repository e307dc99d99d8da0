// The file types that raw recovery offers, and the two ways it reaches bytes: a sector
// source standing in for the disk, and a byte source over one candidate file.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace tessaly::raw {

inline constexpr std::uint32_t kSectorBytes = 512;

// The offered types, in the order of the file-type list; the value is the list index.
enum class RawType : std::uint8_t { Word = 0, Excel = 1, PowerPoint = 2, Zip = 3 };
inline constexpr std::size_t kRawTypeCount = 4;

struct RawTypeInfo {
  RawType type;
  std::string_view itemText;     // the file-type list's item
  std::string_view prefix;       // carved names are prefix, number, extension
  std::string_view extension;
  std::string_view counterText;  // the results list's row, followed by the count
};

inline constexpr std::array<RawTypeInfo, kRawTypeCount> kRawTypeInfo{{
    {RawType::Word, "Microsoft Word File(s) (.DOC)", "DOC", ".DOC", "Total Word File(s) Recovered :  "},
    {RawType::Excel, "Microsoft Excel File(s) (.XLS)", "XLS", ".XLS",
     "Total Excel File(s) Recovered :  "},
    {RawType::PowerPoint, "Microsoft PowerPoint File(s) (.PPT)", "PPT", ".PPT",
     "Total PowerPoint File(s) Recovered :  "},
    {RawType::Zip, "Compressed File(s) (.Zip)", "ZIP", ".ZIP", "Total Zip File(s) Recovered :  "},
}};

inline std::size_t rawTypeIndex(RawType type) { return static_cast<std::size_t>(type); }
inline const RawTypeInfo& rawTypeInfo(RawType type) { return kRawTypeInfo[rawTypeIndex(type)]; }

// The checked types of one search.
class RawTypeSet {
 public:
  RawTypeSet() = default;
  RawTypeSet(std::initializer_list<RawType> types) {
    for (RawType t : types) set(t);
  }
  void set(RawType type, bool on = true) { on_[rawTypeIndex(type)] = on; }
  bool has(RawType type) const { return on_[rawTypeIndex(type)]; }
  bool any() const { return on_[0] || on_[1] || on_[2] || on_[3]; }

 private:
  std::array<bool, kRawTypeCount> on_{};
};

using RawCounts = std::array<std::uint32_t, kRawTypeCount>;

// The disk being searched, read in whole sectors. Only reads: nothing is ever written
// through it.
class SectorSource {
 public:
  virtual ~SectorSource() = default;
  virtual std::uint64_t sectorCount() const = 0;
  // Fills out (count × 512 bytes) from firstSector; false when the disk did not deliver
  // them.
  virtual bool readSectors(std::uint64_t firstSector, std::uint32_t count,
                           std::span<std::uint8_t> out) = 0;
};

// Random access to the bytes of one candidate file, counted from its first byte, up to
// size() (the end of the disk). Parsers read through it and never past it.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // False when any of the bytes lies at or past size() or could not be read.
  virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// A byte source over bytes held in memory.
class SpanByteSource : public ByteSource {
 public:
  explicit SpanByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace tessaly::raw
