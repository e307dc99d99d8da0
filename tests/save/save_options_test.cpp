#include "save/save_options.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(SaveSettings, OpeningTakesDeletedFilesOnlyAndSetsTheDateLists) {
  SaveOptions options;
  EXPECT_EQ(options.deletedFilter, DeletedFilter::All);  // a program that never opened the dialog saves all files
  EXPECT_FALSE(options.dateFilterActive());
  SaveSettings settings(options);
  settings.positions()[3] = 14;  // After day "15"
  settings.open();
  EXPECT_EQ(options.deletedFilter, DeletedFilter::DeletedOnly);
  EXPECT_EQ(settings.positions()[0], 30);
  EXPECT_EQ(settings.positions()[1], 11);
  EXPECT_EQ(settings.positions()[2], 60);
  EXPECT_EQ(settings.positions()[3], 0);  // shows "01" again
  settings.cancel();
  EXPECT_EQ(options.deletedFilter, DeletedFilter::DeletedOnly);  // Cancel restores what the opening set
  settings.apply();
  EXPECT_EQ(options.earlierDate.year, 2030);
  EXPECT_EQ(options.earlierDate.month, 12);
  EXPECT_EQ(options.earlierDate.day, 31);
  EXPECT_EQ(options.afterDate.year, 1970);
  EXPECT_TRUE(options.dateFilterActive());
}

TEST(SaveSettings, AddRefusesWhatTheRulesRefuse) {
  SaveOptions options;
  SaveSettings settings(options);
  settings.open();
  EXPECT_FALSE(settings.add("jpeg"));
  auto message = [&](const std::string& text) {
    auto refusal = settings.add(text);
    return refusal ? (refusal->message ? refusal->message->number : 0) : -1;
  };
  EXPECT_EQ(message("jpeg1"), 178);
  EXPECT_EQ(message(" doc"), 179);
  EXPECT_EQ(message("d.c"), 125);
  EXPECT_EQ(message("*"), 180);
  EXPECT_EQ(message(""), 0);
  EXPECT_FALSE(settings.add("doc"));
  EXPECT_EQ(message("doc"), 126);
  EXPECT_FALSE(settings.add("Doc"));
  EXPECT_EQ(settings.listBox(), (std::vector<std::string>{"Doc", "doc", "jpeg"}));
  // The first extension of an empty list counts at once; the others wait for Apply.
  EXPECT_EQ(options.extensionList, (std::vector<std::string>{"jpeg"}));
  settings.apply();
  EXPECT_EQ(options.extensionList, (std::vector<std::string>{"jpeg", "doc", "Doc"}));
  EXPECT_TRUE(options.extensionPasses("REPORT.DOC"));
  EXPECT_TRUE(options.extensionPasses("DOC"));
  EXPECT_FALSE(options.extensionPasses("REPORT.DOCX"));
}

TEST(SaveSettings, TheHundredthExtensionIsTheLast) {
  for (bool applyFirst : {true, false}) {
    SaveOptions options;
    SaveSettings settings(options);
    settings.open();
    for (int i = 0; i < 100; ++i) ASSERT_FALSE(settings.add("e" + std::to_string(i))) << i;
    if (applyFirst) settings.apply();
    auto refusal = settings.add("more");
    ASSERT_TRUE(refusal);
    ASSERT_TRUE(refusal->message);
    EXPECT_EQ(refusal->message->english, "Cannot add more extensions");
  }
}

TEST(SaveSettings, CancelUndoesAddsAndRemoves) {
  SaveOptions options;
  SaveSettings settings(options);
  settings.open();
  settings.add("txt");
  settings.cancel();
  EXPECT_TRUE(options.extensionList.empty());

  settings.open();
  settings.add("txt");
  settings.add("doc");
  settings.apply();
  settings.open();
  settings.remove(0);  // "doc", the top entry
  EXPECT_EQ(options.extensionList, (std::vector<std::string>{"txt"}));
  settings.setSavingMode(SavingMode::Contiguous);
  settings.cancel();
  EXPECT_EQ(options.extensionList, (std::vector<std::string>{"txt", "doc"}));
  EXPECT_EQ(options.savingMode, SavingMode::Auto);
}

TEST(SaveSettings, DatesOnTheThirtyDayScale) {
  SaveOptions options;
  options.earlierDate = {10, 5, 2004};
  options.afterDate = {1, 1, 2004};
  EXPECT_TRUE(options.datePasses({3, 3, 2004}));
  EXPECT_FALSE(options.datePasses({11, 5, 2004}));
  EXPECT_TRUE(options.datePasses({10, 5, 2004}));
  EXPECT_FALSE(options.datePasses({31, 12, 2003}));
  EXPECT_EQ(parseSaveDate("15-06-2005")->month, 6);
  EXPECT_FALSE(parseSaveDate("32-01-2005"));
  EXPECT_FALSE(parseSaveDate("01-01-2031"));
  EXPECT_FALSE(parseSaveDate("1-1-2005"));
}

}  // namespace
}  // namespace tessaly
