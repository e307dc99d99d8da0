// The save options (which files a save takes and how the data of a FAT file are found)
// and the rules of the Settings dialog that changes them. The wizard's dialog and the
// CLI's flags both go through these rules.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/message_table.h"
#include "session/values.h"

namespace tessaly {

struct SaveDate {
  int day = 0, month = 0, year = 0;
  // Hours on the 30-day-month, 360-day-year scale the date filter compares.
  std::int64_t hours() const { return std::int64_t{day} * 24 + std::int64_t{month} * 720 + std::int64_t{year} * 8640; }
};

constexpr int kMaxExtensions = 100;

struct SaveOptions {
  DeletedFilter deletedFilter = DeletedFilter::All;
  SelectionMode selectionMode = SelectionMode::Selected;
  SavingMode savingMode = SavingMode::Auto;
  std::vector<std::string> extensionList;  // at most 100, each 1 to 4 characters, no "."
  SaveDate earlierDate;                    // upper bound of the date filter
  SaveDate afterDate;                      // lower bound
  // NTFS: each named stream of a saved file is saved beside it as NAME:STREAM.
  bool streams = false;

  int extensionCount() const { return static_cast<int>(extensionList.size()); }
  // The date filter is on when the upper bound has a year, not before the lower bound's.
  bool dateFilterActive() const { return earlierDate.year != 0 && earlierDate.year >= afterDate.year; }
  // Whether a file of this date passes the date filter.
  bool datePasses(const SaveDate& file) const;
  // The extension filter: the text after the last "." (the whole name without one), cut
  // to 8 characters, equal to an entry without regard to case; every name passes an
  // empty list.
  bool extensionPasses(const std::string& name) const;
};

// The Settings dialog's rules, without the dialog: the wizard's dialog drives one of
// these; so can a test. Radio and list changes take effect at once; Cancel undoes
// everything since open().
class SaveSettings {
 public:
  explicit SaveSettings(SaveOptions& options) : options_(options) {}

  // Entries of the date lists.
  static constexpr int kDays = 31, kMonths = 12, kYears = 61, kFirstYear = 1970;

  // Opening the dialog: deleted files only (the deleted-file radios and FAT1/FAT2 are then
  // disabled), default Earlier positions, After day reset, the opening copy taken.
  void open();
  // The list box, top entry first.
  const std::vector<std::string>& listBox() const { return listBox_; }

  // Add: nothing when added; else the refusal's message (none for an empty edit, which
  // does nothing).
  struct Refusal {
    std::optional<Message> message;
    bool errorIcon = true;
  };
  std::optional<Refusal> add(const std::string& edit);
  // Remove the entry shown at row of the list box.
  void remove(std::size_t row);
  void apply();
  void cancel();

  void setDeletedFilter(DeletedFilter value) { options_.deletedFilter = value; }
  void setSelectionMode(SelectionMode value) { options_.selectionMode = value; }
  void setSavingMode(SavingMode value) { options_.savingMode = value; }
  void setStreams(bool value) { options_.streams = value; }
  const SaveOptions& options() const { return options_; }
  // Positions of the six date lists: Earlier day, month, year, After day, month, year.
  std::array<int, 6>& positions() { return positions_; }

 private:
  SaveOptions& options_;
  std::vector<std::string> listBox_;
  std::vector<std::string> pending_;
  std::array<int, 6> positions_{};
  SaveOptions opening_;
  std::array<int, 6> openingPositions_{};
};

// Parses "DD-MM-YYYY"; nullopt unless it is a real day of 1970 to 2030 as the date lists offer.
std::optional<SaveDate> parseSaveDate(const std::string& text);

}  // namespace tessaly
