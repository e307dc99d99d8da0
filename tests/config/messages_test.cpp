#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "config/configuration.h"
#include "config/message_table.h"
#include "config/messages.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

// An installation folder with the built catalogue component and chosen language files.
struct InstallFolder {
  test::TempDir dir;
  explicit InstallFolder(bool withComponent = true) {
    if (withComponent)
      fs::copy_file(test::stageDir() + "/" + kCatalogueComponent, dir.file(kCatalogueComponent));
  }
  void language(const std::string& name, const std::string& contents) {
    std::ofstream(dir.file(name), std::ios::binary) << contents;
  }
  std::string path() const { return dir.path(); }
};

TEST(MessageCatalogue, WithoutComponentOrLanguageFileEveryTextIsEnglish) {
  InstallFolder noComponent(false);
  noComponent.language("EnglishA.dat", "115\tNom\n");
  MessageCatalogue a(noComponent.path(), "EnglishA.dat");
  EXPECT_EQ(a.lookup(115), std::nullopt);
  EXPECT_EQ(a.text(115, "Name"), "Name");

  InstallFolder noLanguage;
  MessageCatalogue b(noLanguage.path(), "EnglishA.dat");
  EXPECT_EQ(b.lookup(115), "");
  EXPECT_EQ(b.text(184, "Searching Lost Directories "), "Searching Lost Directories ");

  MessageCatalogue none;
  EXPECT_EQ(none.text(177, "Recovery is not possible in Quick Mode use Advance Mode"),
            "Recovery is not possible in Quick Mode use Advance Mode");
}

TEST(MessageCatalogue, PresentMessagesComeFromTheLanguageFile) {
  InstallFolder folder;
  folder.language("GermanA.dat",
                  "# comment line\n"
                  "\n"
                  "115\tName (de)\n"
                  "120\tZeile eins\\nZeile zwei\\tTab \\\\ Ende\r\n"
                  "130\tfirst\n"
                  "130\tsecond\n"
                  "x1\tnot a number\n"
                  "56\tSchnell \n");
  MessageCatalogue catalogue(folder.path(), "GermanA.dat");
  EXPECT_EQ(catalogue.text(115, "Name"), "Name (de)");
  EXPECT_EQ(catalogue.text(120, "?"), "Zeile eins\nZeile zwei\tTab \\ Ende");
  EXPECT_EQ(catalogue.text(130, "?"), "second");
  EXPECT_EQ(catalogue.text(56, "Quick "), "Schnell ");
  EXPECT_EQ(catalogue.text(999, "fallback"), "fallback");
  // Switching the file takes effect at the next lookup.
  folder.language("DutchW.dat", "115\tNaam\n");
  catalogue.setLanguageFile("DutchW.dat");
  EXPECT_EQ(catalogue.text(115, "Name"), "Naam");
}

TEST(MessageCatalogue, LookupsFromManyThreadsAgree) {
  InstallFolder folder;
  std::string contents;
  for (int n = 0; n < 200; ++n) contents += std::to_string(n) + "\ttext " + std::to_string(n) + "\n";
  folder.language("EnglishA.dat", contents);
  MessageCatalogue catalogue(folder.path(), "EnglishA.dat");
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int n = 0; n < 200; ++n)
        if (catalogue.text(n, "") != "text " + std::to_string(n)) ++wrong;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(CatalogueComponent, GetMsgKeepsItsContract) {
  InstallFolder folder;
  std::string longText(400, 'a');
  longText.replace(254, 2, "\xC3\xA9");  // a two-byte character across byte 255
  folder.language("L.dat", "1\t" + longText + "\n2\tshort\n");
  void* handle = ::dlopen(folder.dir.file(kCatalogueComponent).c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_TRUE(handle);
  auto getMsg = reinterpret_cast<int (*)(int, char*, const char*)>(::dlsym(handle, "GetMSG"));
  ASSERT_TRUE(getMsg);
  char buffer[300];
  std::memset(buffer, 'X', sizeof buffer);
  const std::string path = folder.dir.file("L.dat");
  ASSERT_NE(getMsg(1, buffer, path.c_str()), 0);
  EXPECT_EQ(std::strlen(buffer), 254u);  // whole characters only, never past 255 bytes
  EXPECT_EQ(buffer[256], 'X');
  ASSERT_NE(getMsg(2, buffer, path.c_str()), 0);
  EXPECT_STREQ(buffer, "short");
  EXPECT_EQ(getMsg(3, buffer, path.c_str()), 0);
  EXPECT_EQ(getMsg(2, buffer, (path + ".missing").c_str()), 0);
  EXPECT_EQ(getMsg(2, nullptr, path.c_str()), 0);
  ::dlclose(handle);
}

TEST(CatalogueComponent, TheEnglishFileHoldsTheTextsTheWindowsShow) {
  InstallFolder folder;
  fs::copy_file(test::sourceDir() + "/resources/EnglishA.dat", folder.dir.file("EnglishA.dat"));
  MessageCatalogue catalogue(folder.path(), "EnglishA.dat");
  EXPECT_EQ(catalogue.lookup(56), "Quick ");
  EXPECT_EQ(catalogue.lookup(125),
            "Do not include \".\" (DOT) in extension. Enter extensions like this : tmp,html,bak etc..");
  EXPECT_EQ(catalogue.lookup(184), "Searching Lost Directories. Please Wait...");
  EXPECT_EQ(catalogue.lookup(120),
            "Error copying current file :\nThere may be bad sectors or error in file system or not "
            "enough space in destination.");
  EXPECT_EQ(catalogue.lookup(193), "Failed to create ");
  // Every number the start-up tables of the windows use has a text, but for the two
  // raw-recovery sector fields, whose edits keep what they hold.
  for (const auto& row : texts::kMainWindow) {
    if (row.message == 87 || row.message == 88) continue;
    EXPECT_NE(catalogue.lookup(row.message), "") << row.message;
  }
  for (const auto& row : texts::kSettings) EXPECT_NE(catalogue.lookup(row.message), "") << row.message;
  for (const auto& row : texts::kSaving) EXPECT_NE(catalogue.lookup(row.message), "") << row.message;
}

TEST(Configuration, LanguageChoiceAtStart) {
  EXPECT_EQ(chooseLanguageFile("GermanA.dat"), "GermanA.dat");
  EXPECT_EQ(chooseLanguageFile("germana.DAT"), "GermanA.dat");
  EXPECT_EQ(chooseLanguageFile("DUTCHA.DAT"), "DutchA.dat");
  EXPECT_EQ(chooseLanguageFile("FrenchW.dat"), "EnglishA.dat");
  EXPECT_EQ(chooseLanguageFile(""), "EnglishA.dat");
  EXPECT_EQ(chooseLanguageFile("../../etc/passwd"), "EnglishA.dat");
}

TEST(Configuration, StartUpReadsTheKeyOrEndsTheProgram) {
  test::TempDir dir;
  auto disk = std::make_shared<platform::MemoryDevice>(1);
  test::TestSession t(disk);
  t.session.registry = platform::Registry(dir.file("registry"));
  try {
    loadConfiguration(t.session);
    FAIL() << "a missing FilePath must end the program";
  } catch (const ProgramExit&) {
  }
  ASSERT_EQ(t.dialogs.messages.size(), 1u);
  EXPECT_EQ(t.dialogs.messages[0].text, "Tessaly is not installed properly");
  EXPECT_EQ(t.dialogs.messages[0].caption, "Tessaly - Kestrel");
  EXPECT_EQ(t.dialogs.messages[0].icon, MessageIcon::Error);

  InstallFolder folder;
  folder.language("FrenchA.dat", "115\tNom\n");
  ASSERT_TRUE(registerInstallFolder(t.session.registry, folder.path()));
  ASSERT_TRUE(storeLanguageSetting(t.session.registry, "frencha.dat"));
  loadConfiguration(t.session);
  EXPECT_EQ(t.session.installFolder, folder.path());
  EXPECT_EQ(t.session.messages->languageFile(), "FrenchA.dat");
  EXPECT_EQ(t.session.text(msg::kNameColumn), "Nom");
}

// The English language file and the message table say the same: every line of the file
// is the text of a table entry of its number.
TEST(MessageTable, EveryLineOfTheEnglishFileIsATextOfTheTable) {
  std::ifstream file(test::sourceDir() + "/resources/EnglishA.dat");
  ASSERT_TRUE(file);
  std::string line;
  int lines = 0;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    const auto tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    const int number = std::stoi(line.substr(0, tab));
    std::string text;
    for (std::size_t i = tab + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        const char next = line[++i];
        text += next == 'n' ? '\n' : next == 't' ? '\t' : next;
      } else {
        text += line[i];
      }
    }
    bool found = false;
    for (const Message& m : msg::kAll) found = found || (m.number == number && m.english == text);
    EXPECT_TRUE(found) << number << ": " << text;
    ++lines;
  }
  EXPECT_GT(lines, 100);
}

TEST(Configuration, ApplyDialogTextsReplacesOnlyFoundTexts) {
  InstallFolder folder;
  folder.language("EnglishA.dat", "174\tNochmal\n176\t\n");
  auto disk = std::make_shared<platform::MemoryDevice>(1);
  test::TestSession t(disk);
  t.session.messages = std::make_shared<MessageCatalogue>(folder.path(), "EnglishA.dat");
  std::map<int, std::string> controls{{1, "Retry"}, {1140, "Skip All"}, {1167, "prompt"}};
  applyDialogTexts(t.session, texts::kBadSector,
                   [&](int id, const std::string& text) { controls[id] = text; });
  EXPECT_EQ(controls[1], "Nochmal");
  EXPECT_EQ(controls[1140], "Skip All");
  EXPECT_EQ(controls[1167], "prompt");
}

}  // namespace
}  // namespace tessaly
