// What the wizard's tests share: wxWidgets started once per test program, a real main
// window over test images with scripted answers and a private registry, and ways to drive
// it as a user would: clicks by control id, clicks on tree items, waiting for the scan.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/device.h"
#include "support/test_support.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"
#include "wizard/wx.h"

namespace tessaly::wizard::test {

using namespace tessaly::test;

// Starts wxWidgets for the test program (once).
void startWx();
// Processes the window system's events and the posted updates for a while.
void pump(std::chrono::milliseconds period = std::chrono::milliseconds(20));
// Pumps until cond holds; false after the timeout.
bool pumpUntil(const std::function<bool()>& cond,
               std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A device that holds every read touching a chosen range of sectors until released, so
// a test can act while a worker is at a known place.
class HoldingDevice : public platform::Device {
 public:
  HoldingDevice(std::shared_ptr<platform::Device> inner, std::uint64_t firstSector,
                std::uint64_t endSector)
      : inner_(std::move(inner)), holdFrom_(firstSector * 512), holdTo_(endSector * 512) {}
  // A device that holds nothing until arm() names the sectors.
  explicit HoldingDevice(std::shared_ptr<platform::Device> inner)
      : inner_(std::move(inner)), holdFrom_(0), holdTo_(0), open_(true) {}
  bool read(std::uint64_t offset, std::span<std::uint8_t> buffer) override;
  std::uint64_t size() const override { return inner_->size(); }
  void release();
  // From now on reads of these sectors wait for release().
  void arm(std::uint64_t firstSector, std::uint64_t endSector);
  // True once a read waits at the hold.
  bool holding() const { return holding_; }

 private:
  std::shared_ptr<platform::Device> inner_;
  std::atomic<std::uint64_t> holdFrom_, holdTo_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool open_ = false;
  std::atomic<bool> holding_{false};
};

// Scripted dialogs that release a held device once a message box is answered, so that a
// worker held at its read reaches the point where it is ended.
struct ReleasingDialogs : ScriptedDialogs {
  std::shared_ptr<HoldingDevice> hold;
  int messageBox(const std::string& t, const std::string& c, MessageButtons b, MessageIcon i) override {
    const int answer = ScriptedDialogs::messageBox(t, c, b, i);
    if (hold) hold->release();
    return answer;
  }
};

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the main window over the disks (and the floppy image); registers the staged
  // installation folder unless installed is false. initialise() is run; a ProgramExit
  // it throws is returned.
  std::optional<int> open(const std::vector<std::string>& disks,
                          std::optional<std::string> floppy = std::nullopt, bool installed = true);

  // The installation folder the window is given: the staged one's files, linked.
  std::string installFolder();
  // A click on the control (or menu item) of id, as the user makes it: nothing when the
  // control is disabled or hidden. Radio buttons and check boxes change their value first.
  bool click(int id);
  // A click on the entry of a tree whose text is text; false when there is none.
  bool clickTree(int treeId, const std::string& text);
  // Waits until the scan thread has ended and its updates are applied.
  bool waitForScan(std::chrono::milliseconds timeout = std::chrono::seconds(120));

  std::string text(int id);
  bool shown(int id);
  bool enabled(int id);
  bool menuEnabled(int id);
  // Every item path of a tree control ("Root/Documents/..."), as the control shows it.
  std::vector<std::string> treePaths(int treeId);
  // The message texts asked so far.
  std::vector<std::string> messages() const;
  // The panel that holds every control of the window.
  wxWindow* panel();
  // Saves the window as it looks into build/screenshots/name.png; returns the path.
  std::string screenshot(const std::string& name);

  // Up to the partition page of disk 0 in Quick mode; then to the results of partition n.
  void toPartitionPage();
  void scanPartition(const std::string& entry);

  // ---------------------------------------------------------------- the results views
  // The folder-tree item of a path as the tree shows it ("Root/Documents/Old Archive");
  // kNoItem when there is none.
  TreeItem folderItem(const std::string& path);
  // A click on the check box of the folder at path; false when there is no such folder.
  bool tick(const std::string& path);
  // Column c of every row the file list control shows.
  std::vector<std::string> listColumn(int column);
  // The rows of the file list control whose name (column 0) is one of names.
  std::vector<long> rowsNamed(const std::vector<std::string>& names);
  // Selects exactly these rows in the list control, as clicks with Ctrl do.
  void selectRows(const std::vector<long>& rows);

  // ---------------------------------------------------------------- the window's dialogs
  // A press on a button or radio of an open dialog as the user makes it: nothing when it
  // is disabled or hidden.
  static bool press(wxWindow& dialog, int id);
  // Types text into an edit of an open dialog.
  static void type(wxWindow& dialog, int id, const std::string& text);
  // The label of a control of an open dialog.
  static std::string labelIn(wxWindow& dialog, int id);
  // Saves a picture of a top-level window (a dialog) into build/screenshots/name.png.
  static std::string screenshotOf(wxWindow& window, const std::string& name);

  TempDir home;
  ScriptedDialogs dialogs;
  platform::DeviceTable devices;
  MainWindow* window = nullptr;
  std::optional<int> terminatedWith;
  // Acts on each of the window's own dialogs once it is ready (with its template number).
  std::function<void(wxDialog&, int)> onDialog;
  std::vector<int> dialogsShown;
  // Popup menus: the items of each one shown, and the item the next one answers with.
  std::vector<std::vector<std::string>> popups;
  int popupAnswer = wxID_NONE;
  // The files the window opened with the desktop's program.
  std::vector<std::string> openedFiles;
  // Where the window prints (PostScript), given to it when it is opened.
  std::optional<std::string> printToFile;
};

}  // namespace tessaly::wizard::test
