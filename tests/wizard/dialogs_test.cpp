// The real dialogs behind the Dialogs interface: a worker's question is shown on the
// interface thread while the worker waits, and each button gives its answer.
#include "wizard_fixture.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "wizard/dialogs.h"

namespace tessaly::wizard::test {
namespace {

// While the interface thread runs a dialog's own loop, this presses a button of the
// dialog (or closes it) once it is open, and can take its picture first.
class DialogPresser : public wxEvtHandler {
 public:
  DialogPresser(int buttonId, std::string screenshot = "")
      : buttonId_(buttonId), screenshot_(std::move(screenshot)) {
    timer_.SetOwner(this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { tick(); });
    timer_.Start(20);
  }
  std::string title, message;
  std::vector<std::string> buttons;

 private:
  void tick() {
    for (wxWindow* top : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<wxDialog*>(top);
      if (!dialog || !dialog->IsModal()) continue;
      // Give the dialog time to be drawn before it is read and pressed.
      if (++ticksOpen_ < 8) return;
      timer_.Stop();
      title = dialog->GetTitle().utf8_string();
      for (wxWindow* child : dialog->GetChildren()) {
        if (auto* button = dynamic_cast<wxButton*>(child))
          buttons.push_back(button->GetLabel().utf8_string());
        else if (auto* text = dynamic_cast<wxStaticText*>(child); text && message.empty()) {
          // The text as written, whatever lines the dialog wrapped it into.
          message = text->GetLabel().utf8_string();
          std::replace(message.begin(), message.end(), '\n', ' ');
        }
      }
      if (!screenshot_.empty()) save(dialog);
      if (buttonId_ == 0) {
        dialog->Close();
      } else {
        wxCommandEvent click(wxEVT_BUTTON, buttonId_);
        click.SetEventObject(dialog->FindWindow(buttonId_));
        dialog->FindWindow(buttonId_)->HandleWindowEvent(click);
      }
      return;
    }
  }
  void save(wxDialog* dialog) {
    dialog->Update();
    const wxSize size = dialog->GetClientSize();
    wxBitmap bitmap(size);
    {
      wxWindowDC source(dialog);
      wxMemoryDC memory(bitmap);
      memory.Blit(0, 0, size.x, size.y, &source, 0, 0);
    }
    std::filesystem::create_directories(TESSALY_SCREENSHOT_DIR);
    bitmap.SaveFile(wxString(TESSALY_SCREENSHOT_DIR) + "/" + screenshot_ + ".png",
                    wxBITMAP_TYPE_PNG);
  }
  int buttonId_;
  int ticksOpen_ = 0;
  std::string screenshot_;
  wxTimer timer_;
};

// Asks from a worker thread and pumps until the worker has its answer.
int askFromWorker(const std::function<int()>& ask) {
  std::atomic<int> answer{-1};
  std::thread worker([&] { answer = ask(); });
  const bool answered = pumpUntil([&] { return answer != -1; }, std::chrono::seconds(20));
  worker.join();
  EXPECT_TRUE(answered);
  return answer;
}

TEST_F(WizardTest, TheReplacePromptAskedByAWorkerAnswersYesToAll) {
  WxDialogs real;
  DialogPresser presser(1139, "7-replace-prompt");
  EXPECT_EQ(askFromWorker([&] { return static_cast<int>(real.askReplace("/tmp/recovered/REPORT.DOC")); }),
            static_cast<int>(ReplaceAnswer::YesToAll));
  EXPECT_EQ(presser.title, "Replace File Confirmation");
  EXPECT_EQ(presser.message, "The File Already Exists. Do you want to replace the existing file.");
  EXPECT_EQ(presser.buttons,
            (std::vector<std::string>{"&Yes", "&No", "Yes to &All", "No &to All"}));
}

TEST_F(WizardTest, TheBadSectorPromptClosedByItsCloseBoxAnswersSkip) {
  WxDialogs real;
  DialogPresser presser(0, "8-bad-sector-prompt");
  EXPECT_EQ(askFromWorker([&] { return static_cast<int>(real.askBadSector()); }),
            static_cast<int>(BadSectorAnswer::Skip));
  EXPECT_EQ(presser.title, "Bad Sector Encountered");
  EXPECT_EQ(presser.buttons,
            (std::vector<std::string>{"Retry", "Skip", "Retry All", "Skip All"}));
  DialogPresser retryAll(1139);
  EXPECT_EQ(askFromWorker([&] { return static_cast<int>(real.askBadSector()); }),
            static_cast<int>(BadSectorAnswer::RetryAll));
}

TEST_F(WizardTest, TheErrorWritingPromptAnswersAbortAndSkip) {
  WxDialogs real;
  {
    DialogPresser presser(1);
    EXPECT_EQ(askFromWorker([&] { return static_cast<int>(real.askErrorWriting("/full/disk/a.txt")); }),
              static_cast<int>(WriteErrorAnswer::Abort));
    EXPECT_EQ(presser.title, "Error Writing Destination");
    EXPECT_EQ(presser.buttons, (std::vector<std::string>{"&Abort", "&Skip"}));
  }
  DialogPresser skip(2);
  EXPECT_EQ(askFromWorker([&] { return static_cast<int>(real.askErrorWriting("/full/disk/b.txt")); }),
            static_cast<int>(WriteErrorAnswer::Skip));
}

TEST_F(WizardTest, AfterShutDownAWorkerGetsTheEscapeAnswerWithoutADialog) {
  WxDialogs real;
  real.shutDown();
  std::atomic<BadSectorAnswer> answer{BadSectorAnswer::RetryAll};
  std::thread worker([&] { answer = real.askBadSector(); });
  worker.join();  // no pumping: nothing is shown
  EXPECT_EQ(answer.load(), BadSectorAnswer::Skip);
  EXPECT_EQ(real.messageBox("?", "t", MessageButtons::YesNo, MessageIcon::Question), kIdNo);
}

}  // namespace
}  // namespace tessaly::wizard::test
