#include "wizard/main_window.h"

#include <wx/html/helpctrl.h>

#include "config/configuration.h"
#include "disk/disk_enumeration.h"
#include "platform/paths.h"
#include "save/save_engine.h"
#include "wizard/artwork.h"
#include "wizard/dialogs.h"
#include "wizard/ids.h"
#include "wizard/tree_mirror.h"
#include "wizard/widgets.h"

namespace tessaly::wizard {

namespace {

// The window's size in dialog units, as its template gives it.
constexpr int kWidthDlu = 493, kHeightDlu = 291;

// The idle prompt of the status line.
constexpr const char* kIdlePrompt = "Ready";

struct MenuItem {
  int id;
  const char* text;
  const char* prompt;
};

}  // namespace

// ------------------------------------------------------------------ construction

bool MainWindow::isMenuCommand(int id) { return id >= 32768 || id == id::kMenuAbout; }

int MainWindow::menuItemId(int command) {
  return isMenuCommand(command) ? command % 10000 + 20000 : command;
}

MainWindow::MainWindow(WindowOptions options)
    : wxFrame(nullptr, wxID_ANY, kProgramTitle, wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE & ~(wxRESIZE_BORDER | wxMAXIMIZE_BOX)),
      options_(std::move(options)) {
  // The pictures of the installation folder and of the help book are PNG files, which
  // wxWidgets reads only once its image handlers are added (adding them again is harmless).
  wxInitAllImageHandlers();
  if (options_.dialogs) {
    dialogs_ = options_.dialogs;
  } else {
    ownDialogs_ = std::make_unique<WxDialogs>();
    dialogs_ = ownDialogs_.get();
  }
  queue_ = std::make_unique<UiQueue>(*this, [this](const UiOp& op) { applyUpdate(op); });
  session_ = std::make_unique<Session>(*options_.devices, *this, *dialogs_);
  if (options_.registry) session_->registry = *options_.registry;
  if (ownDialogs_) ownDialogs_->setSession(session_.get());

  createMenu();
  CreateStatusBar(1);
  SetStatusText(kIdlePrompt);
  createControls();
  buildCommandTable();

  Bind(wxEVT_CLOSE_WINDOW, &MainWindow::onClose, this);
  Bind(wxEVT_BUTTON, &MainWindow::onCommandEvent, this);
  Bind(wxEVT_MENU, &MainWindow::onCommandEvent, this);
  Bind(wxEVT_RADIOBUTTON, &MainWindow::onCommandEvent, this);
  Bind(wxEVT_CHECKBOX, &MainWindow::onCommandEvent, this);
  // Escape runs the close sequence, as the hidden cancel button does.
  wxAcceleratorEntry escape(wxACCEL_NORMAL, WXK_ESCAPE, id::kCancel);
  SetAcceleratorTable(wxAcceleratorTable(1, &escape));
}

MainWindow::~MainWindow() {
  fileList_.setListener(nullptr);
  endWorkers();
  // The mirrors go before the trees they draw and the models they observe.
  folderMirror_.reset();
  fileSystemMirror_.reset();
  partitionMirror_.reset();
  diskMirror_.reset();
}

void MainWindow::createMenu() {
  auto* bar = new wxMenuBar;
  auto add = [](wxMenu* menu, std::initializer_list<MenuItem> items) {
    for (const MenuItem& item : items) {
      if (item.id == 0)
        menu->AppendSeparator();
      else
        menu->Append(menuItemId(item.id), item.text, item.prompt);
    }
  };
  auto* file = new wxMenu;
  add(file, {{id::kMenuSelectAll, "Select &All files", "Selects every file in the file list"},
             {id::kMenuSave, "&Save ", "Saves the selected files and folders"},
             {id::kMenuSaveSettings, "Save Se&ttings", "Options for saving files"},
             {0, "", ""},
             {id::kMenuSaveLog, "Sa&ve Log", "Saves this recovery to a recovery log"},
             {id::kMenuLoadLog, "Lo&ad Log", "Loads a recovery saved earlier"},
             {0, "", ""},
             {id::kMenuExit, "E&xit", "Quits Tessaly"}});
  bar->Append(file, "&File");
  auto* report = new wxMenu;
  add(report, {{id::kMenuReportView, "&View", "Shows the recovery report"},
               {id::kMenuReportPrint, "&Print", "Prints the recovery report"},
               {id::kMenuReportMail, "&E-mail", "Sends the recovery report by e-mail"},
               {id::kMenuReportClear, "&Clear", "Empties the recovery report"}});
  bar->Append(report, "&Report");
  auto* directory = new wxMenu;
  add(directory, {{id::kMenuDirectoryView, "&View", "Shows the folder tree as a text file"},
                  {id::kMenuDirectoryPrint, "&Print", "Prints the folder tree"}});
  bar->Append(directory, "&Directory List");
  auto* support = new wxMenu;
  add(support, {{id::kMenuSupportOnline, "&Online", "Opens the support web page"},
                {id::kMenuSupportMail, "&E-mail", "Writes to the support team"},
                {id::kMenuSupportPhone, "&Telephone", "Shows the support telephone numbers"},
                {0, "", ""},
                {id::kMenuUpdate, "Live &Update", "Looks for a newer version of Tessaly"}});
  bar->Append(support, "&Support");
  auto* help = new wxMenu;
  add(help, {{id::kMenuContents, "&Contents        ", "Opens the help"}});
  help->AppendCheckItem(menuItemId(id::kMenuBalloonHelp), "&Show Balloon Help",
                        "Shows or hides the hints of the controls");
  help->Check(menuItemId(id::kMenuBalloonHelp), true);
  auto* language = new wxMenu;
  language->AppendRadioItem(menuItemId(id::kMenuDutch), "&Dutch", "Show in Dutch");
  language->AppendRadioItem(menuItemId(id::kMenuEnglish), "&English", "Show in English");
  language->AppendRadioItem(menuItemId(id::kMenuFrench), "&French", "Show in French");
  language->AppendRadioItem(menuItemId(id::kMenuGerman), "&German", "Show in German");
  help->AppendSubMenu(language, "&Language", "The language of the program's texts");
  help->AppendSeparator();
  help->Append(menuItemId(id::kMenuAbout), "&About...", "The program's name and version");
  bar->Append(help, "&Help");
  SetMenuBar(bar);
  // Items whose work arrives with the results views start grayed.
  for (int item : {id::kMenuSelectAll, id::kMenuSave, id::kMenuDirectoryView,
                   id::kMenuDirectoryPrint, id::kMenuSaveLog})
    bar->Enable(menuItemId(item), false);
}

wxWindow* MainWindow::place(wxWindow* window, int x, int y, int w, int h) {
  const wxPoint pos = panel_->ConvertDialogToPixels(wxPoint(x, y));
  wxSize size = panel_->ConvertDialogToPixels(wxSize(w, h));
  // Single-line controls need at least their natural height; they stay centred on
  // the row the layout gives them.
  const bool singleLine = dynamic_cast<wxTextCtrl*>(window) || dynamic_cast<wxChoice*>(window) ||
                          dynamic_cast<wxButton*>(window) || dynamic_cast<wxCheckBox*>(window) ||
                          dynamic_cast<wxRadioButton*>(window) ||
                          dynamic_cast<wxStaticText*>(window);
  int top = pos.y;
  if (singleLine) {
    const int natural = window->GetBestSize().y;
    if (natural > size.y) {
      top -= (natural - size.y) / 2;
      size.y = natural;
    }
  }
  window->SetSize(pos.x, top, size.x, size.y);
  if (window->GetId() > 0) controls_[window->GetId()] = window;
  return window;
}

namespace {

struct PictureButton {
  int id;
  Message label;
  const char* picture;
  const char* prompt;
};

// The toolbar, left to right.
const PictureButton kPictureButtons[] = {
    {id::kLoadLogButton, msg::kLoadLog, artwork::kButtonLoadLog, "Loads a recovery saved earlier"},
    {id::kSaveLogButton, msg::kSaveLog, artwork::kButtonSaveLog, "Saves this recovery to a recovery log"},
    {id::kUnselectAllButton, msg::kUnselectAll, artwork::kButtonUnselectAll,
     "Unselects every file in the file list"},
    {id::kSelectAllButton, msg::kSelectAll, artwork::kButtonSelectAll, "Selects every file in the file list"},
    {id::kSaveFilesButton, msg::kSaveData, artwork::kButtonSaveData, "Saves the selected files and folders"},
    {id::kHelpButton, msg::kHelp, artwork::kButtonHelp, "Opens the help"},
    {id::kExitButton, msg::kExitFromTessaly, artwork::kButtonExit, "Quits Tessaly"},
};

}  // namespace

void MainWindow::createPictureButtons() {
  for (const PictureButton& b : kPictureButtons) {
    auto* button = new wxButton(panel_, b.id, wxString::FromUTF8(std::string(b.label.english)), wxDefaultPosition, wxDefaultSize,
                                wxBORDER_NONE);
    const std::string prompt = b.prompt;
    button->Bind(wxEVT_ENTER_WINDOW, [this, prompt](wxMouseEvent& e) {
      SetStatusText(wxString::FromUTF8(prompt));
      e.Skip();
    });
    button->Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent& e) {
      SetStatusText(kIdlePrompt);
      e.Skip();
    });
    controls_[b.id] = button;
  }
  labelPictureButtons();
}

void MainWindow::labelPictureButtons() {
  // Labels and tooltips from the catalogue, icons from the installation folder; each
  // button as wide as its label needs, side by side.
  int x = panel_->ConvertDialogToPixels(wxPoint(4, 0)).x;
  const int y = panel_->ConvertDialogToPixels(wxPoint(0, 2)).y;
  const int minWidth = panel_->ConvertDialogToPixels(wxSize(46, 0)).x;
  for (const PictureButton& b : kPictureButtons) {
    auto* button = static_cast<wxButton*>(control(b.id));
    const wxString label = wxString::FromUTF8(session_->text(b.label));
    button->SetLabel(label);
    button->SetToolTip(label);
    wxImage icon = artwork::load(session_->installFolder, b.picture);
    if (icon.IsOk()) {
      button->SetBitmap(wxBitmap(icon), wxTOP);
      button->SetBitmapDisabled(wxBitmap(icon.ConvertToDisabled()));
    }
    const wxSize best = button->GetBestSize();
    const int width = std::max(best.x, minWidth);
    button->SetSize(x, y, width, best.y);
    x += width + panel_->FromDIP(2);
  }
}

void MainWindow::createControls() {
  panel_ = new wxPanel(this, wxID_ANY);
  SetClientSize(panel_->ConvertDialogToPixels(wxSize(kWidthDlu, kHeightDlu)));
  panel_->SetSize(GetClientSize());

  // Toolbar row and the line under it.
  createPictureButtons();
  place(new wxStaticLine(panel_, wxID_ANY), 0, 34, kWidthDlu, 1);

  // Left column: the step picture and the help pane.
  picture_ = new wxStaticBitmap(panel_, id::kStepPicture, wxNullBitmap, wxDefaultPosition,
                                wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL);
  place(picture_, 4, 38, 124, 112);
  helpPane_ = new HelpPane(panel_, id::kHelpPane);
  place(helpPane_, 4, 153, 124, 133);

  // The trees share the left part of the page area.
  diskTreeCtrl_ = new wxTreeCtrl(panel_, control::kDiskTree, wxDefaultPosition, wxDefaultSize,
                                 wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_SINGLE | wxBORDER_THEME);
  partitionTreeCtrl_ = new wxTreeCtrl(panel_, id::kPartitionTree, wxDefaultPosition,
                                      wxDefaultSize,
                                      wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_SINGLE | wxBORDER_THEME);
  folderTreeCtrl_ = new wxTreeCtrl(panel_, id::kFolderTree, wxDefaultPosition, wxDefaultSize,
                                   wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_SINGLE | wxBORDER_THEME);
  fileSystemTreeCtrl_ = new wxTreeCtrl(panel_, id::kFileSystemTree, wxDefaultPosition, wxDefaultSize,
                                       wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_SINGLE | wxBORDER_THEME);

  // Disk page.
  place(new wxStaticBox(panel_, id::kSelectDiskBox, "Select Disk"), 134, 37, 355, 146);
  place(diskTreeCtrl_, 140, 49, 124, 128);
  place(new wxStaticBox(panel_, id::kRecoveryModesBox, "Recovery Modes"), 134, 186, 355, 62);
  noMode_ = new wxRadioButton(panel_, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
  noMode_->Hide();
  noMode_->SetValue(true);
  const struct {
    int id;
    const char* text;
    int hint;
    const char* hintText;
  } modes[] = {
      {id::kQuick, "Quick ", 0, "This mode quickly analyses the disk and displays the files."},
      {id::kAdvanced, "Advanced ", 1, "Use this mode when Quick Mode fails to recover files"},
      {id::kRaw, "Raw Recovery", 2, "Use this mode when above modes fails to recover files"}};
  int y = 197;
  for (const auto& m : modes) {
    auto* radio = new wxRadioButton(panel_, m.id, m.text);
    place(radio, 142, y, 76, 12);
    radio->Disable();
    auto* hint = new wxStaticText(panel_, wxID_ANY, m.hintText);
    hint->SetForegroundColour(wxColour(90, 90, 90));
    place(hint, 222, y, 262, 12);
    modeHints_.push_back(hint);
    y += 16;
  }
  place(new wxStaticText(panel_, id::kLogPathLabel, "Path for Log File : "), 134, 255, 72, 10);
  place(new wxTextCtrl(panel_, id::kLogPath, ""), 208, 253, 281, 14);

  // The information list / file list; its place depends on the page.
  list_ = new wxListCtrl(panel_, control::kInformationList, wxDefaultPosition, wxDefaultSize,
                         wxLC_REPORT | wxLC_HRULES | wxLC_VRULES | wxLC_SINGLE_SEL | wxBORDER_THEME);
  controls_[control::kInformationList] = list_;
  placeInformationList(270, 49, 213, 128);

  // Partition page.
  place(partitionTreeCtrl_, 134, 37, 150, 146);
  place(new wxStaticText(panel_, id::kPartitionTypeLabel, "Partition Type :"), 134, 191, 70, 10);
  typeList_ = new wxChoice(panel_, id::kPartitionType);
  for (const char* type : {"FAT16", "FAT32", "NTFS", "-- Select --"}) typeList_->Append(type);
  typeList_->SetSelection(kTypeNone);
  place(typeList_, 206, 189, 90, 14);
  auto* modeField = new wxStaticText(panel_, id::kModeField, "Quick Mode", wxDefaultPosition,
                                     wxDefaultSize, wxST_NO_AUTORESIZE);
  modeField->SetFont(modeField->GetFont().Bold());
  place(modeField, 310, 191, 179, 10);
  place(new wxStaticText(panel_, id::kStartSectorLabel, "Start Sector :"), 134, 210, 70, 10);
  place(new wxTextCtrl(panel_, id::kStartSector, "0"), 206, 208, 90, 14);
  place(new wxStaticText(panel_, id::kEndSectorLabel, "End Sector  :"), 310, 210, 56, 10);
  place(new wxTextCtrl(panel_, id::kEndSector, "0"), 368, 208, 121, 14);
  place(new wxCheckBox(panel_, id::kSearchEntireDisk, "Search Entire Disk"), 134, 229, 150, 12);
  place(new wxButton(panel_, id::kSearchMorePartitions, "Search More Partitions"), 369, 227, 120, 16);
  place(new ProgressBar(panel_, id::kPartitionSearchProgress), 134, 250, 220, 10);
  place(new wxStaticText(panel_, id::kPartitionSearchText, "Searching Partition...",
                         wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE),
        360, 250, 129, 10);
  for (int focusId : {id::kPartitionType, id::kStartSector, id::kEndSector}) {
    const int context = focusId == id::kPartitionType ? 1 : focusId == id::kStartSector ? 2 : 3;
    controls_[focusId]->Bind(wxEVT_SET_FOCUS, [this, context](wxFocusEvent& e) {
      focusContext_ = context;
      e.Skip();
    });
  }

  // Scan page: the summary, the status line, the progress bar and Stop.
  place(new wxStaticBox(panel_, id::kSummaryBox, " Partition Details "), 134, 37, 150, 146);
  const struct {
    int label;
    const char* text;
  } summary[] = {{id::kSelectedDiskLabel, "Selected Disk"}, {id::kRangeLabel, "Range"},
                 {id::kFileSystemLabel, "Selected File System"},
                 {id::kSelectedModeLabel, "Selected Mode"},
                 {control::kFoundLabel, "Directories Found"},
                 // Shown only by the scans that count boot sectors: last, so that no gap
                 // opens when it is hidden.
                 {control::kBootSectorsLabel, "Boot Sectors Found"}};
  y = 50;
  for (const auto& s : summary) {
    auto* label = new wxStaticText(panel_, s.label, s.text);
    label->SetForegroundColour(wxColour(90, 90, 90));
    place(label, 142, y, 136, 9);
    auto* value = new wxStaticText(panel_, s.label + 1, "", wxDefaultPosition, wxDefaultSize,
                                   wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    value->SetFont(value->GetFont().Bold());
    place(value, 142, y + 9, 136, 9);
    y += 22;
  }
  place(new wxStaticText(panel_, control::kStatusLine, "", wxDefaultPosition, wxDefaultSize,
                         wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END),
        134, 191, 355, 10);
  place(new ProgressBar(panel_, control::kScanProgress), 134, 205, 355, 12);
  place(new wxButton(panel_, control::kStopSearching, "&Stop Searching"), 399, 224, 90, 16);

  // Results page.
  place(folderTreeCtrl_, 134, 37, 96, 206);
  // Wider than the folder tree: its items read "File System n - TYPE".
  place(fileSystemTreeCtrl_, 134, 37, 130, 206);
  place(new wxStaticText(panel_, control::kCurrentFolderLabel, "Current Folder  :"), 134, 251, 68, 10);
  auto* current = new wxStaticText(panel_, control::kCurrentFolder, "", wxDefaultPosition,
                                   wxDefaultSize, wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_START);
  current->SetFont(current->GetFont().Bold());
  place(current, 204, 251, 285, 10);

  createRawControls();

  // Wizard buttons and the hidden cancel button.
  place(new wxButton(panel_, id::kBack, "B&ack"), 363, 272, 60, 16);
  place(new wxButton(panel_, id::kNext, "&Next"), 429, 272, 60, 16);
  place(new wxButton(panel_, id::kCancel, "Button2"), 0, 0, 10, 10)->Hide();

  // Trees: their mirrors and their clicks.
  diskMirror_ = std::make_unique<TreeMirror>(diskTree_, *diskTreeCtrl_, *queue_);
  partitionMirror_ = std::make_unique<TreeMirror>(partitionTree_, *partitionTreeCtrl_, *queue_);
  folderMirror_ = std::make_unique<TreeMirror>(scan_->folderTree, *folderTreeCtrl_, *queue_);
  fileSystemMirror_ = std::make_unique<TreeMirror>(fileSystemTree_, *fileSystemTreeCtrl_, *queue_);
  const std::pair<wxTreeCtrl*, int> trees[] = {{diskTreeCtrl_, control::kDiskTree},
                                               {partitionTreeCtrl_, id::kPartitionTree},
                                               {folderTreeCtrl_, id::kFolderTree},
                                               {fileSystemTreeCtrl_, id::kFileSystemTree}};
  for (const auto& [tree, treeId] : trees) {
    TreeMirror* mirror = treeId == control::kDiskTree       ? diskMirror_.get()
                         : treeId == id::kPartitionTree ? partitionMirror_.get()
                         : treeId == id::kFileSystemTree ? fileSystemMirror_.get()
                                                        : folderMirror_.get();
    tree->Bind(wxEVT_TREE_SEL_CHANGED, [this, mirror, treeId = treeId](wxTreeEvent& e) {
      if (!mirror->selecting()) treeItemClicked(treeId, mirror->itemOf(e.GetItem()));
    });
  }

  // Everything but the disk page starts hidden.
  bindResultsViews();

  for (int hidden :
       {id::kPartitionTree, id::kFolderTree, id::kFileSystemTree, id::kPartitionTypeLabel, id::kPartitionType,
        id::kModeField, id::kStartSectorLabel, id::kStartSector, id::kEndSectorLabel,
        id::kEndSector, id::kSearchEntireDisk, id::kSearchMorePartitions,
        id::kPartitionSearchProgress, id::kPartitionSearchText, control::kStatusLine,
        control::kScanProgress, control::kStopSearching, control::kCurrentFolderLabel,
        control::kCurrentFolder})
    controls_[hidden]->Hide();
  showRange(id::kSummaryFirst, id::kSummaryLast, false);
  for (int disabled : {id::kBack, id::kNext, id::kSaveFilesButton, id::kSelectAllButton,
                       id::kUnselectAllButton, id::kSaveLogButton})
    controls_[disabled]->Disable();
  Centre();
}

void MainWindow::createRawControls() {
  // The raw recovery page: laid out now, shown by the raw recovery step.
  const int hidden[] = {id::kRawFileTypesLabel, id::kRawEntireDisk, id::kRawSectorRange,
                        id::kRawStart, id::kRawEnd, id::kStartRecovery, id::kRawProgress,
                        id::kRawFilesRecovered, id::kRawFileTypes, id::kRawMethodLabel,
                        id::kRawStatus};
  place(new wxStaticText(panel_, id::kRawMethodLabel, "Select Raw Recovery Method"), 134, 191, 150, 10);
  place(new wxRadioButton(panel_, id::kRawEntireDisk, "Entire Disk", wxDefaultPosition,
                          wxDefaultSize, wxRB_GROUP),
        134, 205, 70, 12);
  place(new wxRadioButton(panel_, id::kRawSectorRange, "Sector Range"), 206, 205, 78, 12);
  place(new wxTextCtrl(panel_, id::kRawStart, "0"), 134, 222, 72, 14);
  place(new wxTextCtrl(panel_, id::kRawEnd, "0"), 212, 222, 72, 14);
  place(new wxStaticText(panel_, id::kRawFileTypesLabel, "Select File Type(s) for Raw Recovery"),
        290, 191, 199, 10);
  auto* types = new wxCheckListBox(panel_, id::kRawFileTypes);
  for (const raw::RawTypeInfo& type : raw::kRawTypeInfo) types->Append(wxString::FromUTF8(std::string(type.itemText)));
  types->Bind(wxEVT_CHECKLISTBOX, [this](wxCommandEvent& e) { rawTypeChecked(e.GetInt()); });
  place(types, 290, 203, 199, 44);
  auto* recovered = new wxListCtrl(panel_, id::kRawFilesRecovered, wxDefaultPosition,
                                   wxDefaultSize, wxLC_REPORT | wxBORDER_THEME);
  recovered->AppendColumn("Files Recovered", wxLIST_FORMAT_CENTRE,
                          panel_->ConvertDialogToPixels(wxSize(440, 0)).x);
  place(recovered, 134, 37, 355, 146);
  place(new wxButton(panel_, id::kStartRecovery, "S&tart Recovery"), 134, 250, 80, 16);
  place(new ProgressBar(panel_, id::kRawProgress), 220, 252, 269, 12);
  place(new wxStaticText(panel_, id::kRawStatus, "", wxDefaultPosition, wxDefaultSize,
                         wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END),
        134, 274, 222, 10);
  for (int raw : hidden) controls_[raw]->Hide();
}

void MainWindow::buildCommandTable() {
  commands_ = {
      // Wizard steps.
      {id::kBack, [this] { back(); }},
      {id::kNext, [this] { next(); }},
      {id::kQuick, [this] { modeChosen(kModeQuick); }},
      {id::kAdvanced, [this] { modeChosen(kModeAdvanced); }},
      {id::kRaw, [this] { modeChosen(kModeRaw); }},
      {id::kSearchEntireDisk, [this] { searchEntireDisk(); }},
      {id::kSearchMorePartitions, [this] { searchMorePartitions(); }},
      {control::kStopSearching, [this] { stopScan(); }},
      {id::kStartRecovery, [this] { startStopRecovery(); }},
      {id::kRawEntireDisk, [this] { chooseEntireDisk(); }},
      {id::kRawSectorRange, [this] { chooseSectorRange(); }},
      // Start and end.
      {id::kCancel, [this] { closeSequence(); }},
      {id::kMenuExit, [this] { exitSequence(28); }},
      {id::kExitButton, [this] { exitSequence(21); }},
      {id::kMenuAbout, [this] { about(); }},
      // Help and language.
      {id::kMenuBalloonHelp, [this] { toggleBalloonHelp(); }},
      {id::kMenuDutch, [this] { setLanguage(id::kMenuDutch); }},
      {id::kMenuEnglish, [this] { setLanguage(id::kMenuEnglish); }},
      {id::kMenuFrench, [this] { setLanguage(id::kMenuFrench); }},
      {id::kMenuGerman, [this] { setLanguage(id::kMenuGerman); }},
      {id::kMenuContents, [this] { openHelp(); }},
      {id::kHelpButton,
       [this] {
         returnFocus();
         openHelp();
       }},
      {id::kMenuSupportOnline, [this] { openSupportPage(); }},
      {id::kMenuSupportMail, [this] { writeToSupport(); }},
      {id::kMenuSupportPhone, [this] { showSupportTelephone(); }},
      {id::kMenuUpdate, [this] { liveUpdate(); }},
      // Saving, the log, reports and the directory list.
      {id::kMenuSelectAll, [this] { selectAllFiles(); }},
      {id::kSelectAllButton,
       [this] {
         selectAllFiles();
         returnFocus();
       }},
      {id::kUnselectAllButton,
       [this] {
         unselectAllFiles();
         returnFocus();
       }},
      {id::kMenuSave,
       [this] {
         if (wizardPage_ < WizardPage::Scan) return;
         chooseSaveSource();
         startSave();
       }},
      {id::kSaveFilesButton,
       [this] {
         if (wizardPage_ < WizardPage::Results) return;
         chooseSaveSource();
         startSave();
         returnFocus();
       }},
      // The file list's popup "Save": the rows of the list.
      {id::kPopupSave,
       [this] {
         if (wizardPage_ < WizardPage::Scan) return;
         saveSource_ = SaveSource::FileList;
         startSave();
       }},
      {id::kMenuSaveSettings, [this] { openSaveSettings(); }},
      {id::kMenuSaveLog, [this] { saveLogCommand(false); }},
      {id::kSaveLogButton, [this] { saveLogCommand(true); }},
      {id::kMenuLoadLog, [this] { loadLogCommand(); }},
      {id::kLoadLogButton, [this] { loadLogButton(); }},
      {id::kMenuReportView, [this] { viewReport(); }},
      {id::kMenuReportPrint, [this] { printReport(); }},
      {id::kMenuReportMail, [this] { emailReport(); }},
      {id::kMenuReportClear, [this] { clearReports(); }},
      {id::kMenuDirectoryView, [this] { viewDirectoryList(); }},
      {id::kMenuDirectoryPrint, [this] { printDirectoryList(); }},
  };
}

void MainWindow::onCommandEvent(wxCommandEvent& event) {
  int id = event.GetId();
  // Menu items carry the window system's id of their command.
  if (event.GetEventType() == wxEVT_MENU && id >= 20000 && id < 30000) {
    for (const auto& entry : commands_)
      if (isMenuCommand(entry.first) && menuItemId(entry.first) == id) id = entry.first;
  }
  if (!command(id)) event.Skip();
}

bool MainWindow::command(int id) {
  auto it = commands_.find(id);
  if (it == commands_.end()) return false;
  // A command may start a nested event loop (a message box): copy the handler first.
  auto handler = it->second;
  handler();
  return true;
}

void MainWindow::onClose(wxCloseEvent& event) {
  if (terminated_ || !event.CanVeto()) {
    endWorkers();
    Destroy();
    return;
  }
  event.Veto();
  closeSequence();
}

// ------------------------------------------------------------------ controls by id

void MainWindow::setText(int id, const std::string& text) {
  queue_->post({UiOp::Text, id, text, 0, {}});
}
void MainWindow::setProgress(int id, int percent) {
  queue_->post({UiOp::Progress, id, "", percent, {}});
}
void MainWindow::show(int id, bool visible) {
  queue_->post({UiOp::Show, id, "", visible ? 1 : 0, {}});
}
void MainWindow::enable(int id, bool enabled) {
  queue_->post({UiOp::Enable, id, "", enabled ? 1 : 0, {}});
}
void MainWindow::focus(int id) { queue_->post({UiOp::Focus, id, "", 0, {}}); }

// ------------------------------------------------------------------ Report

void MainWindow::status(const std::string& text) { setText(control::kStatusLine, text); }

void MainWindow::counter(Counter which, std::optional<std::uint64_t> value) {
  const std::string text = value ? std::to_string(*value) : "";
  if (which == Counter::BootSectorsFound) setText(control::kBootSectorsCount, text);
  if (which == Counter::FoldersFound) setText(control::kFoundCount, text);
}

void MainWindow::counterLabel(Counter which, const std::string& label) {
  if (which == Counter::BootSectorsFound) setText(control::kBootSectorsLabel, label);
  if (which == Counter::FoldersFound) setText(control::kFoundLabel, label);
}

void MainWindow::scanProgress(int percent) { setProgress(control::kScanProgress, percent); }
void MainWindow::scanProgressText(const std::string& text) { setText(control::kScanProgress, text); }
void MainWindow::showScanProgress() { show(control::kScanProgress, true); }
void MainWindow::currentFolder(const std::string& path) { setText(control::kCurrentFolder, path); }

void MainWindow::stopOffered(bool offered) {
  enable(control::kStopSearching, offered);
  show(control::kStopSearching, offered);
  if (offered) focus(control::kStopSearching);
}

void MainWindow::diskListReady() { focus(control::kDiskTree); }

void MainWindow::saveCounted(int files) { setText(control::kSaveTotalCount, std::to_string(files)); }

void MainWindow::saveFileStarted(int filesBegun, int filesCounted, const std::string& name,
                                 const std::string& path) {
  setText(control::kSaveTotalFiles, std::to_string(filesBegun) + " / " + std::to_string(filesCounted));
  setText(control::kSaveFilePath, path);
  setText(control::kSaveFileName, name);
}

void MainWindow::saveFolderStarted(const std::string& path) { setText(control::kSaveFilePath, path); }

void MainWindow::saveData(std::uint64_t written, std::uint64_t total, int percent) {
  setText(control::kSaveDataDone, megabytesText(written));
  setText(control::kSaveDataTotal, megabytesText(total));
  setProgress(control::kSaveProgress, percent);
  setText(control::kSaveProgress, std::to_string(percent) + "% ");
}

void MainWindow::saveTimes(std::int64_t elapsed, std::int64_t remaining) {
  setText(control::kSaveTimeRemaining, minutesAndSecondsText(remaining));
  setText(control::kSaveTimeElapsed, minutesAndSecondsText(elapsed));
}

void MainWindow::saveCurrentFile(std::uint64_t written, std::uint64_t size) {
  setText(control::kSaveCurrentFile, std::to_string(written) + " / " + std::to_string(size));
}

wxWindow* MainWindow::control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void MainWindow::applyUpdate(const UiOp& op) {
  if (op.kind == UiOp::Call) {
    op.call();
    return;
  }
  if (op.kind == UiOp::Enable && isMenuCommand(op.id)) {
    enableMenu(op.id, op.value != 0);
    return;
  }
  wxWindow* window = control(op.id);
  if (!window) return;
  switch (op.kind) {
    case UiOp::Text: {
      const wxString text = wxString::FromUTF8(op.text);
      if (auto* bar = dynamic_cast<ProgressBar*>(window))
        bar->setText(text);
      else if (auto* pane = dynamic_cast<HelpPane*>(window))
        pane->setText(op.text);
      else if (auto* edit = dynamic_cast<wxTextCtrl*>(window))
        edit->ChangeValue(text);
      else if (dynamic_cast<wxListCtrl*>(window) || dynamic_cast<wxTreeCtrl*>(window))
        break;
      else
        window->SetLabel(text);
      break;
    }
    case UiOp::Progress:
      if (auto* bar = dynamic_cast<ProgressBar*>(window)) bar->setPercent(op.value);
      break;
    case UiOp::Show:
      window->Show(op.value != 0);
      break;
    case UiOp::Enable:
      window->Enable(op.value != 0);
      break;
    case UiOp::Focus:
      window->SetFocus();
      break;
    case UiOp::Call:
      break;
  }
}

// ------------------------------------------------------------------ helpers

void MainWindow::setPicture(const std::string& name) {
  stepPicture_ = name;
  wxImage image = artwork::load(session_->installFolder, name);
  if (!image.IsOk()) {
    picture_->SetBitmap(wxNullBitmap);
    return;
  }
  const wxSize size = picture_->GetSize();
  if (image.GetWidth() != size.x || image.GetHeight() != size.y) {
    const double scale = std::min(double(size.x) / image.GetWidth(),
                                  double(size.y) / image.GetHeight());
    image.Rescale(std::max(1, int(image.GetWidth() * scale)),
                  std::max(1, int(image.GetHeight() * scale)), wxIMAGE_QUALITY_HIGH);
  }
  picture_->SetBitmap(wxBitmap(image));
}

void MainWindow::setHelp(const std::vector<std::string>& lines) { setHelpText(helpText(lines)); }

void MainWindow::setHelpText(const std::string& text) {
  onlineHelpText_ = text;
  setText(id::kHelpPane, text);
}

void MainWindow::enableMenu(int id, bool enabled) {
  if (wxMenuBar* bar = GetMenuBar(); bar && bar->FindItem(menuItemId(id)))
    bar->Enable(menuItemId(id), enabled);
}

void MainWindow::showRange(int first, int last, bool visible) {
  for (int i = first; i <= last; ++i) show(i, visible);
}

void MainWindow::placeInformationList(int x, int y, int w, int h) {
  list_->SetSize(wxRect(panel_->ConvertDialogToPixels(wxPoint(x, y)),
                        panel_->ConvertDialogToPixels(wxSize(w, h))));
}

void MainWindow::setSingleSelection(bool single) {
  // Changing the style empties the list: done before the columns are made.
  if (list_->HasFlag(wxLC_SINGLE_SEL) != single) list_->SetSingleStyle(wxLC_SINGLE_SEL, single);
}

void MainWindow::resetInformationList() {
  queue_->flush();
  shownRows_.clear();
  fileList_.clear();
  setSingleSelection(true);
  list_->ClearAll();
  // One column: blanks, then the title of message 114.
  list_->AppendColumn(wxString::FromUTF8("          " + session_->text(msg::kFilesRecovered)),
                      wxLIST_FORMAT_LEFT, list_->FromDIP(500));
  resultColumns_ = false;
}

void MainWindow::setInformationRows(const std::vector<std::string>& rows) {
  if (resultColumns_ || list_->GetColumnCount() == 0) resetInformationList();
  list_->DeleteAllItems();
  for (const std::string& row : rows)
    list_->InsertItem(list_->GetItemCount(), wxString::FromUTF8(row), 10);
}

void MainWindow::setResultColumns() {
  queue_->flush();
  shownRows_.clear();
  fileList_.clear();
  // The file list: rows are picked for saving, several at a time.
  setSingleSelection(false);
  list_->ClearAll();
  const struct {
    std::optional<Message> message;  // the hidden columns have no message
    const char* english;
    int width;
    wxListColumnFormat format;
  } columns[] = {// The type texts ("Deleted Power Point File") need more room than a
                 // width of 100; narrower size, date and time columns give it to them, so that the
                 // columns fit the list without a scroll bar.
                 {msg::kNameColumn, "", 140, wxLIST_FORMAT_LEFT},
                 {msg::kTypeColumn, "", 150, wxLIST_FORMAT_LEFT},
                 {msg::kSizeColumn, "", 55, wxLIST_FORMAT_RIGHT},
                 {msg::kDateColumn, "", 95, wxLIST_FORMAT_LEFT},
                 {msg::kTimeColumn, "", 55, wxLIST_FORMAT_LEFT},
                 {std::nullopt, "Debug Info 1", 0, wxLIST_FORMAT_LEFT},
                 {std::nullopt, "Debug Info 2", 0, wxLIST_FORMAT_LEFT},
                 {std::nullopt, "Debug Info 3", 0, wxLIST_FORMAT_LEFT}};
  for (const auto& c : columns) {
    const std::string title = c.message ? session_->text(*c.message) : c.english;
    list_->AppendColumn(wxString::FromUTF8(title), c.format, list_->FromDIP(c.width));
  }
  list_->SetTextColour(*wxBLACK);
  resultColumns_ = true;
}

std::vector<std::string> MainWindow::listRows() const {
  std::vector<std::string> rows;
  for (long i = 0; i < list_->GetItemCount(); ++i)
    rows.push_back(list_->GetItemText(i).utf8_string());
  return rows;
}

std::vector<std::string> MainWindow::listColumns() const {
  std::vector<std::string> columns;
  for (int i = 0; i < list_->GetColumnCount(); ++i) {
    wxListItem item;
    item.SetMask(wxLIST_MASK_TEXT);
    list_->GetColumn(i, item);
    columns.push_back(item.GetText().utf8_string());
  }
  return columns;
}

std::string MainWindow::fieldText(int id) const {
  if (auto* edit = dynamic_cast<wxTextCtrl*>(control(id))) return edit->GetValue().utf8_string();
  if (wxWindow* window = control(id)) return window->GetLabel().utf8_string();
  return {};
}

void MainWindow::uncheckModes() { noMode_->SetValue(true); }

void MainWindow::notAvailableYet(const std::string& what) {
  session_->messageBox(what + " is not available yet in this version of Tessaly.",
                       MessageButtons::Ok, MessageIcon::Information);
}

// ------------------------------------------------------------------ initialisation

void MainWindow::initialise() {
  wxTheApp->SetTopWindow(this);
  // FilePath (missing: the message and the end), the language file and the catalogue.
  loadConfiguration(*session_);
  const std::string language = session_->messages->languageFile();
  const int languageItem = wxString(language).Lower().StartsWith("french") ? id::kMenuFrench
                           : wxString(language).Lower().StartsWith("dutch") ? id::kMenuDutch
                           : wxString(language).Lower().StartsWith("german") ? id::kMenuGerman
                                                                              : id::kMenuEnglish;
  GetMenuBar()->Check(menuItemId(languageItem), true);

  SetIcons(artwork::programIcons(session_->installFolder));

  // The picture buttons' icons and labels, the trees' images, now that the installation
  // folder is known.
  labelPictureButtons();
  for (wxTreeCtrl* tree : {diskTreeCtrl_, partitionTreeCtrl_, folderTreeCtrl_, fileSystemTreeCtrl_})
    tree->AssignImageList(artwork::imageList(session_->installFolder, artwork::kSmallIcons,
                                             artwork::kSmallIconCount));
  folderTreeCtrl_->AssignStateImageList(artwork::imageList(
      session_->installFolder, artwork::kCheckBoxes, artwork::kCheckBoxCount));

  // The information list: one column, grid lines, the small icons.
  resetInformationList();

  // The disk tree: "My Computer", the floppy and the disks.
  wizardPage_ = WizardPage::None;
  enumerateDisks(*session_, diskTree_);
  wizardPage_ = WizardPage::Disk;

  smallIcons_ = artwork::imageList(session_->installFolder, artwork::kFileIcons,
                                   artwork::kFileIconCount);
  list_->AssignImageList(smallIcons_, wxIMAGE_LIST_SMALL);

  logPath_ = platform::tempFolder();
  setText(id::kLogPath, logPath_);

  // Mode hints from the catalogue, also as the buttons' balloon help.
  const int modeIds[] = {id::kQuick, id::kAdvanced, id::kRaw};
  for (int i = 0; i < 3; ++i) {
    const std::string label = modeHints_[static_cast<std::size_t>(i)]->GetLabel().utf8_string();
    const std::string hint = session_->text({i, label});
    modeHints_[static_cast<std::size_t>(i)]->SetLabel(wxString::FromUTF8(hint));
    control(modeIds[i])->SetToolTip(wxString::FromUTF8(hint));
  }

  // The catalogue's texts for the window's controls.
  applyDialogTexts(*session_, texts::kMainWindow,
                   [this](int controlId, const std::string& text) {
                     if (controlId == control::kInformationList) return;  // its column title
                     setText(controlId, text);
                   });

  SetTitle(kProgramTitle);
  enableMenu(id::kMenuSaveLog, false);
  enableMenu(id::kMenuLoadLog, true);
  setPicture(artwork::kStep1);
  setHelp(help::kStart);
  exitInProgress_ = 0;
  queue_->flush();
}

// ------------------------------------------------------------------ exit and close

void MainWindow::exitSequence(int blanks) {
  if (exitInProgress_ == 1) return;
  exitInProgress_ = 1;
  const std::string question = session_->text(msg::kExitQuestion) + std::string(blanks, ' ');
  if (session_->messageBox(question, MessageButtons::YesNo, MessageIcon::Question) == kIdNo) {
    exitInProgress_ = 0;
    return;
  }
  // The first running worker is ended (the save thread and the partition search come
  // with their own steps).
  if (scanThread_) {
    session_->worker.end();
    waitForWorker(*scanThread_);
    scanThread_.reset();
  } else if (rawThread_) {
    endRawThread();
  }
  if (wizardPage_ == WizardPage::Results && !scanThread_) {
    if (session_->messageBox(session_->text(msg::kSaveRecoveryQuestion),
                             MessageButtons::YesNo, MessageIcon::Question) == kIdYes)
      saveRecoveryLog();
  }
  terminateSelf(0);
}

void MainWindow::closeSequence() {
  if (exitInProgress_ == 1) return;
  exitInProgress_ = 1;
  if (wizardPage_ == WizardPage::Results && !scanThread_) {
    if (session_->messageBox(session_->text(msg::kSaveRecoveryQuestion),
                             MessageButtons::YesNo, MessageIcon::Question) == kIdYes)
      saveRecoveryLog();
  }
  // A running partition search comes first, then a running scan: either leaves a report of
  // what was under way when the program was closed.
  const bool searching = partitionSearchRunning();
  const bool scanning = !searching && scanThread_ != nullptr;
  const std::string question = session_->text(msg::kExitTessalyQuestion) +
                               std::string(searching || scanning ? 27 : 21, ' ');
  if (session_->messageBox(question, MessageButtons::YesNo, MessageIcon::Question) == kIdNo) {
    exitInProgress_ = 0;
    return;
  }
  if (searching) {
    endPartitionSearch();
    writeReport(ReportOccasion::ClosedDuringPartitionSearch);
  } else if (scanning) {
    writeReport(ReportOccasion::ClosedDuringScan);
  }
  terminateSelf(0);
}

void MainWindow::endWorkers() {
  if (ownDialogs_) ownDialogs_->shutDown();
  if (scanThread_) {
    session_->worker.end();
    waitForWorker(*scanThread_);
    scanThread_.reset();
  }
  endRawThread();
  endPartitionSearch();
}

void MainWindow::terminateSelf(int code) {
  endWorkers();
  terminated_ = true;
  if (options_.onTerminate) {
    options_.onTerminate(code);
    return;
  }
  Destroy();
}

void MainWindow::about() {
  wxIcon icon;
  wxImage image = artwork::load(session_->installFolder, artwork::kIcon48);
  if (image.IsOk()) icon.CopyFromBitmap(wxBitmap(image));
  showAboutBox(this, icon);
}

void MainWindow::setLanguage(int commandId) {
  const char* file = commandId == id::kMenuDutch    ? "DutchW.dat"
                     : commandId == id::kMenuFrench ? "FrenchW.dat"
                     : commandId == id::kMenuGerman ? "GermanW.dat"
                                                    : "EnglishW.dat";
  session_->messages->setLanguageFile(file);
  GetMenuBar()->Check(menuItemId(commandId), true);
  storeLanguageSetting(session_->registry, file);
}

}  // namespace tessaly::wizard
