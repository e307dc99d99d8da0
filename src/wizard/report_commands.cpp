// The Report and Directory List commands: the report entry of each occasion, View,
// Print, E-mail and Clear of the report file, and the folder tree written as a text file
// to be viewed or printed.
#include <wx/combobox.h>
#include <wx/generic/printps.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>

#include "platform/process.h"
#include "records/directory_list.h"
#include "recovery/scan_report.h"
#include "save/save_engine.h"
#include "wizard/ids.h"
#include "wizard/line_printout.h"
#include "wizard/main_window.h"
#include "wizard/save_dialogs.h"
#include "wizard/support_contacts.h"

namespace tessaly::wizard {

namespace {

// The "Log File Selection" dialog's template and controls.
constexpr int kLogFileSelection = 164;
constexpr int kLogFileLabel = 1165, kLogFileList = 1030;

// The report by e-mail: the desktop's mail composer with the file attached.
constexpr const char* kMailSubject = "Tessaly Log File";
constexpr const char* kMailNote = "Attachment contains Tessaly Log File";

// Asks which report file to show; the path chosen or typed, nullopt on Cancel.
std::optional<std::string> chooseLogFile(wxWindow* parent, Session& session, DialogHost& host,
                                         const std::string& reportFile) {
  wxDialog dialog(parent, wxID_ANY, "Log File Selection", wxDefaultPosition, wxDefaultSize,
                  wxCAPTION | wxCLOSE_BOX | wxSYSTEM_MENU);
  const int g = dialog.ConvertDialogToPixels(wxSize(4, 0)).x;
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(new wxStaticText(&dialog, kLogFileLabel, "Select Log File :"), 0,
           wxLEFT | wxRIGHT | wxTOP, 2 * g);
  wxArrayString entries;
  entries.Add(wxString::FromUTF8(reportFile));
  auto* list =
      new wxComboBox(&dialog, kLogFileList, entries[0], wxDefaultPosition,
                     dialog.ConvertDialogToPixels(wxSize(220, -1)), entries, wxCB_DROPDOWN);
  list->SetSelection(0);
  top->Add(list, 0, wxEXPAND | wxALL, 2 * g);
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->AddStretchSpacer();
  auto* ok = new wxButton(&dialog, 1, "OK");
  ok->SetDefault();
  buttons->Add(ok);
  buttons->Add(new wxButton(&dialog, 2, "Cancel"), 0, wxLEFT, g);
  top->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 2 * g);
  dialog.SetSizerAndFit(top);
  applyCatalogueTexts(dialog, session, texts::kLogFileSelection);
  dialog.SetEscapeId(2);
  dialog.SetAffirmativeId(1);
  dialog.Bind(wxEVT_BUTTON, [&dialog](wxCommandEvent& e) { dialog.EndModal(e.GetId()); });
  dialog.CentreOnParent();
  dialog.CallAfter([&dialog, &host] { host.dialogReady(dialog, kLogFileSelection); });
  if (dialog.ShowModal() != 1) return std::nullopt;
  return list->GetValue().utf8_string();
}

}  // namespace

void MainWindow::writeReport(ReportOccasion occasion) {
  const bool entireDisk = static_cast<wxCheckBox*>(control(id::kSearchEntireDisk))->GetValue();
  writeScanReport(*session_, occasion, reportFacts(*session_, recoveryMode_, entireDisk),
                  printedReportLines_);
}

void MainWindow::openForViewing(const std::string& path) {
  if (options_.openFile)
    options_.openFile(path);
  else
    openSavedFile(path);
}

void MainWindow::viewReport() {
  const std::optional<std::string> chosen =
      chooseLogFile(this, *session_, *this, reportPath(*session_));
  if (!chosen) return;
  if (!platform::fileExists(*chosen)) {
    session_->messageBox(session_->text(msg::kNoLogFile), MessageButtons::Ok,
                         MessageIcon::Information);
    return;
  }
  openForViewing(*chosen);
}

void MainWindow::printReport() {
  std::vector<std::string> lines(printedReportLines_.lines.begin(),
                                 printedReportLines_.lines.end());
  printLines(lines);
}

void MainWindow::emailReport() {
  if (!platform::programOnPath(support::kMailComposer)) {
    session_->messageBox(session_->text(msg::kNoEmailSubsystem));
    return;
  }
  const std::string path = reportPath(*session_);
  if (!platform::fileExists(path)) return;
  // The composer shows the message; the user sends or discards it.
  if (!platform::startDetached(support::kMailComposer, {"--subject", kMailSubject, "--body", kMailNote,
                                               "--attach", path, support::kMailbox}))
    session_->messageBox(session_->text(msg::kNoEmailSubsystem));
}

void MainWindow::clearReports() {
  std::remove(reportPath(*session_).c_str());
}

void MainWindow::viewDirectoryList() {
  if (directoryListOpen_ || wizardPage_ < WizardPage::Results) return;
  directoryListOpen_ = true;
  const std::string path = directoryListPath(session_->dataFolder(), false);
  writeDirectoryListFile(scan_->folderTree, path, kViewLineEnd);
  directoryListOpen_ = false;
  openForViewing(path);
}

void MainWindow::printDirectoryList() {
  if (directoryListOpen_ || wizardPage_ < WizardPage::Results) return;
  directoryListOpen_ = true;
  const std::string path = directoryListPath(session_->dataFolder(), true);
  if (writeDirectoryListFile(scan_->folderTree, path, kPrintLineEnd)) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    printLines(printFileLines(bytes));
  }
  directoryListOpen_ = false;
}

bool MainWindow::printLines(const std::vector<std::string>& lines) {
  // Nothing to print (an empty directory list) starts no printing at all.
  if (lines.empty()) return false;
  LinePrintout printout(lines);
  if (options_.printToFile) {
    wxPrintData data;
    data.SetFilename(wxString::FromUTF8(*options_.printToFile));
    data.SetPrintMode(wxPRINT_MODE_FILE);
    wxPrintDialogData dialogData(data);
    dialogData.SetFromPage(1);
    dialogData.SetToPage(std::numeric_limits<int>::max());
    wxPostScriptPrinter printer(&dialogData);
    return printer.Print(this, &printout, false);
  }
  wxPrintDialogData dialogData;
  dialogData.EnablePageNumbers(false);
  dialogData.EnableSelection(false);
  wxPrinter printer(&dialogData);
  return printer.Print(this, &printout, true);
}

}  // namespace tessaly::wizard
