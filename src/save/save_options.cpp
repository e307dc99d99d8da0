#include "save/save_options.h"

#include <algorithm>
#include <cctype>

namespace tessaly {

namespace {
std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}
}  // namespace

bool SaveOptions::datePasses(const SaveDate& file) const {
  if (!dateFilterActive()) return true;
  if (file.year > earlierDate.year || file.year < afterDate.year) return false;
  const std::int64_t h = file.hours();
  return h >= afterDate.hours() && h <= earlierDate.hours();
}

bool SaveOptions::extensionPasses(const std::string& name) const {
  if (extensionList.empty()) return true;
  auto dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? name : name.substr(dot + 1);
  if (extension.size() > 8) extension.resize(8);
  extension = lower(extension);
  for (const auto& entry : extensionList)
    if (lower(entry) == extension) return true;
  return false;
}

void SaveSettings::open() {
  listBox_ = options_.extensionList;
  std::reverse(listBox_.begin(), listBox_.end());  // added entries go to the top
  pending_.clear();
  options_.deletedFilter = DeletedFilter::DeletedOnly;
  if (positions_[0] == 0) positions_[0] = 30;
  if (positions_[1] == 0) positions_[1] = 11;
  if (positions_[2] == 0) positions_[2] = 60;
  positions_[3] = 0;
  opening_ = options_;
  openingPositions_ = positions_;
}

std::optional<SaveSettings::Refusal> SaveSettings::add(const std::string& edit) {
  std::string text = edit.substr(0, 39);
  if (options_.extensionCount() + static_cast<int>(pending_.size()) >= kMaxExtensions)
    return Refusal{msg::kNoMoreExtensions, true};
  if (text.size() >= 5) return Refusal{msg::kExtensionTooLong, true};
  if (!text.empty() && text[0] == ' ') return Refusal{msg::kBlankInExtension, false};
  if (text.empty()) return Refusal{std::nullopt, false};
  if (text.find('.') != std::string::npos) return Refusal{msg::kNoDotInExtension, true};
  if (text.find('*') != std::string::npos) return Refusal{msg::kNoStarInExtension, true};
  if (std::find(listBox_.begin(), listBox_.end(), text) != listBox_.end())
    return Refusal{msg::kExtensionExists, false};
  listBox_.insert(listBox_.begin(), text);
  if (options_.extensionList.empty())
    options_.extensionList.push_back(text);
  else
    pending_.push_back(text);
  return std::nullopt;
}

void SaveSettings::remove(std::size_t row) {
  if (row >= listBox_.size()) return;
  const std::string text = listBox_[row];
  std::erase(options_.extensionList, text);
  std::erase(pending_, text);
  listBox_.erase(listBox_.begin() + static_cast<long>(row));
}

void SaveSettings::apply() {
  for (const auto& text : pending_) options_.extensionList.push_back(text);
  pending_.clear();
  options_.earlierDate = {positions_[0] + 1, positions_[1] + 1, positions_[2] + kFirstYear};
  options_.afterDate = {positions_[3] + 1, positions_[4] + 1, positions_[5] + kFirstYear};
}

void SaveSettings::cancel() {
  options_ = opening_;
  positions_ = openingPositions_;
  pending_.clear();
  listBox_ = options_.extensionList;
  std::reverse(listBox_.begin(), listBox_.end());
}

std::optional<SaveDate> parseSaveDate(const std::string& text) {
  if (text.size() != 10 || text[2] != '-' || text[5] != '-') return std::nullopt;
  auto digits = [&](std::size_t at, std::size_t n) -> int {
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
      if (text[i] < '0' || text[i] > '9') return -1;
      v = v * 10 + (text[i] - '0');
    }
    return v;
  };
  SaveDate d{digits(0, 2), digits(3, 2), digits(6, 4)};
  if (d.day < 1 || d.day > 31 || d.month < 1 || d.month > 12 || d.year < 1970 || d.year > 2030)
    return std::nullopt;
  return d;
}

}  // namespace tessaly
