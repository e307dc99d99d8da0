#include "save/save_job.h"

namespace tessaly {

void SaveOutcome::note(FileNote note) {
  std::lock_guard lock(mutex_);
  notes_.push_back(std::move(note));
}

std::vector<FileNote> SaveOutcome::notes() const {
  std::lock_guard lock(mutex_);
  return notes_;
}

void SaveOutcome::reset() {
  filesCompleted = 0;
  bytesWritten = 0;
  writeFailures = 0;
  sourceFailures = 0;
  filesIncomplete = 0;
  filesKept = 0;
  for (auto& count : filesByMethod) count = 0;
  encryptedFiles = 0;
  streamsSaved = 0;
  streamsRenamed = false;
  std::lock_guard lock(mutex_);
  notes_.clear();
}

}  // namespace tessaly
