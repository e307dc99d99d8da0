// The DirectoryTable: one row per directory found by a sweep, with its own first
// cluster, its parent's first cluster and the date, time, size and attributes of its "."
// entry. One type with two storages: an array of rows (table mode) and, when memory for
// the array cannot be had, a list of decimal-text rows with the same columns (list mode).
// Every consumer goes through this one type.
//
// The same type holds the NTFS engine's folder and file rows in list mode, whose "date"
// is a 64-bit FILETIME and whose "size" a 64-bit file size: those two columns are 64-bit
// in both storages.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "session/values.h"

namespace tessaly {

struct DirectoryRow {
  std::string name;
  std::uint32_t sector = 0;
  std::uint32_t self = 0;
  std::uint32_t parent = 0;
  std::uint64_t date = 0;
  std::uint32_t time = 0;
  std::uint64_t size = 0;
  std::uint32_t attr = 0;
  std::uint32_t sysID = 0;
  RowKind kind = RowKind::Folder;
  bool deleted = false;

  // The "Lost" pseudo-directory of row 0.
  static DirectoryRow lost();
};

class DirectoryTable {
 public:
  // The list form's columns, in order.
  enum Column { Name, Sector, Self, Parent, Date, Time, Size, Attr, SysID, Type, Deleted, kColumns };
  static const std::array<const char*, kColumns> kColumnNames;
  // What one row of the array form costs (a fixed-size record).
  static constexpr std::size_t kRowBytes = 260 + 4 * 8 + 10 + 5;

  bool tableMode() const { return tableMode_; }
  std::size_t rowCount() const { return tableMode_ ? rows_.size() : cells_.size(); }
  bool empty() const { return rowCount() == 0; }

  // Table mode with room for rows; false (and list mode) when the memory limit or the
  // heap refuses it. Any rows held move to the new storage.
  bool enterTableMode(std::size_t memoryLimit, std::size_t rows);
  void enterListMode();
  // Empties the table; the storage mode is kept.
  void clear();
  // Empties the table and gives back its memory (table mode is left).
  void release();

  void append(const DirectoryRow& row);
  DirectoryRow row(std::size_t i) const;

  std::uint32_t self(std::size_t i) const;
  std::uint32_t parent(std::size_t i) const;
  std::string name(std::size_t i) const;
  RowKind kind(std::size_t i) const;
  bool deleted(std::size_t i) const;
  void setName(std::size_t i, const std::string& name);
  void setParent(std::size_t i, std::uint32_t parent);
  void setDeleted(std::size_t i, bool deleted);

  // The list form's text of a cell (in table mode, the value as the list would hold it).
  std::string cell(std::size_t i, Column column) const;
  // Sorts by parent, ascending and stable (rows of equal parent keep their order).
  void sortByParent();

 private:
  static std::uint32_t number(const std::string& cell);
  static std::uint64_t wideNumber(const std::string& cell);
  static std::array<std::string, kColumns> toCells(const DirectoryRow& row);
  static DirectoryRow fromCells(const std::array<std::string, kColumns>& cells);

  bool tableMode_ = false;
  std::vector<DirectoryRow> rows_;
  std::vector<std::array<std::string, kColumns>> cells_;
};

}  // namespace tessaly
