// The language files as written and as laid out in the installation folder: each one
// has the English file's messages in its order, keeps what the controls rely on, and
// reads back whole through the catalogue component.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <span>
#include <utility>
#include <vector>

#include "config/configuration.h"
#include "config/messages.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using Messages = std::vector<std::pair<int, std::string>>;  // texts as written, escapes included

Messages read(const std::string& path) {
  Messages messages;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const auto tab = line.find('\t');
    messages.emplace_back(std::stoi(line.substr(0, tab)), line.substr(tab + 1));
  }
  return messages;
}

std::size_t leadingBlanks(const std::string& s) {
  return s.find_first_not_of(' ') == std::string::npos ? s.size() : s.find_first_not_of(' ');
}
std::size_t trailingBlanks(const std::string& s) {
  return s.size() - 1 - s.find_last_not_of(' ');
}
std::string escapes(const std::string& s) {
  std::string found;
  for (std::size_t i = 0; i + 1 < s.size(); ++i)
    if (s[i] == '\\') found += s[++i];
  return found;
}
std::string unescaped(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char c = s[++i];
      out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    } else {
      out += s[i];
    }
  }
  return out;
}
// The access key of a label, lower case; 0 when it has none.
char accessKey(const std::string& s) {
  const auto amp = s.find('&');
  return amp == std::string::npos || amp + 1 == s.size()
             ? 0
             : static_cast<char>(std::tolower(static_cast<unsigned char>(s[amp + 1])));
}

class LanguageFile : public ::testing::TestWithParam<const char*> {};

TEST_P(LanguageFile, HasEveryEnglishMessageWithItsLayout) {
  const std::string language = GetParam();
  const Messages english = read(test::sourceDir() + "/resources/EnglishA.dat");
  const Messages translated = read(test::sourceDir() + "/resources/" + language + "A.dat");
  ASSERT_GT(english.size(), 100u);
  std::vector<int> englishNumbers, numbers;
  for (const auto& m : english) englishNumbers.push_back(m.first);
  for (const auto& m : translated) numbers.push_back(m.first);
  ASSERT_EQ(numbers, englishNumbers);

  // Both files the installation folder holds for the language, read by the component.
  MessageCatalogue a(test::stageDir(), language + "A.dat");
  MessageCatalogue w(test::stageDir(), language + "W.dat");
  for (std::size_t i = 0; i < english.size(); ++i) {
    const auto& [number, text] = translated[i];
    const std::string& source = english[i].second;
    EXPECT_EQ(leadingBlanks(text), leadingBlanks(source)) << number;
    EXPECT_EQ(trailingBlanks(text), trailingBlanks(source)) << number;
    EXPECT_EQ(std::count(text.begin(), text.end(), '&'),
              std::count(source.begin(), source.end(), '&'))
        << number;
    EXPECT_EQ(escapes(text), escapes(source)) << number;
    EXPECT_EQ(text.find("Tessaly") != std::string::npos,
              source.find("Tessaly") != std::string::npos)
        << number;
    // A text longer than the component's buffer would come back cut.
    EXPECT_EQ(a.lookup(number), unescaped(text)) << number;
    EXPECT_EQ(w.lookup(number), unescaped(text)) << number;
  }

  // The labels of one window or dialog have access keys of their own. (In English the
  // Saving dialog's Stop and Skip share theirs, as their texts stand.)
  if (language == "English") return;
  const std::pair<const char*, std::span<const TextBinding>> windows[] = {
      {"main window", texts::kMainWindow},
      {"bad sector", texts::kBadSector},
      {"replace file", texts::kReplaceFile},
      {"error writing", texts::kErrorWriting},
      {"calculating", texts::kCalculatingSize},
      {"log file", texts::kLogFileSelection},
      {"file saving", texts::kFileSaving},
      {"saving", texts::kSaving},
      {"settings", texts::kSettings}};
  for (const auto& [name, table] : windows) {
    std::set<char> keys;
    for (const TextBinding& row : table) {
      const char key = accessKey(a.text(row.message, ""));
      if (key == 0) continue;
      EXPECT_TRUE(keys.insert(key).second)
          << name << ": message " << row.message << " repeats key " << key;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageFile,
                         ::testing::Values("English", "French", "Dutch", "German"),
                         [](const ::testing::TestParamInfo<const char*>& language) {
                           return std::string(language.param);
                         });

}  // namespace
}  // namespace tessaly
