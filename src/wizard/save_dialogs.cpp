#include "wizard/save_dialogs.h"

#include "save/destination_check.h"
#include "save/save_walks.h"
#include "wizard/ids.h"
#include "wizard/widgets.h"

namespace tessaly::wizard {

namespace {

constexpr const char* kStopQuestion = "Are you sure you want to stop current process.";

// The spacing of the dialogs' layouts, in dialog units.
int gap(wxWindow& w, int dlu = 4) { return w.ConvertDialogToPixels(wxSize(dlu, 0)).x; }

wxStaticText* label(wxWindow* parent, int id, const char* text) {
  return new wxStaticText(parent, id, wxString::FromUTF8(text));
}

// A field the engines fill: a bold value that keeps its width and shortens long texts.
wxStaticText* field(wxWindow* parent, int id, int widthDlu, wxEllipsizeMode ellipsize = wxELLIPSIZE_MIDDLE,
                    long align = 0) {
  long style = wxST_NO_AUTORESIZE | align;
  if (ellipsize == wxELLIPSIZE_MIDDLE) style |= wxST_ELLIPSIZE_MIDDLE;
  if (ellipsize == wxELLIPSIZE_START) style |= wxST_ELLIPSIZE_START;
  auto* text = new wxStaticText(parent, id, "", wxDefaultPosition, wxDefaultSize, style);
  text->SetFont(text->GetFont().Bold());
  text->SetMinSize(wxSize(parent->ConvertDialogToPixels(wxSize(widthDlu, 0)).x, -1));
  return text;
}

// Every dialog here tells its host once it is open. The call waits in the dialog's own
// queue, which a dialog that goes away empties.
void readyWhenShown(wxDialog& dialog, DialogHost& host, int templateNumber) {
  dialog.CallAfter([&dialog, &host, templateNumber] { host.dialogReady(dialog, templateNumber); });
}

}  // namespace

void applyCatalogueTexts(wxWindow& dialog, const Session& session, std::span<const TextBinding> table,
                         const std::string& labelSuffix) {
  applyDialogTexts(session, table, [&](int id, const std::string& text) {
    wxWindow* control = dialog.FindWindow(id);
    if (!control) return;
    const bool isLabel = dynamic_cast<wxStaticText*>(control) != nullptr;
    control->SetLabel(wxString::FromUTF8(isLabel ? text + labelSuffix : text));
  });
}

// ------------------------------------------------------------------ Settings

namespace {

const int kDateIds[6] = {dialog::id::kEarlierDay, dialog::id::kEarlierMonth, dialog::id::kEarlierYear,
                         dialog::id::kAfterDay,   dialog::id::kAfterMonth,   dialog::id::kAfterYear};

wxChoice* dateList(wxWindow* parent, int id, int first, int count, int digits) {
  wxArrayString entries;
  for (int i = 0; i < count; ++i) entries.Add(wxString::Format("%0*d", digits, first + i));
  return new wxChoice(parent, id, wxDefaultPosition, wxDefaultSize, entries);
}

}  // namespace

SettingsDialog::SettingsDialog(wxWindow* parent, Session& session, SaveSettings& settings, DialogHost& host)
    : wxDialog(parent, wxID_ANY, "Settings", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxCLOSE_BOX | wxSYSTEM_MENU),
      session_(session),
      settings_(settings),
      host_(host) {
  namespace d = dialog::id;
  const int g = gap(*this);
  auto* columns = new wxBoxSizer(wxHORIZONTAL);
  auto* left = new wxBoxSizer(wxVERTICAL);

  // Which files: deleted or not.
  auto* deletedBox = new wxBoxSizer(wxVERTICAL);
  deletedBox->Add(new wxRadioButton(this, d::kIncludeDeleted, "Include Deleted File(s)", wxDefaultPosition,
                                    wxDefaultSize, wxRB_GROUP));
  deletedBox->Add(new wxRadioButton(this, d::kExcludeDeleted, "Exclude Deleted File(s)"), 0, wxTOP, g / 2);
  deletedBox->Add(new wxRadioButton(this, d::kDeletedOnly, "Save Deleted Files only"), 0, wxTOP, g / 2);
  left->Add(deletedBox, 0, wxBOTTOM, g);

  // The date window.
  auto* dates = new wxStaticBoxSizer(new wxStaticBox(this, d::kFileUpdatedBox, "File Updated"), wxVERTICAL);
  wxWindow* datesParent = dates->GetStaticBox();
  auto* grid = new wxFlexGridSizer(4, g / 2, g);
  grid->AddSpacer(0);
  for (const char* heading : {"DD", "MM", "YYYY"}) grid->Add(label(datesParent, wxID_ANY, heading), 0, wxALIGN_CENTRE);
  grid->Add(label(datesParent, d::kEarlierLabel, "Earlier"), 0, wxALIGN_CENTRE_VERTICAL);
  dates_[0] = dateList(datesParent, d::kEarlierDay, 1, SaveSettings::kDays, 2);
  dates_[1] = dateList(datesParent, d::kEarlierMonth, 1, SaveSettings::kMonths, 2);
  dates_[2] = dateList(datesParent, d::kEarlierYear, SaveSettings::kFirstYear, SaveSettings::kYears, 4);
  for (int i = 0; i < 3; ++i) grid->Add(dates_[i]);
  grid->Add(label(datesParent, d::kAfterLabel, "After"), 0, wxALIGN_CENTRE_VERTICAL);
  dates_[3] = dateList(datesParent, d::kAfterDay, 1, SaveSettings::kDays, 2);
  dates_[4] = dateList(datesParent, d::kAfterMonth, 1, SaveSettings::kMonths, 2);
  dates_[5] = dateList(datesParent, d::kAfterYear, SaveSettings::kFirstYear, SaveSettings::kYears, 4);
  for (int i = 3; i < 6; ++i) grid->Add(dates_[i]);
  dates->Add(grid, 0, wxALL, g);
  left->Add(dates, 0, wxEXPAND | wxBOTTOM, g);

  // How the data of a FAT file are found.
  auto* mode = new wxStaticBoxSizer(new wxStaticBox(this, d::kSavingModeBox, "Saving Mode"), wxHORIZONTAL);
  wxWindow* modeParent = mode->GetStaticBox();
  mode->Add(new wxRadioButton(modeParent, d::kAuto, "Auto", wxDefaultPosition, wxDefaultSize, wxRB_GROUP), 0,
            wxALL, g);
  mode->Add(new wxRadioButton(modeParent, d::kFat1, "FAT1 "), 0, wxALL, g);
  mode->Add(new wxRadioButton(modeParent, d::kFat2, "FAT2"), 0, wxALL, g);
  mode->Add(new wxRadioButton(modeParent, d::kContiguous, "Contigious"), 0, wxALL, g);
  mode->Add(new wxRadioButton(modeParent, d::kFreeClusters, "Free clusters"), 0, wxALL, g);
  left->Add(mode, 0, wxEXPAND | wxBOTTOM, g);

  // Which rows of the file list.
  auto* selection = new wxBoxSizer(wxVERTICAL);
  selection->Add(new wxRadioButton(this, d::kSaveSelected, "Save Selected File(s)", wxDefaultPosition,
                                   wxDefaultSize, wxRB_GROUP));
  selection->Add(new wxRadioButton(this, d::kSaveAll, "Save all File(s)"), 0, wxTOP, g / 2);
  selection->Add(new wxRadioButton(this, d::kInvertSelection, "Invert Selection"), 0, wxTOP, g / 2);
  left->Add(selection);
  // NTFS: each saved file's named streams beside it.
  left->Add(new wxCheckBox(this, d::kStreams, "Save named streams (NTFS) as NAME:STREAM"), 0, wxTOP, g);
  columns->Add(left, 0, wxALL, 2 * g);

  // The extension list.
  auto* extensions = new wxStaticBoxSizer(
      new wxStaticBox(this, d::kExtensionsBox, "Select Extensions ( Ex:- DOC,  XLS)"), wxVERTICAL);
  wxWindow* extParent = extensions->GetStaticBox();
  auto* addRow = new wxBoxSizer(wxHORIZONTAL);
  edit_ = new wxTextCtrl(extParent, d::kExtensionEdit, "", wxDefaultPosition, wxDefaultSize, wxTE_PROCESS_ENTER);
  edit_->SetMaxLength(39);
  addRow->Add(edit_, 1, wxALIGN_CENTRE_VERTICAL);
  addRow->Add(new wxButton(extParent, d::kAdd, "&Add "), 0, wxLEFT, g);
  extensions->Add(addRow, 0, wxEXPAND | wxALL, g);
  list_ = new wxListBox(extParent, d::kExtensionList, wxDefaultPosition,
                        ConvertDialogToPixels(wxSize(110, 90)));
  extensions->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, g);
  removeButton_ = new wxButton(extParent, d::kRemove, "&Remove");
  extensions->Add(removeButton_, 0, wxALIGN_RIGHT | wxALL, g);
  columns->Add(extensions, 1, wxEXPAND | wxTOP | wxBOTTOM | wxRIGHT, 2 * g);

  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(columns, 1, wxEXPAND);
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->AddStretchSpacer();
  auto* applyButton = new wxButton(this, d::kOk, "&Apply");
  applyButton->SetDefault();
  buttons->Add(applyButton);
  buttons->Add(new wxButton(this, d::kCancel, "Cancel"), 0, wxLEFT, g);
  top->Add(new wxStaticLine(this), 0, wxEXPAND | wxLEFT | wxRIGHT, 2 * g);
  top->Add(buttons, 0, wxEXPAND | wxALL, 2 * g);
  SetSizerAndFit(top);

  // Opening: the rules' own state, then the controls from it.
  settings_.open();
  fillListBox();
  static_cast<wxRadioButton*>(FindWindow(d::kDeletedOnly))->SetValue(true);
  for (int id : {d::kIncludeDeleted, d::kExcludeDeleted, d::kDeletedOnly, d::kFat1, d::kFat2})
    FindWindow(id)->Disable();
  const int selectionIds[] = {d::kSaveSelected, d::kSaveAll, d::kInvertSelection};
  static_cast<wxRadioButton*>(FindWindow(selectionIds[static_cast<int>(settings_.options().selectionMode)]))
      ->SetValue(true);
  for (int i = 0; i < 6; ++i) dates_[i]->SetSelection(settings_.positions()[static_cast<std::size_t>(i)]);
  const int modeIds[] = {d::kAuto, d::kFat1, d::kFat2, d::kContiguous, d::kFreeClusters};
  static_cast<wxRadioButton*>(FindWindow(modeIds[static_cast<int>(settings_.options().savingMode)]))->SetValue(true);
  static_cast<wxCheckBox*>(FindWindow(d::kStreams))->SetValue(settings_.options().streams);
  applyCatalogueTexts(*this, session_, texts::kSettings);
  Layout();
  GetSizer()->SetSizeHints(this);

  SetEscapeId(d::kCancel);
  Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent& e) { radio(e.GetId()); });
  Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& e) { settings_.setStreams(e.IsChecked()); }, d::kStreams);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) {
    switch (e.GetId()) {
      case dialog::id::kAdd: add(); break;
      case dialog::id::kRemove: remove(); break;
      case dialog::id::kOk: apply(); break;
      case dialog::id::kCancel: cancel(); break;
      default: e.Skip();
    }
  });
  edit_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { add(); });
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { cancel(); });
  CentreOnParent();
  readyWhenShown(*this, host_, dialog::kSettings);
}

void SettingsDialog::fillListBox() {
  list_->Clear();
  for (const std::string& entry : settings_.listBox()) list_->Append(wxString::FromUTF8(entry));
}

void SettingsDialog::radio(int id) {
  namespace d = dialog::id;
  switch (id) {
    case d::kIncludeDeleted: settings_.setDeletedFilter(DeletedFilter::All); break;
    case d::kExcludeDeleted: settings_.setDeletedFilter(DeletedFilter::ExcludeDeleted); break;
    case d::kDeletedOnly: settings_.setDeletedFilter(DeletedFilter::DeletedOnly); break;
    case d::kAuto: settings_.setSavingMode(SavingMode::Auto); break;
    case d::kFat1: settings_.setSavingMode(SavingMode::Fat1); break;
    case d::kFat2: settings_.setSavingMode(SavingMode::Fat2); break;
    case d::kContiguous: settings_.setSavingMode(SavingMode::Contiguous); break;
    case d::kFreeClusters: settings_.setSavingMode(SavingMode::FreeClusters); break;
    case d::kSaveSelected: settings_.setSelectionMode(SelectionMode::Selected); break;
    case d::kSaveAll: settings_.setSelectionMode(SelectionMode::All); break;
    case d::kInvertSelection: settings_.setSelectionMode(SelectionMode::NotSelected); break;
    default: break;
  }
}

void SettingsDialog::add() {
  const auto refusal = settings_.add(edit_->GetValue().utf8_string());
  if (refusal) {
    // An empty edit does nothing; every other refusal says why and keeps the text.
    if (!refusal->message) return;
    session_.messageBox(session_.text(*refusal->message), MessageButtons::Ok,
                        refusal->errorIcon ? MessageIcon::Error : MessageIcon::None);
    return;
  }
  fillListBox();
  edit_->Clear();
  edit_->SetFocus();
  removeButton_->Enable();
  list_->SetSelection(0);
}

void SettingsDialog::remove() {
  if (list_->IsEmpty()) {
    removeButton_->Disable();
    return;
  }
  const int row = list_->GetSelection();
  if (row == wxNOT_FOUND) return;
  settings_.remove(static_cast<std::size_t>(row));
  fillListBox();
  if (!list_->IsEmpty()) list_->SetSelection(0);
}

void SettingsDialog::apply() {
  for (std::size_t i = 0; i < 6; ++i) settings_.positions()[i] = std::max(0, dates_[i]->GetSelection());
  settings_.apply();
  EndModal(dialog::id::kOk);
}

void SettingsDialog::cancel() {
  settings_.cancel();
  if (IsModal()) EndModal(dialog::id::kCancel);
}

// ------------------------------------------------------------------ File Saving

FileSavingDialog::FileSavingDialog(wxWindow* parent, Session& session, DialogHost& host, std::string& destination,
                                   bool settingsEnabled, std::function<void(wxWindow*)> openSettings)
    : wxDialog(parent, wxID_ANY, "File Saving", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxCLOSE_BOX | wxSYSTEM_MENU),
      session_(session),
      host_(host),
      destination_(destination),
      settingsEnabled_(settingsEnabled),
      openSettings_(std::move(openSettings)) {
  namespace d = dialog::id;
  const int g = gap(*this);
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(label(this, d::kPathLabel, "Enter Path for Saving or Click on Browse Button"), 0,
           wxLEFT | wxRIGHT | wxTOP, 2 * g);
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  path_ = new wxTextCtrl(this, d::kPath, wxString::FromUTF8(destination_), wxDefaultPosition,
                         ConvertDialogToPixels(wxSize(200, -1)));
  path_->SetMaxLength(1024);
  row->Add(path_, 1, wxALIGN_CENTRE_VERTICAL);
  row->Add(new wxButton(this, d::kBrowse, "&Browse"), 0, wxLEFT, g);
  top->Add(row, 0, wxEXPAND | wxALL, 2 * g);
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->Add(new wxButton(this, d::kSettingsButton, "&Settings"));
  buttons->AddStretchSpacer();
  auto* okButton = new wxButton(this, d::kOk, "&OK");
  okButton->SetDefault();
  buttons->Add(okButton);
  buttons->Add(new wxButton(this, d::kCancel, "&Cancel"), 0, wxLEFT, g);
  top->Add(new wxStaticLine(this), 0, wxEXPAND | wxLEFT | wxRIGHT, 2 * g);
  top->Add(buttons, 0, wxEXPAND | wxALL, 2 * g);
  SetSizerAndFit(top);

  FindWindow(d::kSettingsButton)->Enable(settingsEnabled_);
  applyCatalogueTexts(*this, session_, texts::kFileSaving);
  Layout();
  GetSizer()->SetSizeHints(this);

  SetEscapeId(d::kCancel);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) {
    switch (e.GetId()) {
      case dialog::id::kBrowse: browse(); break;
      case dialog::id::kSettingsButton:
        if (openSettings_) openSettings_(this);
        break;
      case dialog::id::kOk: ok(); break;
      case dialog::id::kCancel:
        destination_.clear();
        EndModal(dialog::id::kCancel);
        break;
      default: e.Skip();
    }
  });
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
    destination_.clear();
    if (IsModal()) EndModal(dialog::id::kCancel);
  });
  CentreOnParent();
  readyWhenShown(*this, host_, dialog::kFileSaving);
}

void FileSavingDialog::browse() {
  std::string start = path_->GetValue().utf8_string();
  if (start.empty()) start = wxGetHomeDir().utf8_string();
  const std::optional<std::string> chosen = session_.dialogs->chooseFolder(start);
  if (!chosen) return;
  destination_ = *chosen;
  path_->ChangeValue(wxString::FromUTF8(*chosen));
}

void FileSavingDialog::ok() {
  namespace d = dialog::id;
  // The buttons rest while a refusal is shown.
  const int buttons[] = {d::kOk, d::kCancel, d::kSettingsButton};
  for (int id : buttons) FindWindow(id)->Disable();
  // A folder on the disk being read is warned about before anything is made there;
  // answering No leaves the dialog open for another folder.
  const std::string typed = path_->GetValue().utf8_string();
  const std::optional<std::string> folder =
      confirmDestination(session_, typed) ? acceptDestination(session_, typed) : std::nullopt;
  if (folder) destination_ = *folder;
  const bool accepted = folder.has_value();
  FindWindow(d::kOk)->Enable();
  FindWindow(d::kCancel)->Enable();
  FindWindow(d::kSettingsButton)->Enable(settingsEnabled_);
  if (accepted) EndModal(d::kOk);
}

// ------------------------------------------------------------------ Calculating File Size

CalculatingDialog::CalculatingDialog(wxWindow* parent, Session& session, SaveJob& job, DialogHost& host)
    : wxDialog(parent, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxBORDER_RAISED),
      session_(session),
      job_(job),
      host_(host) {
  namespace d = dialog::id;
  const int g = gap(*this);
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(label(this, d::kCalculatingText, "Calculating File Size. Please Wait..."), 0, wxALL, 3 * g);
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  row->Add(label(this, d::kTotalFilesLabel, "Total Files :"), 0, wxALIGN_CENTRE_VERTICAL);
  row->Add(field(this, control::kSaveTotalCount, 60, wxELLIPSIZE_NONE), 0, wxLEFT | wxALIGN_CENTRE_VERTICAL, g);
  row->AddStretchSpacer();
  stopButton_ = new wxButton(this, d::kOk, "Stop ");
  row->Add(stopButton_);
  auto* cancel = new wxButton(this, d::kCancel, "Cancel");
  cancel->Hide();
  row->Add(cancel);
  top->Add(row, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 3 * g);
  SetSizerAndFit(top);
  static_cast<wxStaticText*>(FindWindow(control::kSaveTotalCount))->SetLabel("0");
  applyCatalogueTexts(*this, session_, texts::kCalculatingSize);
  Layout();
  GetSizer()->SetSizeHints(this);

  host_.attachControl(control::kSaveTotalCount, FindWindow(control::kSaveTotalCount));
  // Escape is ignored while the count runs: the count and the save must not overlap.
  SetEscapeId(wxID_NONE);
  Bind(wxEVT_CLOSE_WINDOW, [](wxCloseEvent& e) { e.Veto(); });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) {
    if (e.GetId() == dialog::id::kOk)
      stop();
    else
      e.Skip();
  });
  CentreOnParent();
  CallAfter([this] { start(); });
}

CalculatingDialog::~CalculatingDialog() {
  alive_.reset();
  if (thread_.joinable()) {
    job_.stopSaving = true;
    host_.waitUntil([this] { return finished_.load(); });
    thread_.join();
  }
  host_.flushUpdates();
  host_.detachControl(control::kSaveTotalCount);
}

void CalculatingDialog::start() {
  state_ = 1;
  job_.stopSaving = false;
  std::weak_ptr<int> alive = alive_;
  thread_ = std::jthread([this, alive] {
    try {
      runSizeCalculation(session_, job_);
    } catch (...) {
      // A count that fails leaves the totals it reached; the save still runs.
    }
    host_.afterUpdates([this, alive] {
      if (alive.lock()) finished();
    });
    finished_ = true;
  });
  host_.dialogReady(*this, dialog::kCalculatingSize);
}

void CalculatingDialog::finished() {
  state_ = 2;
  if (asking_) return;  // Stop's question closes the dialog once it is answered
  host_.waitUntil([this] { return finished_.load(); });
  if (thread_.joinable()) thread_.join();
  state_ = 0;
  if (IsModal()) EndModal(dialog::id::kOk);
}

void CalculatingDialog::stop() {
  if (state_ != 1) {
    if (IsModal()) EndModal(dialog::id::kOk);
    return;
  }
  stopButton_->Disable();
  asking_ = true;
  const int answer = session_.messageBox(session_.text(msg::kTerminateQuestion),
                                         MessageButtons::YesNo, MessageIcon::Question);
  asking_ = false;
  if (state_ == 2) {
    // The count ended while the question was open.
    finished();
    return;
  }
  if (answer != kIdYes) {
    stopButton_->Enable();
    return;
  }
  // The count ends where it stands; its totals stay.
  state_ = 0;
  job_.stopSaving = true;
  host_.waitUntil([this] { return finished_.load(); });
  thread_.join();
  job_.stopSaving = false;
  if (IsModal()) EndModal(dialog::id::kOk);
}

// ------------------------------------------------------------------ Saving

SavingDialog::SavingDialog(wxWindow* parent, Session& session, SaveJob& job, DialogHost& host)
    : wxDialog(parent, wxID_ANY, "Saving", wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU),
      session_(session),
      job_(job),
      host_(host) {
  namespace d = dialog::id;
  const int g = gap(*this);
  auto* grid = new wxFlexGridSizer(2, g, 2 * g);
  grid->AddGrowableCol(1);
  const struct {
    int label;
    const char* text;
    int value;
    wxEllipsizeMode ellipsize;
  } rows[] = {{d::kFileNameLabel, "File Name :", control::kSaveFileName, wxELLIPSIZE_MIDDLE},
              {d::kFilePathLabel, "File Path :", control::kSaveFilePath, wxELLIPSIZE_START},
              {d::kTotalFilesLabel2, "Total Files Recovered :", control::kSaveTotalFiles, wxELLIPSIZE_NONE},
              {d::kCurrentFileLabel, " Recovered Current File :", control::kSaveCurrentFile, wxELLIPSIZE_NONE}};
  for (const auto& r : rows) {
    grid->Add(label(this, r.label, r.text), 0, wxALIGN_CENTRE_VERTICAL);
    grid->Add(field(this, r.value, 190, r.ellipsize), 1, wxEXPAND | wxALIGN_CENTRE_VERTICAL);
  }
  grid->Add(label(this, d::kDataLabel, "Total Data Recovered :"), 0, wxALIGN_CENTRE_VERTICAL);
  auto* data = new wxBoxSizer(wxHORIZONTAL);
  data->Add(field(this, control::kSaveDataDone, 40, wxELLIPSIZE_NONE, wxALIGN_RIGHT), 0, wxALIGN_CENTRE_VERTICAL);
  data->Add(label(this, wxID_ANY, "/"), 0, wxLEFT | wxRIGHT | wxALIGN_CENTRE_VERTICAL, g);
  data->Add(field(this, control::kSaveDataTotal, 40, wxELLIPSIZE_NONE), 0, wxALIGN_CENTRE_VERTICAL);
  grid->Add(data, 1, wxEXPAND);
  grid->Add(label(this, d::kTimeRemainingLabel, "Time Remaining :"), 0, wxALIGN_CENTRE_VERTICAL);
  grid->Add(field(this, control::kSaveTimeRemaining, 190, wxELLIPSIZE_NONE), 1, wxEXPAND);
  grid->Add(label(this, d::kTimeElapsedLabel, "Time Elapsed :"), 0, wxALIGN_CENTRE_VERTICAL);
  grid->Add(field(this, control::kSaveTimeElapsed, 190, wxELLIPSIZE_NONE), 1, wxEXPAND);

  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(grid, 0, wxEXPAND | wxALL, 3 * g);
  progress_ = new ProgressBar(this, control::kSaveProgress);
  progress_->SetMinSize(ConvertDialogToPixels(wxSize(260, 12)));
  progress_->setText("0% ");
  top->Add(progress_, 0, wxEXPAND | wxLEFT | wxRIGHT, 3 * g);
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->AddStretchSpacer();
  auto* stopButton = new wxButton(this, d::kStop, "&Stop");
  stopButton->SetDefault();
  buttons->Add(stopButton);
  buttons->Add(new wxButton(this, d::kSkip, "S&kip"), 0, wxLEFT, g);
  auto* hidden = new wxButton(this, d::kCancel, "Cancel");
  hidden->Hide();
  buttons->Add(hidden);
  top->Add(buttons, 0, wxEXPAND | wxALL, 3 * g);
  SetSizerAndFit(top);
  // What the fields say before the save's first figures arrive.
  const std::pair<int, const char*> initial[] = {{control::kSaveDataDone, "0 MB"},
                                               {control::kSaveDataTotal, "0 MB"},
                                               {control::kSaveTimeRemaining, "0 Min 0 Sec"},
                                               {control::kSaveTimeElapsed, "0 Min 0 Sec"}};
  for (const auto& [id, text] : initial) FindWindow(id)->SetLabel(text);
  applyCatalogueTexts(*this, session_, texts::kSaving, ": ");
  Layout();
  GetSizer()->SetSizeHints(this);

  for (int id : {control::kSaveFileName, control::kSaveFilePath, control::kSaveTotalFiles,
                 control::kSaveCurrentFile, control::kSaveDataDone, control::kSaveDataTotal,
                 control::kSaveTimeRemaining, control::kSaveTimeElapsed})
    host_.attachControl(id, FindWindow(id));
  host_.attachControl(control::kSaveProgress, progress_);

  // Neither Escape nor the close box ends a save: Stop does.
  SetEscapeId(wxID_NONE);
  Bind(wxEVT_CLOSE_WINDOW, [](wxCloseEvent& e) {
    if (e.CanVeto()) e.Veto();
  });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) {
    if (e.GetId() == dialog::id::kStop)
      stop();
    else if (e.GetId() == dialog::id::kSkip)
      skip();
    else
      e.Skip();
  });
  CentreOnParent();
  CallAfter([this] { start(); });
}

SavingDialog::~SavingDialog() {
  alive_.reset();
  if (thread_.joinable()) {
    // The window goes away with the save still running: it ends at its next test.
    job_.stopSaving = true;
    session_.worker.end();
    host_.waitUntil([this] { return !running_.load(); });
    thread_.join();
  }
  host_.flushUpdates();
  for (int id : {control::kSaveFileName, control::kSaveFilePath, control::kSaveTotalFiles,
                 control::kSaveCurrentFile, control::kSaveDataDone, control::kSaveDataTotal,
                 control::kSaveTimeRemaining, control::kSaveTimeElapsed, control::kSaveProgress})
    host_.detachControl(id);
}

void SavingDialog::start() {
  // What this save achieves, counted afresh.
  job_.outcome.reset();
  {
    CalculatingDialog calculating(this, session_, job_, host_);
    calculating.ShowModal();
  }
  job_.filesSaved = 0;
  job_.done = false;
  job_.skipCurrentFile = false;
  session_.worker.reset();
  running_ = true;
  std::weak_ptr<int> alive = alive_;
  thread_ = std::jthread([this, alive] {
    try {
      runSave(session_, job_);
    } catch (const WorkerEnded&) {
      // Ended with the window.
    } catch (const ProgramExit& exit) {
      error_ = "the save ended the program (" + std::to_string(exit.code) + ")";
    } catch (const std::exception& e) {
      error_ = e.what();
    }
    job_.done = true;
    // The fields' last updates land before the dialog sees the end.
    host_.afterUpdates([this, alive] {
      if (alive.lock()) saveEnded();
    });
    running_ = false;
  });
  host_.dialogReady(*this, dialog::kSaving);
}

void SavingDialog::stop() {
  if (!thread_.joinable() || closed_) return;
  // The save waits at its next safe point while the question is open.
  session_.worker.pause();
  asking_ = true;
  const int answer = session_.messageBox(kStopQuestion, MessageButtons::YesNo, MessageIcon::Question);
  asking_ = false;
  if (answer == kIdYes) job_.stopSaving = true;
  session_.worker.resume();
  if (endPending_) {
    endPending_ = false;
    saveEnded();
  }
}

void SavingDialog::skip() { job_.skipCurrentFile = true; }

void SavingDialog::saveEnded() {
  if (asking_) {
    endPending_ = true;
    return;
  }
  if (!job_.done || closed_) return;
  job_.done = false;
  host_.waitUntil([this] { return !running_.load(); });
  thread_.join();
  // A Stop answered after the last file must not reach the next save.
  job_.stopSaving = false;
  job_.skipCurrentFile = false;
  closed_ = true;
  if (IsModal()) EndModal(dialog::id::kOk);
}

}  // namespace tessaly::wizard
