#include "fat/directory_table.h"

#include <algorithm>
#include <limits>
#include <new>

#include "disk/name_text.h"
#include "partition/partition_types.h"

namespace tessaly {

const std::array<const char*, DirectoryTable::kColumns> DirectoryTable::kColumnNames = {
    "Name", "sector", "self", "parent", "date", "time", "size", "attr", "sysID", "Type", "Deleted"};

DirectoryRow DirectoryRow::lost() {
  DirectoryRow row;
  row.name = "Lost";
  row.self = kLostId;
  row.attr = 16;
  return row;
}

namespace {
// The list form's texts of the kind and the deleted mark.
const char* kindText(RowKind kind) { return kind == RowKind::Folder ? "FOLDER" : "FILE"; }
RowKind kindOf(const std::string& text) { return text == "FOLDER" ? RowKind::Folder : RowKind::File; }
}  // namespace

std::uint32_t DirectoryTable::number(const std::string& cell) {
  // Cells hold unsigned decimal text; anything else reads as 0.
  std::uint64_t v = 0;
  for (char c : cell) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
    if (v > 0xFFFFFFFFull) return 0;
  }
  return static_cast<std::uint32_t>(v);
}

std::uint64_t DirectoryTable::wideNumber(const std::string& cell) {
  // Unsigned decimal text of up to 64 bits; anything else, or more, reads as 0.
  std::uint64_t v = 0;
  for (char c : cell) {
    if (c < '0' || c > '9') return 0;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (v > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return 0;
    v = v * 10 + digit;
  }
  return v;
}

std::array<std::string, DirectoryTable::kColumns> DirectoryTable::toCells(const DirectoryRow& r) {
  return {r.name, std::to_string(r.sector), std::to_string(r.self), std::to_string(r.parent),
          std::to_string(r.date), std::to_string(r.time), std::to_string(r.size),
          std::to_string(r.attr), std::to_string(r.sysID), kindText(r.kind), r.deleted ? "1" : "0"};
}

DirectoryRow DirectoryTable::fromCells(const std::array<std::string, kColumns>& c) {
  DirectoryRow r;
  r.name = c[Name];
  r.sector = number(c[Sector]);
  r.self = number(c[Self]);
  r.parent = number(c[Parent]);
  r.date = wideNumber(c[Date]);
  r.time = number(c[Time]);
  r.size = wideNumber(c[Size]);
  r.attr = number(c[Attr]);
  r.sysID = number(c[SysID]);
  r.kind = kindOf(c[Type]);
  r.deleted = c[Deleted] == "1";
  return r;
}

bool DirectoryTable::enterTableMode(std::size_t memoryLimit, std::size_t rows) {
  std::vector<DirectoryRow> moved;
  if (rows > memoryLimit / kRowBytes) {
    enterListMode();
    return false;
  }
  try {
    moved.reserve(std::max(rows, rowCount()));
    if (tableMode_) {
      moved = std::move(rows_);
    } else {
      for (const auto& c : cells_) moved.push_back(fromCells(c));
    }
  } catch (const std::bad_alloc&) {
    enterListMode();
    return false;
  }
  rows_ = std::move(moved);
  cells_.clear();
  cells_.shrink_to_fit();
  tableMode_ = true;
  return true;
}

void DirectoryTable::enterListMode() {
  if (!tableMode_) return;
  for (const auto& r : rows_) cells_.push_back(toCells(r));
  rows_.clear();
  rows_.shrink_to_fit();
  tableMode_ = false;
}

void DirectoryTable::clear() {
  rows_.clear();
  cells_.clear();
}

void DirectoryTable::release() {
  std::vector<DirectoryRow>().swap(rows_);
  std::vector<std::array<std::string, kColumns>>().swap(cells_);
  tableMode_ = false;
}

void DirectoryTable::append(const DirectoryRow& row) {
  if (tableMode_)
    rows_.push_back(row);
  else
    cells_.push_back(toCells(row));
}

DirectoryRow DirectoryTable::row(std::size_t i) const {
  return tableMode_ ? rows_.at(i) : fromCells(cells_.at(i));
}

std::uint32_t DirectoryTable::self(std::size_t i) const {
  return tableMode_ ? rows_.at(i).self : number(cells_.at(i)[Self]);
}

std::uint32_t DirectoryTable::parent(std::size_t i) const {
  return tableMode_ ? rows_.at(i).parent : number(cells_.at(i)[Parent]);
}

std::string DirectoryTable::name(std::size_t i) const {
  return tableMode_ ? rows_.at(i).name : cells_.at(i)[Name];
}

RowKind DirectoryTable::kind(std::size_t i) const {
  return tableMode_ ? rows_.at(i).kind : kindOf(cells_.at(i)[Type]);
}

bool DirectoryTable::deleted(std::size_t i) const {
  return tableMode_ ? rows_.at(i).deleted : cells_.at(i)[Deleted] == "1";
}

void DirectoryTable::setName(std::size_t i, const std::string& value) {
  // The array form holds a name of at most 255 UTF-16 characters, as UTF-8.
  std::string cut(utf8Prefix(value, kMaxNameBytes));
  if (tableMode_)
    rows_.at(i).name = cut;
  else
    cells_.at(i)[Name] = cut;
}

void DirectoryTable::setParent(std::size_t i, std::uint32_t value) {
  if (tableMode_)
    rows_.at(i).parent = value;
  else
    cells_.at(i)[Parent] = std::to_string(value);
}

void DirectoryTable::setDeleted(std::size_t i, bool value) {
  if (tableMode_)
    rows_.at(i).deleted = value;
  else
    cells_.at(i)[Deleted] = value ? "1" : "0";
}

std::string DirectoryTable::cell(std::size_t i, Column column) const {
  return tableMode_ ? toCells(rows_.at(i))[column] : cells_.at(i)[column];
}

void DirectoryTable::sortByParent() {
  if (tableMode_) {
    std::stable_sort(rows_.begin(), rows_.end(),
                     [](const DirectoryRow& a, const DirectoryRow& b) { return a.parent < b.parent; });
  } else {
    std::stable_sort(cells_.begin(), cells_.end(), [](const auto& a, const auto& b) {
      return number(a[Parent]) < number(b[Parent]);
    });
  }
}

}  // namespace tessaly
