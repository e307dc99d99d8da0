#include "wizard/dialogs.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>

#include "config/configuration.h"
#include "config/messages.h"
#include "session/session.h"

namespace tessaly::wizard {

// ---------------------------------------------------------------- the prompts

PromptLayout badSectorPrompt() {
  PromptLayout layout;
  layout.title = "Bad Sector Encountered";
  layout.messageId = 1167;
  layout.message = "Encountered Bad Sector(s) while reading disk.";
  layout.buttons = {{1, "Retry"}, {2, "Skip"}, {1139, "Retry All"}, {1140, "Skip All"}};
  return layout;
}

PromptLayout replacePrompt(const std::string& path) {
  PromptLayout layout;
  layout.title = "Replace File Confirmation";
  layout.messageId = 1137;
  layout.message = "The File Already Exists. Do you want to replace the existing file.";
  layout.detail = path;
  layout.buttons = {{1, "&Yes"}, {2, "&No"}, {1139, "Yes to &All"}, {1138, "No &to All"}};
  return layout;
}

PromptLayout errorWritingPrompt(const std::string& path) {
  PromptLayout layout;
  layout.title = "Error Writing Destination";
  layout.messageId = 1148;
  layout.message =
      "Error copying current file :\nThere may be bad sectors or error in file system or not "
      "enough space in destination.";
  layout.detail = path;
  layout.buttons = {{1, "&Abort"}, {2, "&Skip"}};
  return layout;
}

int showPrompt(wxWindow* parent, const PromptLayout& layout) {
  wxDialog dialog(parent, wxID_ANY, wxString::FromUTF8(layout.title), wxDefaultPosition,
                  wxDefaultSize, wxCAPTION | wxCLOSE_BOX | wxSTAY_ON_TOP);
  auto* top = new wxBoxSizer(wxVERTICAL);
  auto* body = new wxBoxSizer(wxHORIZONTAL);
  body->Add(new wxStaticBitmap(&dialog, wxID_ANY,
                               wxArtProvider::GetBitmap(wxART_WARNING, wxART_MESSAGE_BOX)),
            0, wxALL | wxALIGN_TOP, dialog.FromDIP(12));
  auto* texts = new wxBoxSizer(wxVERTICAL);
  auto* message = new wxStaticText(&dialog, layout.messageId, wxString::FromUTF8(layout.message),
                                   wxDefaultPosition, wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL);
  message->Wrap(dialog.FromDIP(380));
  texts->Add(message, 0, wxALIGN_CENTRE_HORIZONTAL);
  if (!layout.detail.empty()) {
    auto* detail = new wxStaticText(&dialog, wxID_ANY, wxString::FromUTF8(layout.detail),
                                    wxDefaultPosition, wxDefaultSize,
                                    wxALIGN_CENTRE_HORIZONTAL | wxST_ELLIPSIZE_MIDDLE);
    detail->SetFont(detail->GetFont().Smaller());
    detail->SetMaxSize(wxSize(dialog.FromDIP(380), -1));
    texts->Add(detail, 0, wxTOP | wxEXPAND, dialog.FromDIP(8));
  }
  body->Add(texts, 1, wxTOP | wxBOTTOM | wxRIGHT | wxALIGN_CENTRE_VERTICAL, dialog.FromDIP(12));
  top->Add(body, 1, wxEXPAND);

  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->AddStretchSpacer();
  for (const auto& b : layout.buttons) {
    auto* button = new wxButton(&dialog, b.id, wxString::FromUTF8(b.label));
    if (b.id == layout.enterId) button->SetDefault();
    buttons->Add(button, 0, wxLEFT, dialog.FromDIP(6));
  }
  buttons->AddStretchSpacer();
  top->Add(buttons, 0, wxEXPAND | wxALL, dialog.FromDIP(10));
  dialog.SetSizerAndFit(top);
  dialog.SetEscapeId(layout.escapeId);
  dialog.SetAffirmativeId(layout.enterId);
  dialog.Bind(wxEVT_BUTTON, [&dialog](wxCommandEvent& e) { dialog.EndModal(e.GetId()); });
  dialog.Bind(wxEVT_CLOSE_WINDOW, [&dialog, &layout](wxCloseEvent&) {
    dialog.EndModal(layout.escapeId);
  });
  dialog.CentreOnParent();
  return dialog.ShowModal();
}

void showAboutBox(wxWindow* parent, const wxIcon& icon) {
  wxDialog dialog(parent, wxID_ANY, "About Tessaly");
  auto* top = new wxBoxSizer(wxVERTICAL);
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  if (icon.IsOk()) {
    wxBitmap bitmap;
    bitmap.CopyFromIcon(icon);
    row->Add(new wxStaticBitmap(&dialog, wxID_ANY, bitmap), 0, wxALL, dialog.FromDIP(12));
  }
  auto* texts = new wxBoxSizer(wxVERTICAL);
  auto* name = new wxStaticText(&dialog, wxID_ANY, "Tessaly");
  name->SetFont(name->GetFont().Bold().Scaled(1.6f));
  texts->Add(name);
  texts->Add(new wxStaticText(&dialog, wxID_ANY, "Version " TESSALY_VERSION), 0, wxTOP,
             dialog.FromDIP(4));
  texts->Add(new wxStaticText(&dialog, wxID_ANY,
                              "Finds the folders of FAT and NTFS disks and recovers\n"
                              "deleted files, reading the disk only."),
             0, wxTOP, dialog.FromDIP(10));
  row->Add(texts, 1, wxTOP | wxRIGHT | wxBOTTOM, dialog.FromDIP(12));
  top->Add(row);
  top->Add(dialog.CreateStdDialogButtonSizer(wxOK), 0, wxEXPAND | wxALL, dialog.FromDIP(10));
  dialog.SetSizerAndFit(top);
  dialog.CentreOnParent();
  dialog.ShowModal();
}

// ---------------------------------------------------------------- WxDialogs

int WxDialogs::onInterfaceThread(const std::function<int()>& ask, int fallback) {
  if (wxIsMainThread()) {
    {
      std::lock_guard lock(mutex_);
      if (shutDown_) return fallback;
    }
    return ask();
  }
  auto request = std::make_shared<Request>();
  int answer = fallback;
  request->run = [&answer, &ask] { answer = ask(); };
  std::unique_lock lock(mutex_);
  if (shutDown_) return fallback;
  requests_.push_back(request);
  lock.unlock();
  wxTheApp->CallAfter([this] { serviceRequests(); });
  lock.lock();
  answered_.wait(lock, [&] { return request->done; });
  return answer;
}

void WxDialogs::serviceRequests() {
  for (;;) {
    std::shared_ptr<Request> request;
    {
      std::lock_guard lock(mutex_);
      if (requests_.empty()) return;
      request = requests_.front();
      requests_.pop_front();
    }
    request->run();
    {
      std::lock_guard lock(mutex_);
      request->done = true;
    }
    answered_.notify_all();
  }
}

void WxDialogs::shutDown() {
  std::deque<std::shared_ptr<Request>> waiting;
  {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    waiting.swap(requests_);
    // Questions nobody will show: their askers take the fallback they started with.
    for (auto& request : waiting) request->done = true;
  }
  answered_.notify_all();
}

int WxDialogs::messageBox(const std::string& text, const std::string& caption,
                          MessageButtons buttons, MessageIcon icon) {
  const int fallback = buttons == MessageButtons::YesNo ? kIdNo : kIdOk;
  return onInterfaceThread(
      [&] {
        long style = wxSTAY_ON_TOP | (buttons == MessageButtons::YesNo ? wxYES_NO : wxOK);
        switch (icon) {
          case MessageIcon::Error: style |= wxICON_ERROR; break;
          case MessageIcon::Question: style |= wxICON_QUESTION; break;
          case MessageIcon::Information: style |= wxICON_INFORMATION; break;
          case MessageIcon::Warning: style |= wxICON_WARNING; break;
          case MessageIcon::None: style |= wxICON_NONE; break;
        }
        wxMessageDialog dialog(wxTheApp->GetTopWindow(), wxString::FromUTF8(text),
                               wxString::FromUTF8(caption), style);
        switch (dialog.ShowModal()) {
          case wxID_YES: return kIdYes;
          case wxID_OK: return kIdOk;
          default: return buttons == MessageButtons::YesNo ? kIdNo : kIdOk;
        }
      },
      fallback);
}

int WxDialogs::prompt(PromptLayout layout, const std::pair<int, int>* answers, std::size_t count,
                      int fallback) {
  return onInterfaceThread(
      [&] {
        if (session_) {
          std::span<const TextBinding> table;
          if (layout.messageId == 1167)
            table = texts::kBadSector;
          else if (layout.messageId == 1137)
            table = texts::kReplaceFile;
          else
            table = texts::kErrorWriting;
          applyDialogTexts(*session_, table, [&layout](int controlId, const std::string& text) {
            if (controlId == layout.messageId) layout.message = text;
            for (auto& b : layout.buttons)
              if (b.id == controlId) b.label = text;
          });
        }
        const int pressed = showPrompt(wxTheApp->GetTopWindow(), layout);
        for (std::size_t i = 0; i < count; ++i)
          if (answers[i].first == pressed) return answers[i].second;
        return fallback;
      },
      fallback);
}

// The prompts' answers by the button pressed; the values are the answers' positions.
BadSectorAnswer WxDialogs::askBadSector() {
  using A = BadSectorAnswer;
  static constexpr std::pair<int, int> answers[] = {{1, static_cast<int>(A::Retry)},
                                                    {2, static_cast<int>(A::Skip)},
                                                    {1139, static_cast<int>(A::RetryAll)},
                                                    {1140, static_cast<int>(A::SkipAll)}};
  return static_cast<A>(prompt(badSectorPrompt(), answers, std::size(answers), static_cast<int>(A::Skip)));
}

ReplaceAnswer WxDialogs::askReplace(const std::string& path) {
  using A = ReplaceAnswer;
  static constexpr std::pair<int, int> answers[] = {{1, static_cast<int>(A::Yes)},
                                                    {2, static_cast<int>(A::No)},
                                                    {1139, static_cast<int>(A::YesToAll)},
                                                    {1138, static_cast<int>(A::NoToAll)}};
  return static_cast<A>(prompt(replacePrompt(path), answers, std::size(answers), static_cast<int>(A::No)));
}

WriteErrorAnswer WxDialogs::askErrorWriting(const std::string& path) {
  using A = WriteErrorAnswer;
  static constexpr std::pair<int, int> answers[] = {{1, static_cast<int>(A::Abort)}, {2, static_cast<int>(A::Skip)}};
  return static_cast<A>(prompt(errorWritingPrompt(path), answers, std::size(answers), static_cast<int>(A::Skip)));
}

std::optional<std::string> WxDialogs::chooseFolder(const std::string& start) {
  std::optional<std::string> chosen;
  onInterfaceThread(
      [&] {
        wxDirDialog dialog(wxTheApp->GetTopWindow(), "", wxString::FromUTF8(start),
                           wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
        if (dialog.ShowModal() == wxID_OK) chosen = dialog.GetPath().utf8_string();
        return 0;
      },
      0);
  return chosen;
}

namespace {

// The pattern in both letter cases, so that "case1.sav" and "CASE1.SAV" are both shown.
wxString wildcardOf(const std::string& filter) {
  const wxString pattern = wxString::FromUTF8(filter);
  return pattern + "|" + pattern + ";" + pattern.Lower();
}

}  // namespace

std::optional<std::string> WxDialogs::chooseSaveFile(const std::string& where, const std::string& filter) {
  std::optional<std::string> chosen;
  onInterfaceThread(
      [&] {
        wxFileDialog dialog(wxTheApp->GetTopWindow(), "", wxString::FromUTF8(where), "", wildcardOf(filter),
                            wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (dialog.ShowModal() == wxID_OK) chosen = dialog.GetPath().utf8_string();
        return 0;
      },
      0);
  return chosen;
}

std::optional<std::string> WxDialogs::chooseOpenFile(const std::string& where, const std::string& filter) {
  std::optional<std::string> chosen;
  onInterfaceThread(
      [&] {
        wxFileDialog dialog(wxTheApp->GetTopWindow(), "", wxString::FromUTF8(where), "", wildcardOf(filter),
                            wxFD_OPEN | wxFD_FILE_MUST_EXIST | wxFD_MULTIPLE);
        if (dialog.ShowModal() != wxID_OK) return 0;
        // Of several files chosen, the last one is taken.
        wxArrayString paths;
        dialog.GetPaths(paths);
        if (!paths.empty()) chosen = paths.Last().utf8_string();
        return 0;
      },
      0);
  return chosen;
}

}  // namespace tessaly::wizard
