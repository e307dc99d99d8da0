// The Help and Support commands: the help book shown in the HTML help viewer (or, when
// the viewer cannot read it, its first page in the desktop's browser), the balloon help
// switch, the support contacts and Live Update.
#include <wx/html/helpctrl.h>

#include "platform/paths.h"
#include "platform/process.h"
#include "wizard/ids.h"
#include "wizard/main_window.h"
#include "wizard/support_contacts.h"

namespace tessaly::wizard {

namespace {

// The help book: a folder of the installation folder holding the viewer's project file,
// its contents and index, and the pages with their pictures.
constexpr const char* kHelpBook = "TessalyHelp.chm";
constexpr const char* kHelpProject = "TessalyHelp.hhp";
constexpr const char* kHelpFirstPage = "index.html";
// The help window's title; the page's own title follows it.
constexpr const char* kHelpWindowTitle = "Tessaly FAt & NTFS - %s";

constexpr const char* kUpdateCaption = "Live Update";
constexpr const char* kUpdateText = "This feature is not currently available";

}  // namespace

wxFrame* MainWindow::helpWindow() const {
  if (!helpViewer_) return nullptr;
  wxFrame* frame = helpViewer_->GetFrame();
  return frame && frame->IsShown() ? frame : nullptr;
}

void MainWindow::openHelp() {
  // A help window already open is brought to the front; no second one opens.
  if (wxFrame* open = helpWindow()) {
    open->Raise();
    return;
  }
  const std::string book = platform::joinPath(session_->installFolder, kHelpBook);
  if (showHelpBook(platform::joinPath(book, kHelpProject))) return;
  // The viewer could not read the book: its first page in the desktop's browser. A book
  // that neither can open leaves nothing on screen.
  const std::string firstPage = platform::joinPath(book, kHelpFirstPage);
  if (platform::fileExists(firstPage)) openForViewing(firstPage);
}

bool MainWindow::showHelpBook(const std::string& project) {
  if (!platform::fileExists(project)) return false;
  if (!helpViewer_) {
    // One book: its chapters are the contents' top level.
    auto viewer = std::make_unique<wxHtmlHelpController>((wxHF_DEFAULT_STYLE | wxHF_MERGE_BOOKS) &
                                                         ~wxHF_BOOKMARKS);
    viewer->SetTitleFormat(kHelpWindowTitle);
    // The help window alone does not keep the program running.
    viewer->SetShouldPreventAppExit(false);
    wxLogNull quiet;  // a damaged book is reported by AddBook's result, not a log window
    if (!viewer->AddBook(wxFileName(wxString::FromUTF8(project)))) return false;
    helpViewer_ = std::move(viewer);
  }
  const bool opening = helpViewer_->GetFrame() == nullptr;
  if (!helpViewer_->DisplayContents()) return false;
  wxFrame* frame = helpViewer_->GetFrame();
  if (frame && opening) {
    // Room for the pages' pictures of the window beside the contents.
    frame->SetIcons(GetIcons());
    frame->SetSize(FromDIP(wxSize(980, 720)));
    frame->CentreOnScreen();
  }
  return true;
}

void MainWindow::toggleBalloonHelp() {
  balloonHelp_ = !balloonHelp_;
  // Off also hides a note shown at the moment.
  wxToolTip::Enable(balloonHelp_);
  GetMenuBar()->Check(menuItemId(id::kMenuBalloonHelp), balloonHelp_);
}

void MainWindow::openSupportPage() {
  openForViewing(support::kWebPage);
}

void MainWindow::writeToSupport() {
  // A new message with no subject and no text; nothing without a mail composer.
  if (!platform::programOnPath(support::kMailComposer)) return;
  platform::startDetached(support::kMailComposer, {support::kMailbox});
}

void MainWindow::showSupportTelephone() {
  session_->messageBox(support::kTelephoneText, MessageButtons::Ok, MessageIcon::Information);
}

void MainWindow::liveUpdate() {
  session_->dialogs->messageBox(kUpdateText, kUpdateCaption, MessageButtons::Ok,
                                MessageIcon::Error);
}

}  // namespace tessaly::wizard
