// Starting the main window and ending the program: the installation folder, the state
// the window starts in, and the exit and close sequences with their questions.
#include "wizard_fixture.h"

#include "config/configuration.h"

namespace tessaly::wizard::test {
namespace {

namespace wid = wizard::id;

TEST_F(WizardTest, WithoutAnInstallationFolderTheProgramSaysSoAndEnds) {
  auto exit = open({imagePath("fat_disk")}, std::nullopt, /*installed=*/false);
  ASSERT_TRUE(exit.has_value());
  EXPECT_NE(*exit, 0);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "Tessaly is not installed properly");
  EXPECT_EQ(dialogs.messages[0].caption, "Tessaly - Kestrel");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Error);
  // Nothing was enumerated: the disk tree is empty.
  EXPECT_TRUE(treePaths(control::kDiskTree).empty());
}

TEST_F(WizardTest, StartsOnTheDiskPageWithTheDisksListedAndOnlyExitAndLoadLogAvailable) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  EXPECT_EQ(window->GetTitle(), "Tessaly - Kestrel");
  EXPECT_EQ(window->wizardPage(), WizardPage::Disk);
  EXPECT_EQ(window->recoveryMode(), kModeNone);
  EXPECT_FALSE(window->exitInProgress());
  EXPECT_EQ(window->stepPicture(), "Step1.bmp");
  EXPECT_EQ(window->session().installFolder, installFolder());

  EXPECT_EQ(treePaths(control::kDiskTree),
            (std::vector<std::string>{"My Computer", "My Computer/1.44\" Floppy",
                                      "My Computer/Disk0"}));
  // The picture buttons carry the catalogue's labels and their pictures.
  EXPECT_EQ(text(wid::kLoadLogButton), "Load Log");
  EXPECT_TRUE(static_cast<wxButton*>(window->control(wid::kHelpButton))->GetBitmap().IsOk());
  EXPECT_EQ(text(wid::kExitButton), "Exit from Tessaly");
  EXPECT_EQ(text(wid::kBack), "B&ack");
  EXPECT_EQ(text(wid::kNext), "&Next");
  // Nothing chosen yet: no mode, no Next, nothing to save.
  for (int id : {wid::kQuick, wid::kAdvanced, wid::kRaw, wid::kBack, wid::kNext,
                 wid::kSaveFilesButton, wid::kSelectAllButton, wid::kUnselectAllButton})
    EXPECT_FALSE(enabled(id)) << id;
  EXPECT_TRUE(enabled(wid::kExitButton));
  EXPECT_FALSE(menuEnabled(wid::kMenuSaveLog));
  EXPECT_TRUE(menuEnabled(wid::kMenuLoadLog));
  // The information list has its one titled column, and the log path is the temp folder.
  EXPECT_EQ(window->listColumns().size(), 1u);
  EXPECT_NE(window->listColumns()[0].find("Files Recovered"), std::string::npos);
  EXPECT_FALSE(text(wid::kLogPath).empty());
}

TEST_F(WizardTest, AnUnknownLanguageSettingFallsBackToEnglish) {
  platform::Registry registry(home.file("registry"));
  storeLanguageSetting(registry, "FrenchW.dat");
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  EXPECT_EQ(window->session().messages->languageFile(), "EnglishA.dat");
  EXPECT_TRUE(window->GetMenuBar()->IsChecked(MainWindow::menuItemId(wid::kMenuEnglish)));

  // A language command stores its file as the setting for the next start.
  ASSERT_TRUE(click(wid::kMenuGerman));
  EXPECT_EQ(window->session().messages->languageFile(), "GermanW.dat");
  EXPECT_EQ(readLanguageSetting(registry), "GermanW.dat");
  EXPECT_TRUE(window->GetMenuBar()->IsChecked(MainWindow::menuItemId(wid::kMenuGerman)));
}

TEST_F(WizardTest, ExitAsksOnceAndNoLeavesTheProgramRunning) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kExitButton));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  // The picture button's question ends in 21 blanks, the menu item's in 28.
  EXPECT_EQ(dialogs.messages[0].text, "Do you want to exit from Tessaly?" + std::string(21, ' '));
  EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Question);
  EXPECT_FALSE(terminatedWith.has_value());
  EXPECT_FALSE(window->exitInProgress());

  dialogs.messageAnswers = {kIdYes};
  ASSERT_TRUE(click(wid::kMenuExit));
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].text, "Do you want to exit from Tessaly?" + std::string(28, ' '));
  EXPECT_EQ(terminatedWith, 0);
}

TEST_F(WizardTest, ASecondExitWhileTheQuestionIsOpenAsksNothing) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  // The scripted answer presses Exit again while the first question is open.
  struct Reentering : ScriptedDialogs {
    std::function<void()> during;
    int messageBox(const std::string& t, const std::string& c, MessageButtons b,
                   MessageIcon i) override {
      if (during) std::exchange(during, nullptr)();
      ScriptedDialogs::messageBox(t, c, b, i);
      return kIdNo;
    }
  };
  Reentering reentering;
  window->session().dialogs = &reentering;
  reentering.during = [&] { click(wid::kExitButton); };
  ASSERT_TRUE(click(wid::kExitButton));
  EXPECT_EQ(reentering.messages.size(), 1u);
  EXPECT_FALSE(window->exitInProgress());
}

TEST_F(WizardTest, CloseAsksWithTwentyOneBlanksAndEndsOnYes) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kCancel));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "Do you want to exit from Tessaly?" + std::string(21, ' '));
  EXPECT_FALSE(terminatedWith.has_value());

  // The close box runs the same sequence.
  dialogs.messageAnswers = {kIdYes};
  window->Close();
  EXPECT_EQ(messages().size(), 2u);
  EXPECT_EQ(terminatedWith, 0);
}

}  // namespace
}  // namespace tessaly::wizard::test
