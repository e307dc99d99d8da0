// Carries control updates from worker threads to the interface thread. Workers post;
// one CallAfter per batch makes the interface thread apply the batch in the order posted.
// A text or progress update of a control that is still waiting in the batch replaces
// the waiting one, so a fast sweep cannot flood the interface with stale counters.
// On the interface thread itself a post first applies whatever is waiting, then itself,
// so every update lands in the order it was made.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class wxEvtHandler;

namespace tessaly::wizard {

struct UiOp {
  enum Kind { Text, Progress, Show, Enable, Focus, Call } kind = Call;
  int id = 0;
  std::string text;
  int value = 0;
  std::function<void()> call;
};

class UiQueue {
 public:
  using Apply = std::function<void(const UiOp&)>;
  // target: the window whose CallAfter runs the batches; apply: does one update.
  UiQueue(wxEvtHandler& target, Apply apply);

  void post(UiOp op);
  // Applies every waiting update (interface thread).
  void flush();
  // Updates waiting to be applied.
  std::size_t pending() const;

 private:
  wxEvtHandler& target_;
  Apply apply_;
  mutable std::mutex mutex_;
  std::vector<UiOp> ops_;
  std::map<std::pair<int, int>, std::size_t> latest_;  // (kind, id) -> index in ops_
  bool scheduled_ = false;
};

}  // namespace tessaly::wizard
