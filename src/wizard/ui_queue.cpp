#include "wizard/ui_queue.h"

#include <wx/event.h>
#include <wx/thread.h>

namespace tessaly::wizard {

UiQueue::UiQueue(wxEvtHandler& target, Apply apply) : target_(target), apply_(std::move(apply)) {}

void UiQueue::post(UiOp op) {
  if (wxIsMainThread()) {
    flush();
    apply_(op);
    return;
  }
  std::lock_guard lock(mutex_);
  const bool replaceable = op.kind == UiOp::Text || op.kind == UiOp::Progress;
  if (replaceable) {
    auto key = std::make_pair(static_cast<int>(op.kind), op.id);
    auto it = latest_.find(key);
    if (it != latest_.end()) {
      ops_[it->second] = std::move(op);
      return;
    }
    latest_[key] = ops_.size();
  } else if (op.kind == UiOp::Call) {
    // A call may read the controls: nothing posted after it is applied before it.
    latest_.clear();
  }
  ops_.push_back(std::move(op));
  if (!scheduled_) {
    scheduled_ = true;
    target_.CallAfter([this] { flush(); });
  }
}

void UiQueue::flush() {
  std::vector<UiOp> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(ops_);
    latest_.clear();
    scheduled_ = false;
  }
  for (const UiOp& op : batch) apply_(op);
}

std::size_t UiQueue::pending() const {
  std::lock_guard lock(mutex_);
  return ops_.size();
}

}  // namespace tessaly::wizard
