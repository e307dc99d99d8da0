// What the tests share: a recording front end, scripted answers to the design's
// questions, devices with chosen sectors replaced, and the paths of the test images.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/device.h"
#include "session/session.h"
#include "session/ui.h"

namespace tessaly::test {

// Records every call of the control-id interface.
class RecordingControls : public Controls {
 public:
  struct Event {
    enum Kind { Text, Progress, Show, Enable, Focus } kind;
    int id;
    std::string text;
    int value;
  };
  void setText(int id, const std::string& text) override;
  void setProgress(int id, int percent) override;
  void show(int id, bool visible) override;
  void enable(int id, bool enabled) override;
  void focus(int id) override;

  std::vector<std::string> texts(int id) const;
  std::string lastText(int id) const;
  std::vector<int> progress(int id) const;
  std::vector<Event> events() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<Event> events_;
};

// Answers come from queues; an empty queue gives the fallback answer. Every question
// asked is recorded.
class ScriptedDialogs : public Dialogs {
 public:
  int messageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                 MessageIcon icon) override;
  int askBadSector() override;
  int askReplace(const std::string& path) override;
  int askErrorWriting(const std::string& path) override;
  std::optional<std::string> chooseFolder(const std::string& start) override;

  std::deque<int> messageAnswers;  // fallback: kIdOk for Ok boxes, kIdYes for Yes/No
  std::deque<int> badSectorAnswers;
  int badSectorFallback = answer::kSkip;
  std::deque<int> replaceAnswers;
  int replaceFallback = answer::kNo;
  std::deque<int> errorWritingAnswers;
  int errorWritingFallback = answer::kSkipFile;
  std::optional<std::string> folder;

  struct Message {
    std::string text, caption;
    MessageButtons buttons;
    MessageIcon icon;
  };
  std::vector<Message> messages;
  int badSectorPrompts = 0;
  std::vector<std::string> replacePrompts;
  std::vector<std::string> errorWritingPrompts;

 private:
  std::mutex mutex_;
};

// A device whose chosen sectors read as other bytes; everything else is read from the
// device underneath. Used to damage an image without copying it.
class PatchedDevice : public platform::Device {
 public:
  explicit PatchedDevice(std::shared_ptr<platform::Device> inner) : inner_(std::move(inner)) {}
  void patch(std::uint64_t sector, std::vector<std::uint8_t> bytes);  // 512 bytes
  void zero(std::uint64_t sector) { patch(sector, std::vector<std::uint8_t>(512, 0)); }
  void patchByte(std::uint64_t sector, std::size_t offset, std::uint8_t value);
  std::vector<std::uint8_t> sector(std::uint64_t sector);
  bool read(std::uint64_t offset, std::span<std::uint8_t> buffer) override;
  std::uint64_t size() const override { return inner_->size(); }

 private:
  std::shared_ptr<platform::Device> inner_;
  std::map<std::uint64_t, std::vector<std::uint8_t>> patches_;
};

// A session over one disk (slot 0) with a recording front end.
struct TestSession {
  explicit TestSession(std::shared_ptr<platform::Device> disk);
  explicit TestSession(const std::string& imagePath);
  platform::DeviceTable devices;
  RecordingControls controls;
  ScriptedDialogs dialogs;
  Session session{devices, controls, dialogs};
};

// Test image paths (built by tools/build-test-images before the tests run).
std::string imagePath(const std::string& name);
std::string manifestPath(const std::string& name);
std::string sourceDir();
std::string stageDir();

// A fresh empty folder under the test's temporary area, removed by the caller's scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs a shell command; returns its standard output. Fails the test when it fails.
std::string run(const std::string& command);
std::vector<std::uint8_t> readFile(const std::string& path);
std::string sha256File(const std::string& path);

}  // namespace tessaly::test
