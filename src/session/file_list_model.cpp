#include "session/file_list_model.h"

namespace tessaly {

void FileListModel::setRows(std::vector<FileRow> rows) {
  {
    std::lock_guard lock(mutex_);
    selected_.assign(rows.size(), false);
    rows_ = std::move(rows);
  }
  changed();
}

void FileListModel::clear() { setRows({}); }

std::size_t FileListModel::size() const {
  std::lock_guard lock(mutex_);
  return rows_.size();
}

FileRow FileListModel::row(std::size_t i) const {
  std::lock_guard lock(mutex_);
  return i < rows_.size() ? rows_[i] : FileRow{};
}

bool FileListModel::selected(std::size_t i) const {
  std::lock_guard lock(mutex_);
  return i < selected_.size() && selected_[i];
}

void FileListModel::select(std::size_t i, bool value) {
  {
    std::lock_guard lock(mutex_);
    if (i >= selected_.size()) return;
    selected_[i] = value;
  }
  changed();
}

void FileListModel::selectAll(bool value) {
  {
    std::lock_guard lock(mutex_);
    selected_.assign(rows_.size(), value);
  }
  changed();
}

std::size_t FileListModel::selectedCount() const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (bool s : selected_) n += s ? 1 : 0;
  return n;
}

std::vector<std::size_t> FileListModel::chosen(SelectionMode selectionMode) const {
  std::lock_guard lock(mutex_);
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const bool take = selectionMode == SelectionMode::All ||
                      (selectionMode == SelectionMode::Selected && selected_[i]) ||
                      (selectionMode == SelectionMode::NotSelected && !selected_[i]);
    if (take) out.push_back(i);
  }
  return out;
}

void FileListModel::setListener(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void FileListModel::changed() {
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    listener = listener_;
  }
  if (listener) listener();
}

}  // namespace tessaly
