// The Help and Support commands (the help book in its viewer or the browser, balloon
// help, the support contacts, Live Update) and the language the window's texts come in:
// a language command reaches the dialogs opened after it, not the window; without the
// catalogue component every text is English.
#include <wx/html/helpfrm.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "config/configuration.h"
#include "wizard/save_dialogs.h"
#include "wizard_fixture.h"

namespace tessaly::wizard::test {
namespace {

namespace fs = std::filesystem;
namespace wid = wizard::id;

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int helpFrames() {
  int count = 0;
  for (wxWindow* top : wxTopLevelWindows)
    if (dynamic_cast<wxHtmlHelpFrame*>(top) && top->IsShown()) ++count;
  return count;
}

TEST_F(WizardTest, ContentsAndTheHelpButtonShowOneHelpWindowAtTheBooksFirstPage) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  ASSERT_TRUE(click(wid::kMenuContents));
  pump(std::chrono::milliseconds(200));
  auto* help = dynamic_cast<wxHtmlHelpFrame*>(window->helpWindow());
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->GetTitle(), "Tessaly FAt & NTFS - Welcome to Tessaly");
  const wxString page = help->GetHelpWindow()->GetHtmlWindow()->GetOpenedPage();
  EXPECT_TRUE(page.EndsWith("TessalyHelp.chm/index.html")) << page;
  screenshotOf(*help, "help-book");

  // A second request brings the open window forward instead of opening another.
  ASSERT_TRUE(click(wid::kHelpButton));
  pump();
  EXPECT_EQ(window->helpWindow(), help);
  EXPECT_EQ(helpFrames(), 1);
  EXPECT_TRUE(openedFiles.empty());
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(WizardTest, EveryPageAndPictureTheHelpBookNamesIsInIt) {
  const fs::path book = fs::path(stageDir()) / "TessalyHelp.chm";
  const std::regex reference(R"re((?:href|src|value)="([^"#:]+\.(?:html|png))")re");
  std::set<std::string> named, pages = {"index.html"};
  for (const char* listing : {"TessalyHelp.hhp", "contents.hhc", "index.hhk"}) {
    const std::string text = readText((book / listing).string());
    ASSERT_FALSE(text.empty()) << listing;
    for (std::sregex_iterator m(text.begin(), text.end(), reference), end; m != end; ++m)
      pages.insert((*m)[1]);
  }
  for (const std::string& page : pages) {
    const std::string text = readText((book / page).string());
    ASSERT_FALSE(text.empty()) << page << " is missing";
    for (std::sregex_iterator m(text.begin(), text.end(), reference), end; m != end; ++m)
      named.insert((*m)[1]);
  }
  for (const std::string& file : named) EXPECT_TRUE(fs::exists(book / file)) << file;
  // Every page of the book is in its contents.
  for (const auto& entry : fs::directory_iterator(book)) {
    if (entry.path().extension() == ".html") {
      EXPECT_TRUE(pages.count(entry.path().filename().string())) << entry.path();
    }
  }
}

TEST_F(WizardTest, ABookTheViewerCannotReadOpensInTheBrowserAndNoBookShowsNothing) {
  // The book without its viewer project: only the pages.
  const fs::path book = fs::path(installFolder()) / "TessalyHelp.chm";
  fs::remove(book);
  fs::create_directory(book);
  fs::copy_file(fs::path(stageDir()) / "TessalyHelp.chm" / "index.html", book / "index.html");
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  ASSERT_TRUE(click(wid::kMenuContents));
  EXPECT_EQ(openedFiles, std::vector<std::string>{(book / "index.html").string()});
  EXPECT_EQ(window->helpWindow(), nullptr);

  fs::remove_all(book);
  ASSERT_TRUE(click(wid::kHelpButton));
  pump();
  EXPECT_EQ(openedFiles.size(), 1u);
  EXPECT_EQ(helpFrames(), 0);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(WizardTest, SupportCommandsBalloonHelpAndLiveUpdate) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  ASSERT_TRUE(click(wid::kMenuSupportOnline));
  EXPECT_EQ(openedFiles, std::vector<std::string>{"https://tessaly.example/support"});

  // E-mail: a new message to the support address, with no subject and no text; nothing
  // at all without a mail composer.
  const std::string bin = home.file("bin");
  fs::create_directories(bin);
  const std::string composer = bin + "/xdg-email";
  std::ofstream(composer) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << home.file("mail-args")
                          << "'\n";
  fs::permissions(composer, fs::perms::owner_all);
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", bin.c_str(), 1);
  ASSERT_TRUE(click(wid::kMenuSupportMail));
  ASSERT_TRUE(
      pumpUntil([&] { return fs::exists(home.file("mail-args")); }, std::chrono::seconds(10)));
  fs::remove(composer);
  ASSERT_TRUE(click(wid::kMenuSupportMail));
  ::setenv("PATH", path.c_str(), 1);
  pump(std::chrono::milliseconds(100));
  EXPECT_EQ(readText(home.file("mail-args")), "support@tessaly.example\n");
  EXPECT_TRUE(dialogs.messages.empty());

  ASSERT_TRUE(click(wid::kMenuSupportPhone));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].text.find("+44 20 7946 0958"), std::string::npos);
  EXPECT_EQ(dialogs.messages[0].caption, "Tessaly - Kestrel");

  ASSERT_TRUE(click(wid::kMenuUpdate));
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].text, "This feature is not currently available");
  EXPECT_EQ(dialogs.messages[1].caption, "Live Update");
  EXPECT_EQ(dialogs.messages[1].icon, MessageIcon::Error);

  // Balloon help: on from start, off and on again with its check mark.
  const int balloon = MainWindow::menuItemId(wid::kMenuBalloonHelp);
  EXPECT_TRUE(window->balloonHelp());
  ASSERT_TRUE(click(wid::kMenuBalloonHelp));
  EXPECT_FALSE(window->balloonHelp());
  EXPECT_FALSE(window->GetMenuBar()->IsChecked(balloon));
  ASSERT_TRUE(click(wid::kMenuBalloonHelp));
  EXPECT_TRUE(window->balloonHelp());
  EXPECT_TRUE(window->GetMenuBar()->IsChecked(balloon));
}

class LanguageChoiceTest : public WizardTest {
 protected:
  // The Settings dialog's Apply button and its first radio button, read while it is open.
  std::vector<std::string> settingsTexts() {
    std::vector<std::string> texts;
    onDialog = [&](wxDialog& dialog, int number) {
      if (number != dialog::kSettings) return;
      texts = {labelIn(dialog, dialog::id::kOk), labelIn(dialog, dialog::id::kIncludeDeleted)};
      EXPECT_TRUE(press(dialog, dialog::id::kCancel));
    };
    EXPECT_TRUE(click(wid::kMenuSaveSettings));
    onDialog = nullptr;
    return texts;
  }
  // The exit question as it is asked (answered No).
  std::string exitQuestion() {
    dialogs.messageAnswers = {kIdNo};
    EXPECT_TRUE(click(wid::kExitButton));
    return messages().empty() ? "" : messages().back();
  }
};

TEST_F(LanguageChoiceTest,
       AfterShowInGermanDialogsAndMessagesAreGermanWhileTheWindowKeepsItsTexts) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  EXPECT_EQ(settingsTexts(), (std::vector<std::string>{"&Apply", "Include Deleted File(s)"}));

  ASSERT_TRUE(click(wid::kMenuGerman));
  EXPECT_EQ(settingsTexts(),
            (std::vector<std::string>{"Ü&bernehmen", "Gelöschte Dateien einschließen"}));
  EXPECT_EQ(exitQuestion(), "Möchten Sie Tessaly beenden?" + std::string(21, ' '));
  // The window keeps the texts it started with.
  EXPECT_EQ(text(wid::kNext), "&Next");
  EXPECT_EQ(text(wid::kLoadLogButton), "Load Log");
  EXPECT_NE(window->listColumns()[0].find("Files Recovered"), std::string::npos);
}

TEST_F(LanguageChoiceTest, WithoutTheCatalogueComponentEveryTextIsEnglish) {
  fs::remove(fs::path(installFolder()) / kCatalogueComponent);
  platform::Registry registry(home.file("registry"));
  ASSERT_TRUE(storeLanguageSetting(registry, "GermanA.dat"));
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  ASSERT_EQ(window->session().messages->languageFile(), "GermanA.dat");
  EXPECT_EQ(text(wid::kNext), "&Next");
  EXPECT_EQ(text(wid::kLoadLogButton), "Load Log");
  EXPECT_EQ(text(wid::kQuick), "Quick ");
  EXPECT_EQ(settingsTexts(), (std::vector<std::string>{"&Apply", "Include Deleted File(s)"}));
  // The exit question's own fallback, not the English language file's wording.
  EXPECT_EQ(exitQuestion(), "Do you want to Exit?" + std::string(21, ' '));
}

}  // namespace
}  // namespace tessaly::wizard::test
