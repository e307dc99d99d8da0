// The Dialogs interface with real windows: message boxes, the bad-sector, replace and
// error-writing prompts and the folder chooser, always shown on the interface thread.
// A worker that asks posts its question there and waits for the answer.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "session/dialogs.h"
#include "wizard/wx.h"

namespace tessaly {
class Session;
}

namespace tessaly::wizard {

// One of the three prompts: a message, buttons with their template ids, the button that
// Enter presses and the one that Escape and the close box press.
struct PromptLayout {
  std::string title;
  int messageId = 0;
  std::string message;
  std::string detail;  // a second line under the message (the file concerned), or ""
  struct Button {
    int id;
    std::string label;
  };
  std::vector<Button> buttons;
  int enterId = 1;
  int escapeId = 2;
};

// The three prompts as their windows are laid out, before catalogue texts.
PromptLayout badSectorPrompt();
PromptLayout replacePrompt(const std::string& path);
PromptLayout errorWritingPrompt(const std::string& path);

// Shows a prompt modally and returns the id of the button pressed.
int showPrompt(wxWindow* parent, const PromptLayout& layout);

// The about box: the program's name and version and an OK button.
void showAboutBox(wxWindow* parent, const wxIcon& icon);

class WxDialogs : public Dialogs {
 public:
  WxDialogs() = default;
  // The session whose message catalogue gives the prompts their texts.
  void setSession(const Session* session) { session_ = session; }

  int messageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                 MessageIcon icon) override;
  BadSectorAnswer askBadSector() override;
  ReplaceAnswer askReplace(const std::string& path) override;
  WriteErrorAnswer askErrorWriting(const std::string& path) override;
  std::optional<std::string> chooseFolder(const std::string& start) override;
  std::optional<std::string> chooseSaveFile(const std::string& folder, const std::string& filter) override;
  std::optional<std::string> chooseOpenFile(const std::string& folder, const std::string& filter) override;

  // Shows the questions workers are waiting on (interface thread).
  void serviceRequests();
  // From now on every question gets the answer of its Escape key at once: the program
  // is ending and nobody is left to answer.
  void shutDown();

 private:
  struct Request {
    std::function<void()> run;
    bool done = false;
  };
  // Runs ask on the interface thread and returns its answer; fallback after shutDown.
  int onInterfaceThread(const std::function<int()>& ask, int fallback);
  int prompt(PromptLayout layout, const std::pair<int, int>* answers, std::size_t count,
             int fallback);

  const Session* session_ = nullptr;
  std::mutex mutex_;
  std::condition_variable answered_;
  std::deque<std::shared_ptr<Request>> requests_;
  bool shutDown_ = false;
};

}  // namespace tessaly::wizard
