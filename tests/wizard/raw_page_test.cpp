// The raw recovery page: its range checks, the carving of the checked types into the
// destination, and Stop with its question.
#include "wizard_fixture.h"

#include <filesystem>
#include <thread>

#include "wizard/artwork.h"
#include "wizard/save_dialogs.h"

namespace tessaly::wizard::test {
namespace {

namespace fs = std::filesystem;
namespace wid = wizard::id;

class RawPageTest : public WizardTest {
 protected:
  std::string disk = carvingDisk(home);
  std::string out = home.file("carved");

  void toRawPage() {
    ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
    ASSERT_TRUE(click(wid::kRaw));
    ASSERT_TRUE(click(wid::kNext));
    onDialog = [this](wxDialog& d, int number) {
      if (number != dialog::kFileSaving) return;
      type(d, dialog::id::kPath, out);
      EXPECT_TRUE(press(d, dialog::id::kOk));
    };
  }
  void check(int item) {
    auto* types = static_cast<wxCheckListBox*>(window->control(wid::kRawFileTypes));
    types->Check(static_cast<unsigned>(item));
    wxCommandEvent event(wxEVT_CHECKLISTBOX, wid::kRawFileTypes);
    event.SetInt(item);
    types->HandleWindowEvent(event);
  }
  void range(const std::string& start, const std::string& end) {
    static_cast<wxTextCtrl*>(window->control(wid::kRawStart))->ChangeValue(start);
    static_cast<wxTextCtrl*>(window->control(wid::kRawEnd))->ChangeValue(end);
  }
  std::vector<std::string> carved() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(RawPageTest, ChecksTheRangeThenCarvesTheCheckedTypesIntoTheDestination) {
  ASSERT_FALSE(open({disk}).has_value());
  toRawPage();
  EXPECT_EQ(window->wizardPage(), WizardPage::Partition);
  EXPECT_EQ(window->stepPicture(), artwork::kStep4Raw);
  EXPECT_FALSE(enabled(wid::kNext));
  EXPECT_FALSE(enabled(wid::kRawStart));  // the entire disk is searched
  ASSERT_TRUE(click(wid::kStartRecovery));
  EXPECT_EQ(messages().back(), "Please select file type for recovery");

  check(0);
  check(3);
  EXPECT_EQ(window->stepPicture(), artwork::kStep5Raw);
  ASSERT_TRUE(click(wid::kRawSectorRange));
  EXPECT_EQ(text(wid::kRawStart), "0");
  EXPECT_EQ(text(wid::kRawEnd), "16384");  // the disk's sector count
  // The messages' texts are the language file's ("Invalid End Sector" without one); an
  // end that is no number gets the disk's sector count back.
  range("100", "");
  ASSERT_TRUE(click(wid::kStartRecovery));
  EXPECT_EQ(messages().back(), "End sector is not valid");
  EXPECT_EQ(text(wid::kRawEnd), "16384");
  EXPECT_FALSE(fs::exists(out));

  range("100", "16384");
  ASSERT_TRUE(click(wid::kStartRecovery));
  ASSERT_TRUE(pumpUntil([&] { return !window->rawRunning(); }));
  // The document and the archive right behind it, whole; the spreadsheet was not asked for.
  EXPECT_EQ(carved(), (std::vector<std::string>{"DOC0.DOC", "ZIP1.ZIP"}));
  EXPECT_EQ(readFile(out + "/ZIP1.ZIP"), readFile(sourceDir() + "/tests/data/raw/comment.zip"));
  EXPECT_EQ(text(wid::kStartRecovery), "S&tart Recovery");
  EXPECT_TRUE(enabled(wid::kRawFileTypes) && enabled(wid::kBack));
}

TEST_F(RawPageTest, StopAsksAndYesEndsTheSearchWhereItStands) {
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(disk), 10340, 16384);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({disk}).has_value());
  toRawPage();
  for (int item : {0, 1, 3}) check(item);
  ASSERT_TRUE(click(wid::kStartRecovery));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));
  EXPECT_EQ(text(wid::kStartRecovery), "Sto&p Recovery");
  EXPECT_FALSE(enabled(wid::kBack));

  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kStartRecovery));
  EXPECT_EQ(messages().back(), "Do you want to terminate this process?");
  EXPECT_TRUE(window->rawRunning());

  dialogs.messageAnswers = {kIdYes};
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    hold->release();
  });
  ASSERT_TRUE(click(wid::kStartRecovery));
  release.join();
  EXPECT_FALSE(window->rawRunning());
  // What was written before the stop stays; nothing after it was begun.
  EXPECT_EQ(carved(), std::vector<std::string>{"DOC0.DOC"});
  EXPECT_EQ(text(wid::kStartRecovery), "S&tart Recovery");
  EXPECT_EQ(window->fileListControl().IsShown(), false);
  EXPECT_EQ(static_cast<wxListCtrl*>(window->control(wid::kRawFilesRecovered))->GetItemCount(), 0);
}

}  // namespace
}  // namespace tessaly::wizard::test
