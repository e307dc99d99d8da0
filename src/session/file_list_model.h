// The headless file list of the results step: the rows the list shows for the folder
// selected and which of them are selected. The wizard mirrors it into its list control;
// the save walks and the CLI read it.
#pragma once

#include "session/values.h"

#include <functional>
#include <mutex>
#include <vector>

#include "session/file_rows.h"

namespace tessaly {

class FileListModel {
 public:
  void setRows(std::vector<FileRow> rows);
  void clear();
  std::size_t size() const;
  FileRow row(std::size_t i) const;
  bool selected(std::size_t i) const;
  void select(std::size_t i, bool selected);
  void selectAll(bool selected);
  std::size_t selectedCount() const;
  // The rows a selection mode chooses.
  std::vector<std::size_t> chosen(SelectionMode mode) const;

  // Called after every change (on the thread that made it).
  void setListener(std::function<void()> listener);

 private:
  void changed();
  mutable std::mutex mutex_;
  std::vector<FileRow> rows_;
  std::vector<bool> selected_;
  std::function<void()> listener_;
};

}  // namespace tessaly
