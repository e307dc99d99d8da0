// The dialogs of a save, open in the window and driven as a user drives them: the
// Settings dialog's rules, the File Saving dialog's folder, the Saving dialog's fields,
// Stop and Skip while a file is being written, and Stop while the size is counted.
#include "wizard_fixture.h"

#include <cstring>
#include <filesystem>

#include "fat/catalogue.h"
#include "wizard/dialogs.h"
#include "wizard/widgets.h"

namespace tessaly::wizard::test {
namespace {

namespace fs = std::filesystem;
namespace wid = wizard::id;
namespace did = dialog::id;
using Texts = std::vector<std::string>;

constexpr const char* kStopQuestion = "Are you sure you want to stop current process.";

Texts listBox(wxDialog& dialog) {
  Texts texts;
  auto* list = static_cast<wxListBox*>(dialog.FindWindow(did::kExtensionList));
  for (unsigned i = 0; i < list->GetCount(); ++i) texts.push_back(list->GetString(i).utf8_string());
  return texts;
}

bool checked(wxDialog& dialog, int id) { return static_cast<wxRadioButton*>(dialog.FindWindow(id))->GetValue(); }

// The entries shown by the six date lists: Earlier day, month, year, After day, month, year.
Texts dates(wxDialog& dialog) {
  Texts texts;
  for (int id : {did::kEarlierDay, did::kEarlierMonth, did::kEarlierYear, did::kAfterDay, did::kAfterMonth,
                 did::kAfterYear})
    texts.push_back(static_cast<wxChoice*>(dialog.FindWindow(id))->GetStringSelection().utf8_string());
  return texts;
}

void choose(wxDialog& dialog, int id, const std::string& entry) {
  auto* list = static_cast<wxChoice*>(dialog.FindWindow(id));
  ASSERT_NE(list->FindString(entry), wxNOT_FOUND) << entry;
  list->SetStringSelection(entry);
}

class SaveDialogsTest : public WizardTest {
 protected:
  // Each opening of the Settings dialog runs the next of these, which must close it.
  void settings(std::vector<std::function<void(wxDialog&)>> openings) {
    std::size_t next = 0;
    onDialog = [&](wxDialog& dialog, int number) {
      ASSERT_EQ(number, dialog::kSettings);
      ASSERT_LT(next, openings.size());
      openings[next++](dialog);
    };
    for (std::size_t i = 0; i < openings.size(); ++i) ASSERT_TRUE(click(wid::kMenuSaveSettings));
    onDialog = nullptr;
    EXPECT_EQ(next, openings.size());
  }
  // Types an extension and presses Add; returns the message it raised ("" for none).
  std::string add(wxDialog& dialog, const std::string& extension) {
    const std::size_t before = dialogs.messages.size();
    type(dialog, did::kExtensionEdit, extension);
    EXPECT_TRUE(press(dialog, did::kAdd));
    return dialogs.messages.size() > before ? dialogs.messages.back().text : "";
  }
  MessageIcon lastIcon() const { return dialogs.messages.back().icon; }

  // The FAT16 results with "Documents" ticked; the disk's reads can be held.
  std::shared_ptr<HoldingDevice> documentsTicked() {
    const std::string image = imagePath("fat_disk");
    auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(image));
    devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
    EXPECT_FALSE(open({image}).has_value());
    scanPartition("Partition - 1 ( FAT16 )");
    EXPECT_TRUE(tick("Root/Documents"));
    return hold;
  }
  // The first sector of a cluster of the scanned volume.
  std::uint64_t clusterSector(std::uint32_t cluster) {
    return window->scan().workingVolume.clusterSector(cluster);
  }
  // The File Saving dialog's answer: the folder typed, OK.
  void destination(wxDialog& dialog, const std::string& path) {
    type(dialog, did::kPath, path);
    EXPECT_TRUE(press(dialog, did::kOk));
  }
};

// ------------------------------------------------------------------ Settings

TEST_F(SaveDialogsTest, TheSettingsDialogAddsExtensionsByItsRulesAndAppliesDatesAndModes) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  // Never opened: deleted and other files alike.
  EXPECT_EQ(window->saveOptions().deletedFilter, DeletedFilter::All);
  settings({[&](wxDialog& d) {
    EXPECT_EQ(d.GetTitle(), "Settings");
    // Deleted files only, and only Auto or Contigious to choose from.
    EXPECT_TRUE(checked(d, did::kDeletedOnly));
    for (int id : {did::kIncludeDeleted, did::kExcludeDeleted, did::kDeletedOnly, did::kFat1, did::kFat2})
      EXPECT_FALSE(d.FindWindow(id)->IsEnabled()) << id;
    EXPECT_TRUE(checked(d, did::kAuto));
    EXPECT_TRUE(d.FindWindow(did::kContiguous)->IsEnabled());
    EXPECT_TRUE(d.FindWindow(did::kFreeClusters)->IsEnabled());
    EXPECT_EQ(labelIn(d, did::kContiguous), "Contigious");
    EXPECT_TRUE(checked(d, did::kSaveSelected));
    EXPECT_EQ(dates(d), (Texts{"31", "12", "2030", "01", "01", "1970"}));

    EXPECT_EQ(add(d, "jpeg1"), "Extension should not exceed more than 4 characters");
    EXPECT_EQ(lastIcon(), MessageIcon::Error);
    EXPECT_EQ(labelIn(d, did::kExtensionEdit), "jpeg1");  // a refused text stays
    EXPECT_EQ(add(d, " doc"), "Extension should not contain blank space");
    EXPECT_EQ(lastIcon(), MessageIcon::None);
    EXPECT_EQ(add(d, "d.c"),
              "Do not include \".\" (DOT) in extension. Enter extensions like this : tmp,html,bak etc..");
    EXPECT_EQ(lastIcon(), MessageIcon::Error);
    EXPECT_EQ(add(d, "*"), "Do not include \"*\" in extension. Enter extensions like this : tmp,html,bak etc..");
    EXPECT_EQ(add(d, ""), "");
    EXPECT_EQ(add(d, "jpeg"), "");
    EXPECT_EQ(labelIn(d, did::kExtensionEdit), "");
    EXPECT_EQ(add(d, "doc"), "");
    EXPECT_EQ(add(d, "doc"), "This extension already exist. Enter different extension");
    EXPECT_EQ(lastIcon(), MessageIcon::None);
    EXPECT_EQ(add(d, "Doc"), "");
    EXPECT_EQ(listBox(d), (Texts{"Doc", "doc", "jpeg"}));
    // Remove takes the entry selected: the one added last.
    EXPECT_TRUE(press(d, did::kRemove));
    EXPECT_EQ(listBox(d), (Texts{"doc", "jpeg"}));

    EXPECT_TRUE(press(d, did::kFreeClusters));
    EXPECT_EQ(window->saveOptions().savingMode, SavingMode::FreeClusters);
    EXPECT_TRUE(press(d, did::kContiguous));
    EXPECT_TRUE(press(d, did::kInvertSelection));
    choose(d, did::kEarlierDay, "10");
    choose(d, did::kEarlierMonth, "05");
    choose(d, did::kEarlierYear, "2004");
    choose(d, did::kAfterDay, "15");
    choose(d, did::kAfterYear, "2004");
    EXPECT_TRUE(press(d, did::kOk));
  }});
  const SaveOptions& o = window->saveOptions();
  EXPECT_EQ(o.deletedFilter, DeletedFilter::DeletedOnly);
  EXPECT_EQ(o.savingMode, SavingMode::Contiguous);
  EXPECT_EQ(o.selectionMode, SelectionMode::NotSelected);
  EXPECT_EQ(o.extensionList, (Texts{"jpeg", "doc"}));
  EXPECT_EQ((std::array{o.earlierDate.day, o.earlierDate.month, o.earlierDate.year}), (std::array{10, 5, 2004}));
  EXPECT_EQ((std::array{o.afterDate.day, o.afterDate.month, o.afterDate.year}), (std::array{15, 1, 2004}));
  EXPECT_EQ(messages().size(), 5u);
}

TEST_F(SaveDialogsTest, CancelAndTheCloseBoxUndoEverythingSinceTheDialogOpened) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  settings({
      [&](wxDialog& d) {
        EXPECT_EQ(add(d, "doc"), "");  // the first extension is taken at once
        choose(d, did::kAfterDay, "15");
        EXPECT_TRUE(press(d, did::kOk));
      },
      [&](wxDialog& d) {
        // The After day starts at "01" again at every opening.
        EXPECT_EQ(dates(d), (Texts{"31", "12", "2030", "01", "01", "1970"}));
        EXPECT_EQ(listBox(d), Texts{"doc"});
        EXPECT_EQ(add(d, "txt"), "");
        EXPECT_TRUE(press(d, did::kRemove));  // txt
        EXPECT_TRUE(press(d, did::kRemove));  // doc
        EXPECT_TRUE(window->saveOptions().extensionList.empty());
        EXPECT_TRUE(press(d, did::kContiguous));
        EXPECT_TRUE(press(d, did::kSaveAll));
        EXPECT_TRUE(press(d, did::kCancel));
      },
      [&](wxDialog& d) {
        EXPECT_EQ(listBox(d), Texts{"doc"});
        EXPECT_TRUE(checked(d, did::kAuto));
        EXPECT_TRUE(checked(d, did::kSaveSelected));
        EXPECT_EQ(add(d, "txt"), "");
        d.Close();
      },
  });
  const SaveOptions& o = window->saveOptions();
  EXPECT_EQ(o.extensionList, Texts{"doc"});
  EXPECT_EQ(o.savingMode, SavingMode::Auto);
  EXPECT_EQ(o.selectionMode, SelectionMode::Selected);
  EXPECT_EQ(o.afterDate.day, 15);
}

// ------------------------------------------------------------------ File Saving

TEST_F(SaveDialogsTest, TheFileSavingDialogCreatesOneLevelOrSaysWhyAndStays) {
  documentsTicked();
  const std::string missing = home.file("no/such/folder");
  const std::string browsed = home.file("browsed");
  fs::create_directories(browsed);
  dialogs.folder = browsed;
  bool stayed = false;
  onDialog = [&](wxDialog& d, int number) {
    if (number != dialog::kFileSaving) return;
    EXPECT_EQ(d.GetTitle(), "File Saving");
    EXPECT_EQ(labelIn(d, did::kPathLabel), "Enter Path for Saving or Click on Browse Button");
    // The ticked folders are saved as they are: no Settings.
    EXPECT_FALSE(d.FindWindow(did::kSettingsButton)->IsEnabled());
    destination(d, missing);
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages().back(), "Failed to create " + missing);
    EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::Error);
    stayed = d.IsModal() && d.FindWindow(did::kOk)->IsEnabled() && d.FindWindow(did::kCancel)->IsEnabled();
    // Browse: the desktop's folder chooser fills the path.
    EXPECT_TRUE(press(d, did::kBrowse));
    EXPECT_EQ(labelIn(d, did::kPath), browsed);
    EXPECT_TRUE(press(d, did::kOk));
  };
  ASSERT_TRUE(click(wid::kSaveFilesButton));
  EXPECT_TRUE(stayed);
  EXPECT_FALSE(fs::exists(home.file("no")));
  // The tree's walk ends the folder with a separator, and the next save is offered it so.
  EXPECT_EQ(window->destination(), browsed + "/");
  EXPECT_TRUE(fs::exists(browsed + "/Documents/Exact Cluster.bin"));

  // A folder whose parent exists is made; Cancel saves nothing and ends there.
  onDialog = [&](wxDialog& d, int number) {
    if (number == dialog::kFileSaving) {
      EXPECT_TRUE(press(d, did::kCancel));
    }
  };
  dialogsShown.clear();
  ASSERT_TRUE(click(wid::kSaveFilesButton));
  EXPECT_EQ(dialogsShown, std::vector<int>{dialog::kFileSaving});
  EXPECT_EQ(window->destination(), "");
  const std::string fresh = home.file("fresh");
  onDialog = [&](wxDialog& d, int number) {
    if (number == dialog::kFileSaving) destination(d, fresh);
  };
  ASSERT_TRUE(click(wid::kSaveFilesButton));
  EXPECT_TRUE(fs::is_directory(fresh + "/Documents/Old Archive/Deep Folder"));
}

TEST_F(SaveDialogsTest, AFolderOnTheDiskBeingRecoveredIsWarnedAboutAndNoLeavesTheDialogOpen) {
  if (::geteuid() != 0 || std::system("command -v losetup ntfs-3g mountpoint >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no loop devices or ntfs-3g here (needs root)";
  // A copy of the NTFS disk whose partition is on a loop device, mounted with ntfs-3g.
  const std::string image = home.file("disk.img"), mount = home.file("mnt");
  fs::copy_file(imagePath("ntfs_files"), image);
  fs::create_directories(mount);
  struct Mounted {
    std::string loop, mount;
    ~Mounted() {
      if (!mount.empty()) std::system(("umount '" + mount + "' 2>&1").c_str());
      if (!loop.empty()) std::system(("losetup -d '" + loop + "' 2>&1").c_str());
    }
  } mounted;
  FILE* pipe = ::popen(("losetup --show -f -o 1048576 '" + image + "' 2>&1").c_str(), "r");
  char line[256] = {};
  if (pipe && std::fgets(line, sizeof line, pipe))
    mounted.loop = std::string(line, std::strcspn(line, "\n"));
  if (pipe) ::pclose(pipe);
  if (mounted.loop.rfind("/dev/loop", 0) != 0) {
    mounted.loop.clear();
    GTEST_SKIP() << "no loop device free";
  }
  if (std::system(("ntfs-3g '" + mounted.loop + "' '" + mount + "' 2>&1").c_str()) != 0)
    GTEST_SKIP() << "ntfs-3g cannot mount here (no FUSE)";
  mounted.mount = mount;

  ASSERT_FALSE(open({image}).has_value());
  scanPartition("Partition - 1 ( NTFS )");
  ASSERT_TRUE(tick("Root/Pictures"));
  const std::string onDisk = mount + "/rec", elsewhere = home.file("elsewhere");
  dialogs.messageAnswers = {kIdNo};
  bool warned = false;
  onDialog = [&](wxDialog& d, int number) {
    if (number != dialog::kFileSaving) return;
    destination(d, onDisk);
    ASSERT_FALSE(messages().empty());
    warned = messages().back().find("the disk being recovered") != std::string::npos &&
             dialogs.messages.back().buttons == MessageButtons::YesNo && d.IsModal();
    destination(d, elsewhere);
  };
  ASSERT_TRUE(click(wid::kSaveFilesButton));
  EXPECT_TRUE(warned) << (messages().empty() ? "" : messages().back());
  EXPECT_FALSE(fs::exists(onDisk));
  EXPECT_TRUE(fs::is_directory(elsewhere + "/Pictures"));
}

// ------------------------------------------------------------------ the prompts of a save

// Presses a button of every modal dialog with the title that opens while it lives.
class PromptPresser : public wxEvtHandler {
 public:
  PromptPresser(std::string title, int buttonId) : title_(std::move(title)), buttonId_(buttonId) {
    timer_.SetOwner(this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { tick(); });
    timer_.Start(20);
  }
  int pressed = 0;

 private:
  void tick() {
    for (wxWindow* top : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<wxDialog*>(top);
      if (!dialog || !dialog->IsModal() || dialog->GetTitle().utf8_string() != title_) continue;
      if (++ticksOpen_ < 3) return;
      ticksOpen_ = 0;
      ++pressed;
      wxCommandEvent click(wxEVT_BUTTON, buttonId_);
      click.SetEventObject(dialog->FindWindow(buttonId_));
      dialog->FindWindow(buttonId_)->HandleWindowEvent(click);
      return;
    }
  }
  std::string title_;
  int buttonId_;
  int ticksOpen_ = 0;
  wxTimer timer_;
};

TEST_F(SaveDialogsTest, TheSaveThreadsReplacePromptIsARealDialogAndItsAllAnswersHoldForOneSave) {
  documentsTicked();
  WxDialogs real;
  real.setSession(&window->session());
  window->session().dialogs = &real;
  const std::string out = home.file("out");
  onDialog = [&](wxDialog& d, int number) {
    if (number == dialog::kFileSaving) destination(d, out);
  };
  ASSERT_TRUE(click(wid::kSaveFilesButton));  // into an empty folder: no question
  const std::string plan = out + "/Documents/Old Archive/_lan.doc";
  ASSERT_EQ(fs::file_size(plan), 2500u);
  fs::resize_file(plan, 10);
  {
    // Yes to All at the first file that exists answers for the rest of this save.
    PromptPresser yesToAll("Replace File Confirmation", 1139);
    ASSERT_TRUE(click(wid::kSaveFilesButton));
    EXPECT_EQ(yesToAll.pressed, 1);
  }
  EXPECT_EQ(fs::file_size(plan), 2500u);
  fs::resize_file(plan, 10);
  {
    // The next save asks again; No to All keeps every file as it is.
    PromptPresser noToAll("Replace File Confirmation", 1138);
    ASSERT_TRUE(click(wid::kSaveFilesButton));
    EXPECT_EQ(noToAll.pressed, 1);
  }
  EXPECT_EQ(fs::file_size(plan), 10u);
  window->session().dialogs = &dialogs;
}

// ------------------------------------------------------------------ Saving

class SavingTest : public SaveDialogsTest {
 protected:
  // Saves the ticked "Documents" with the first file held in its second cluster; during
  // the hold, whileHeld acts on the open Saving dialog.
  void saveHeld(const std::function<void(wxDialog&)>& whileHeld) {
    hold = documentsTicked();
    ASSERT_TRUE(clickTree(wid::kFolderTree, "Documents"));
    const auto rows = rowsNamed({"Budget 2024.xls"});
    ASSERT_EQ(rows.size(), 1u);
    const auto cluster = static_cast<std::uint32_t>(std::stoul(listColumn(5)[static_cast<std::size_t>(rows[0])]));
    hold->arm(clusterSector(cluster + 1), clusterSector(cluster + 1) + 1);
    onDialog = [&](wxDialog& d, int number) {
      if (number == dialog::kFileSaving) destination(d, out);
      if (number != dialog::kSaving) return;
      ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }, std::chrono::seconds(20)));
      pump(std::chrono::milliseconds(150));
      whileHeld(d);
      hold->release();
    };
    window->setSaveProgressInterval(0);
    ASSERT_TRUE(click(wid::kSaveFilesButton));
    onDialog = nullptr;
  }
  std::vector<std::string> saved() {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(out))
      if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), out).string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::uintmax_t sizeOf(const std::string& name) { return fs::file_size(out + "/" + name); }

  std::shared_ptr<HoldingDevice> hold;
  std::string out = home.file("out");
  const std::string budget = "Documents/Budget 2024.xls";
};

TEST_F(SavingTest, TheSavingDialogShowsTheFileBeingSavedAndNeitherEscapeNorStopAnsweredNoEndsIt) {
  saveHeld([&](wxDialog& d) {
    window->flushUpdates();
    EXPECT_EQ(d.GetTitle(), "Saving");
    EXPECT_EQ(labelIn(d, did::kFileNameLabel), "File Name : ");
    EXPECT_EQ(labelIn(d, did::kCurrentFileLabel), " Recovered Current File : ");
    EXPECT_EQ(labelIn(d, control::kSaveFileName), "Budget 2024.xls");
    EXPECT_EQ(labelIn(d, control::kSaveFilePath), out + "/" + budget);
    EXPECT_EQ(labelIn(d, control::kSaveTotalFiles), "1 / 6");
    EXPECT_EQ(labelIn(d, control::kSaveCurrentFile), "2048 / 9000");
    EXPECT_EQ(labelIn(d, control::kSaveDataTotal), "0 MB");
    auto* bar = dynamic_cast<ProgressBar*>(d.FindWindow(control::kSaveProgress));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->text(), std::to_string(bar->percent()) + "% ");
    EXPECT_GT(bar->percent(), 0);
    // The main window rests meanwhile.
    EXPECT_FALSE(window->control(wid::kFolderTree)->IsEnabled());
    EXPECT_FALSE(menuEnabled(wid::kMenuSave));

    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    d.HandleWindowEvent(escape);
    d.Close();
    pump();
    EXPECT_TRUE(d.IsModal());
    dialogs.messageAnswers = {kIdNo};
    EXPECT_TRUE(press(d, did::kStop));
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0], kStopQuestion);
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Question);
    EXPECT_TRUE(d.IsModal());
    EXPECT_EQ(window->saveJob()->stopSaving.load(), false);
  });
  EXPECT_EQ(saved().size(), 6u);
  EXPECT_EQ(sizeOf(budget), 9000u);
  EXPECT_EQ(window->saveJob()->outcome.filesCompleted.load(), 6);
  EXPECT_TRUE(window->control(wid::kFolderTree)->IsEnabled());
  EXPECT_TRUE(menuEnabled(wid::kMenuSave));
}

TEST_F(SavingTest, StopAnsweredYesEndsTheSaveAfterTheCurrentBlockLeavingNoPartialFile) {
  saveHeld([&](wxDialog& d) {
    dialogs.messageAnswers = {kIdYes};
    EXPECT_TRUE(press(d, did::kStop));
  });
  // Nothing of the file being written stays, under its name or a temporary one.
  EXPECT_EQ(saved(), std::vector<std::string>{});
  EXPECT_EQ(window->saveJob()->filesToSave.load(), 6);
  EXPECT_EQ(window->saveJob()->outcome.filesCompleted.load(), 0);
  EXPECT_EQ(window->saveJob()->stopSaving.load(), false);
}

TEST_F(SavingTest, SkipAbandonsTheCurrentFileAndTheSaveGoesOn) {
  saveHeld([&](wxDialog& d) { EXPECT_TRUE(press(d, did::kSkip)); });
  EXPECT_EQ(saved().size(), 5u);
  EXPECT_FALSE(fs::exists(out + "/" + budget));
  EXPECT_EQ(window->saveJob()->outcome.filesCompleted.load(), 5);
  EXPECT_TRUE(messages().empty());
}

TEST_F(SaveDialogsTest, StopWhileTheSizeIsCountedAsksThenEndsTheCountAndTheSaveRunsWithItsPartialTotals) {
  auto hold = documentsTicked();
  // Hold the count at the first sector of the ticked folder's directory.
  FolderRecord documents;
  ASSERT_TRUE(window->scan().catalogue.findTreeItem(folderItem("Root/Documents"), &documents));
  hold->arm(clusterSector(documents.selfId), clusterSector(documents.selfId) + 1);
  struct ReleasingDialogs : ScriptedDialogs {
    std::shared_ptr<HoldingDevice> hold;
    MainWindow* window = nullptr;
    std::jthread releaser;
    int messageBox(const std::string& t, const std::string& c, MessageButtons b, MessageIcon i) override {
      const int answer = ScriptedDialogs::messageBox(t, c, b, i);
      if (answer == kIdYes) {
        // Once Yes has set stopSaving the held count goes on, reaches its next test and ends.
        releaser = std::jthread([this] {
          while (!window->saveJob()->stopSaving) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          hold->release();
        });
      }
      return answer;
    }
  } releasing;
  releasing.hold = hold;
  releasing.window = window;
  window->session().dialogs = &releasing;
  const std::string out = home.file("out");
  bool stopBack = false;
  onDialog = [&](wxDialog& d, int number) {
    if (number == dialog::kFileSaving) destination(d, out);
    if (number != dialog::kCalculatingSize) return;
    ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }, std::chrono::seconds(20)));
    EXPECT_EQ(labelIn(d, did::kCalculatingText), "Calculating File Size. Please Wait...");
    // Escape does not end the count.
    d.Close();
    EXPECT_TRUE(d.IsModal());
    releasing.messageAnswers = {kIdNo, kIdYes};
    EXPECT_TRUE(press(d, did::kOk));
    stopBack = d.IsModal() && d.FindWindow(did::kOk)->IsEnabled();
    EXPECT_TRUE(press(d, did::kOk));
  };
  ASSERT_TRUE(click(wid::kSaveFilesButton));
  EXPECT_TRUE(stopBack);
  ASSERT_EQ(releasing.messages.size(), 2u);
  EXPECT_EQ(releasing.messages[0].text, "Do you want to terminate this process?");
  EXPECT_EQ(releasing.messages[0].icon, MessageIcon::Question);
  // Nothing was counted when the count ended; the save took everything all the same.
  EXPECT_EQ(window->saveJob()->filesToSave.load(), 0);
  EXPECT_EQ(window->saveJob()->outcome.filesCompleted.load(), 6);
  EXPECT_EQ(dialogsShown, (std::vector<int>{dialog::kFileSaving, dialog::kCalculatingSize, dialog::kSaving}));
}

}  // namespace
}  // namespace tessaly::wizard::test
