#include "wizard_fixture.h"

#include <wx/evtloop.h>

#include <algorithm>
#include <filesystem>

#include "config/configuration.h"
#include "wizard/tree_mirror.h"

namespace tessaly::wizard::test {

void startWx() {
  static const bool started = [] {
    static int argc = 1;
    static char name[] = "test_wizard";
    static char* argv[] = {name, nullptr};
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv)) return false;
    wxTheApp->CallOnInit();
    wxInitAllImageHandlers();
    // wx's own error messages go to the test output: a message box would wait forever.
    delete wxLog::SetActiveTarget(new wxLogStderr);
    return true;
  }();
  ASSERT_TRUE(started) << "wxWidgets did not start (is there a display?)";
}

void pump(std::chrono::milliseconds period) {
  // An active event loop, so that the window system's drawing runs as in the program
  // (a bare yield leaves the windows undrawn).
  static wxGUIEventLoop* loop = new wxGUIEventLoop;
  wxEventLoopActivator activate(loop);
  const auto end = std::chrono::steady_clock::now() + period;
  do {
    loop->DispatchTimeout(2);
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
  } while (std::chrono::steady_clock::now() < end);
}

bool pumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    pump(std::chrono::milliseconds(5));
  }
  return true;
}

// ------------------------------------------------------------------ HoldingDevice

bool HoldingDevice::read(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  if (offset + buffer.size() > holdFrom_ && offset < holdTo_) {
    std::unique_lock lock(mutex_);
    if (!open_) {
      holding_ = true;
      released_.wait(lock, [this] { return open_; });
      holding_ = false;
    }
  }
  return inner_->read(offset, buffer);
}

void HoldingDevice::release() {
  {
    std::lock_guard lock(mutex_);
    open_ = true;
  }
  released_.notify_all();
}

void HoldingDevice::arm(std::uint64_t firstSector, std::uint64_t endSector) {
  std::lock_guard lock(mutex_);
  holdFrom_ = firstSector * 512;
  holdTo_ = endSector * 512;
  open_ = false;
}

// ------------------------------------------------------------------ WizardTest

void WizardTest::SetUp() { startWx(); }

std::string WizardTest::installFolder() {
  // The staged installation folder's files, linked into a folder of this test's own, so
  // that the scan catalogue a test writes there is its own.
  const std::string folder = home.file("install");
  if (!std::filesystem::exists(folder)) {
    std::filesystem::create_directories(folder);
    for (const auto& entry : std::filesystem::directory_iterator(stageDir())) {
      // The files the program writes there are the test's own.
      const std::string name = entry.path().filename().string();
      if (name.rfind("TYDataFile", 0) == 0 || name.rfind("TreeStruct", 0) == 0 || name == "LogDetails.txt") continue;
      std::filesystem::create_symlink(entry.path(), folder + "/" + entry.path().filename().string());
    }
  }
  return folder;
}

void WizardTest::TearDown() {
  if (window) {
    window->Destroy();
    window = nullptr;
    pump(std::chrono::milliseconds(30));
  }
}

std::optional<int> WizardTest::open(const std::vector<std::string>& disks,
                                    std::optional<std::string> floppy, bool installed) {
  devices.setDisks(disks);
  if (floppy) devices.setFloppy(*floppy);
  platform::Registry registry(home.file("registry"));
  if (installed) registerInstallFolder(registry, installFolder());
  WindowOptions options;
  options.devices = &devices;
  options.dialogs = &dialogs;
  options.registry = registry;
  options.onTerminate = [this](int code) { terminatedWith = code; };
  options.dialogReady = [this](wxDialog& dialog, int number) {
    dialogsShown.push_back(number);
    if (onDialog) onDialog(dialog, number);
  };
  options.popupMenu = [this](wxWindow&, wxMenu& menu, const wxPoint&) {
    std::vector<std::string> items;
    for (wxMenuItem* item : menu.GetMenuItems()) items.push_back(item->GetItemLabelText().utf8_string());
    popups.push_back(items);
    const int answer = popupAnswer;
    popupAnswer = wxID_NONE;
    return answer;
  };
  options.openFile = [this](const std::string& path) {
    openedFiles.push_back(path);
    return true;
  };
  options.printToFile = printToFile;
  window = new MainWindow(std::move(options));
  try {
    window->initialise();
  } catch (const ProgramExit& exit) {
    return exit.code;
  }
  window->Show();
  pump();
  return std::nullopt;
}

bool WizardTest::click(int id) {
  window->flushUpdates();
  if (MainWindow::isMenuCommand(id)) {
    wxMenuBar* bar = window->GetMenuBar();
    const int item = MainWindow::menuItemId(id);
    if (!bar->FindItem(item) || !bar->IsEnabled(item)) return false;
    // The menu changes a check mark before the command arrives.
    if (bar->FindItem(item)->GetKind() == wxITEM_CHECK) bar->Check(item, !bar->IsChecked(item));
    if (bar->FindItem(item)->GetKind() == wxITEM_RADIO) bar->Check(item, true);
    wxCommandEvent event(wxEVT_MENU, item);
    event.SetEventObject(window);
    window->ProcessWindowEvent(event);
  } else {
    wxWindow* control = window->control(id);
    if (!control) return false;
    // The hidden cancel button stands for Escape and the close box.
    if (id != wizard::id::kCancel && (!control->IsShown() || !control->IsEnabled())) return false;
    wxEventType type = wxEVT_BUTTON;
    if (auto* radio = dynamic_cast<wxRadioButton*>(control)) {
      radio->SetValue(true);
      type = wxEVT_RADIOBUTTON;
    } else if (auto* box = dynamic_cast<wxCheckBox*>(control)) {
      box->SetValue(!box->GetValue());
      type = wxEVT_CHECKBOX;
    }
    wxCommandEvent event(type, id);
    event.SetEventObject(control);
    control->HandleWindowEvent(event);
  }
  window->flushUpdates();
  return true;
}

bool WizardTest::clickTree(int treeId, const std::string& entry) {
  window->flushUpdates();
  TreeMirror& mirror = treeId == control::kDiskTree             ? window->diskMirror()
                       : treeId == wizard::id::kPartitionTree  ? window->partitionMirror()
                       : treeId == wizard::id::kFileSystemTree ? window->fileSystemMirror()
                                                               : window->folderMirror();
  wxTreeCtrl& tree = mirror.control();
  if (!tree.IsShown() || !tree.IsEnabled()) return false;
  std::function<wxTreeItemId(wxTreeItemId)> find = [&](wxTreeItemId item) -> wxTreeItemId {
    if (tree.GetItemText(item).utf8_string() == entry) return item;
    wxTreeItemIdValue cookie;
    for (auto child = tree.GetFirstChild(item, cookie); child.IsOk();
         child = tree.GetNextChild(item, cookie))
      if (auto found = find(child); found.IsOk()) return found;
    return {};
  };
  if (!tree.GetRootItem().IsOk()) return false;
  wxTreeItemId found = find(tree.GetRootItem());
  if (!found.IsOk()) return false;
  window->clickTreeItem(treeId, mirror.itemOf(found));
  window->flushUpdates();
  return true;
}

bool WizardTest::waitForScan(std::chrono::milliseconds timeout) {
  const bool ended = pumpUntil([&] { return !window->scanRunning(); }, timeout);
  pump();
  window->flushUpdates();
  return ended;
}

std::string WizardTest::text(int id) {
  window->flushUpdates();
  wxWindow* control = window->control(id);
  if (!control) return {};
  if (auto* edit = dynamic_cast<wxTextCtrl*>(control)) return edit->GetValue().utf8_string();
  return control->GetLabel().utf8_string();
}

bool WizardTest::shown(int id) {
  window->flushUpdates();
  wxWindow* control = window->control(id);
  return control && control->IsShown();
}

bool WizardTest::enabled(int id) {
  window->flushUpdates();
  wxWindow* control = window->control(id);
  return control && control->IsEnabled();
}

bool WizardTest::menuEnabled(int id) {
  return window->GetMenuBar()->IsEnabled(MainWindow::menuItemId(id));
}

std::vector<std::string> WizardTest::treePaths(int treeId) {
  window->flushUpdates();
  auto* tree = dynamic_cast<wxTreeCtrl*>(window->control(treeId));
  std::vector<std::string> paths;
  if (!tree || !tree->GetRootItem().IsOk()) return paths;
  std::function<void(wxTreeItemId, const std::string&)> walk = [&](wxTreeItemId item,
                                                                   const std::string& prefix) {
    const std::string path = prefix + tree->GetItemText(item).utf8_string();
    paths.push_back(path);
    wxTreeItemIdValue cookie;
    for (auto child = tree->GetFirstChild(item, cookie); child.IsOk();
         child = tree->GetNextChild(item, cookie))
      walk(child, path + "/");
  };
  walk(tree->GetRootItem(), "");
  return paths;
}

std::vector<std::string> WizardTest::messages() const {
  std::vector<std::string> texts;
  for (const auto& m : dialogs.messages) texts.push_back(m.text);
  return texts;
}

wxWindow* WizardTest::panel() {
  for (wxWindow* child : window->GetChildren())
    if (dynamic_cast<wxPanel*>(child)) return child;
  return nullptr;
}

std::string WizardTest::screenshot(const std::string& name) {
  window->Refresh();
  window->Update();
  pump(std::chrono::milliseconds(300));
  // The window as drawn: its menu bar, its client area and its status line, each read
  // back from its own window (the screen itself may not show the latest drawing).
  std::vector<wxWindow*> parts = {window->GetMenuBar(), panel(), window->GetStatusBar()};
  const int width = window->GetClientSize().x;
  int height = 0;
  for (wxWindow* part : parts) height += part->GetSize().y;
  wxBitmap bitmap(width, height);
  {
    wxMemoryDC memory(bitmap);
    memory.SetBackground(*wxWHITE_BRUSH);
    memory.Clear();
    int y = 0;
    for (wxWindow* part : parts) {
      const wxSize size = part->GetSize();
      wxWindowDC source(part);
      memory.Blit(0, y, size.x, size.y, &source, 0, 0);
      y += size.y;
    }
  }
  std::filesystem::create_directories(TESSALY_SCREENSHOT_DIR);
  const std::string path = std::string(TESSALY_SCREENSHOT_DIR) + "/" + name + ".png";
  bitmap.SaveFile(path, wxBITMAP_TYPE_PNG);
  return path;
}

TreeItem WizardTest::folderItem(const std::string& path) {
  window->flushUpdates();
  return treeItemAt(window->scan().folderTree, path);
}

bool WizardTest::tick(const std::string& path) {
  const TreeItem item = folderItem(path);
  if (item == kNoItem) return false;
  // The click on the check box reaches the tree control as its state-image event.
  TreeMirror& mirror = window->folderMirror();
  wxTreeEvent event(wxEVT_TREE_STATE_IMAGE_CLICK, &mirror.control(), mirror.idOf(item));
  mirror.control().HandleWindowEvent(event);
  window->flushUpdates();
  return true;
}

std::vector<std::string> WizardTest::listColumn(int column) {
  window->flushUpdates();
  wxListCtrl& list = window->fileListControl();
  std::vector<std::string> texts;
  for (long i = 0; i < list.GetItemCount(); ++i) texts.push_back(list.GetItemText(i, column).utf8_string());
  return texts;
}

std::vector<long> WizardTest::rowsNamed(const std::vector<std::string>& names) {
  std::vector<long> rows;
  const auto all = listColumn(0);
  for (std::size_t i = 0; i < all.size(); ++i)
    if (std::find(names.begin(), names.end(), all[i]) != names.end()) rows.push_back(static_cast<long>(i));
  return rows;
}

void WizardTest::selectRows(const std::vector<long>& rows) {
  wxListCtrl& list = window->fileListControl();
  for (long i = 0; i < list.GetItemCount(); ++i) {
    const bool want = std::find(rows.begin(), rows.end(), i) != rows.end();
    list.SetItemState(i, want ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
  }
  window->flushUpdates();
}

bool WizardTest::press(wxWindow& dialog, int id) {
  wxWindow* control = dialog.FindWindow(id);
  if (!control || !control->IsShown() || !control->IsEnabled()) return false;
  wxEventType type = wxEVT_BUTTON;
  if (auto* radio = dynamic_cast<wxRadioButton*>(control)) {
    radio->SetValue(true);
    type = wxEVT_RADIOBUTTON;
  }
  wxCommandEvent event(type, id);
  event.SetEventObject(control);
  control->HandleWindowEvent(event);
  return true;
}

void WizardTest::type(wxWindow& dialog, int id, const std::string& text) {
  auto* edit = dynamic_cast<wxTextCtrl*>(dialog.FindWindow(id));
  ASSERT_NE(edit, nullptr) << id;
  edit->SetValue(wxString::FromUTF8(text));
}

std::string WizardTest::labelIn(wxWindow& dialog, int id) {
  wxWindow* control = dialog.FindWindow(id);
  if (!control) return {};
  if (auto* edit = dynamic_cast<wxTextCtrl*>(control)) return edit->GetValue().utf8_string();
  return control->GetLabel().utf8_string();
}

std::string WizardTest::screenshotOf(wxWindow& window, const std::string& name) {
  window.Refresh();
  window.Update();
  pump(std::chrono::milliseconds(300));
  const wxSize size = window.GetClientSize();
  wxBitmap bitmap(size);
  {
    wxWindowDC source(&window);
    wxMemoryDC memory(bitmap);
    memory.Blit(0, 0, size.x, size.y, &source, 0, 0);
  }
  std::filesystem::create_directories(TESSALY_SCREENSHOT_DIR);
  const std::string path = std::string(TESSALY_SCREENSHOT_DIR) + "/" + name + ".png";
  bitmap.SaveFile(path, wxBITMAP_TYPE_PNG);
  return path;
}

void WizardTest::toPartitionPage() {
  ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
  ASSERT_TRUE(click(wizard::id::kQuick));
  ASSERT_TRUE(click(wizard::id::kNext));
  ASSERT_EQ(window->wizardPage(), WizardPage::Partition);
}

void WizardTest::scanPartition(const std::string& entry) {
  toPartitionPage();
  ASSERT_TRUE(clickTree(wizard::id::kPartitionTree, entry));
  ASSERT_TRUE(click(wizard::id::kNext));
  ASSERT_TRUE(waitForScan());
}

}  // namespace tessaly::wizard::test
