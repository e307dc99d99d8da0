// The main window: one fixed window of 493 x 291 dialog units whose controls carry the
// template's ids, a wizard of pages that shows and hides them, the command table that
// maps ids to handlers, and the scan thread. It is the engines' Report: it shows each
// report on the control that displays it, from any thread.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/device.h"
#include "platform/registry.h"
#include "raw/raw_search.h"
#include "records/recovery_log.h"
#include "records/report.h"
#include "save/save_options.h"
#include "save/save_job.h"
#include "session/scan_state.h"
#include "session/session.h"
#include "wizard/rules.h"
#include "wizard/save_dialogs.h"
#include "wizard/ui_queue.h"
#include "wizard/wx.h"

class wxHtmlHelpController;

namespace tessaly::wizard {

class HelpPane;
class ProgressBar;
class TreeMirror;
class WxDialogs;

struct WindowOptions {
  platform::DeviceTable* devices = nullptr;  // the disks and the floppy; required
  Dialogs* dialogs = nullptr;                // null: the window's own dialogs
  std::optional<platform::Registry> registry;  // null: the user's registry folder
  // How the program ends once its workers are ended (default: the window closes, and
  // with it the program). Gets the exit code.
  std::function<void(int)> onTerminate;
  // Told when one of the window's own dialogs is open and ready for the user, with its
  // template number (dialog::kSettings ...). Tests act on the open dialog here.
  std::function<void(wxDialog&, int)> dialogReady;
  // Shows a popup menu at a point of a window and returns the item chosen (wxID_NONE:
  // none). Null: the desktop's popup menu.
  std::function<int(wxWindow&, wxMenu&, const wxPoint&)> popupMenu;
  // Opens a saved file with the desktop's program for its type. Null: openSavedFile.
  // The report, the directory list, the support web page and, when the help viewer
  // cannot read the help book, the book's first page are opened with it too.
  std::function<bool(const std::string&)> openFile;
  // Prints without asking, as PostScript into this file, instead of through the print
  // dialog (tests).
  std::optional<std::string> printToFile;
};

// The wizard's pages.
enum class WizardPage { None = -1, Disk = 0, Partition = 1, Scan = 2, Results = 3 };

// Recovery modes.
constexpr int kModeNone = -1, kModeQuick = 1, kModeAdvanced = 2, kModeRaw = 3;

class MainWindow : public wxFrame, public Report, private DialogHost {
 public:
  explicit MainWindow(WindowOptions options);
  ~MainWindow() override;

  // The main window initialisation: configuration, language, disk enumeration, texts,
  // the first step picture. Throws ProgramExit where the program must end.
  void initialise();

  // ---------------------------------------------------------------- controls by id
  // Updates of the window's controls, from any thread (applied in order on the
  // interface thread).
  void setText(int id, const std::string& text);
  void setProgress(int id, int percent);
  void show(int id, bool visible);
  void enable(int id, bool enabled);
  void focus(int id);

  // ---------------------------------------------------------------- Report
  void status(const std::string& text) override;
  void counter(Counter which, std::optional<std::uint64_t> value) override;
  void counterLabel(Counter which, const std::string& label) override;
  void scanProgress(int percent) override;
  void scanProgressText(const std::string& text) override;
  void showScanProgress() override;
  void currentFolder(const std::string& path) override;
  void stopOffered(bool offered) override;
  void diskListReady() override;
  void saveCounted(int files) override;
  void saveFileStarted(int filesBegun, int filesCounted, const std::string& name, const std::string& path) override;
  void saveFolderStarted(const std::string& path) override;
  void saveData(std::uint64_t written, std::uint64_t total, int percent) override;
  void saveTimes(std::int64_t elapsed, std::int64_t remaining) override;
  void saveCurrentFile(std::uint64_t written, std::uint64_t size) override;

  // The window system's id of a menu command (its ids must stay below 32768; the
  // template's command ids do not): command % 10000 + 20000. Other ids are their own.
  static int menuItemId(int command);
  // True for the template's menu command ids.
  static bool isMenuCommand(int id);

  // Runs the command table's handler of id, as a click on that control or menu item
  // does. False when the table has no such command.
  bool command(int id);

  // ---------------------------------------------------------------- state
  Session& session() { return *session_; }
  // The current scan: what the last scan found (an empty one before the first).
  ScanState& scan() { return *scan_; }
  FileListModel& fileList() { return fileList_; }
  SaveSource saveSource() const { return saveSource_; }
  void setSaveSource(SaveSource source) { saveSource_ = source; }
  SaveOptions& saveOptions() { return saveOptions_; }
  const std::string& destination() const { return destination_; }
  // The save that runs, or the one that ran last (null before the first).
  SaveJob* saveJob() { return saveJob_.get(); }
  // Least time between two progress reports of a save (0: after every block).
  void setSaveProgressInterval(int milliseconds) { saveProgressIntervalMs_ = milliseconds; }
  WizardPage wizardPage() const { return wizardPage_; }
  int recoveryMode() const { return recoveryMode_; }
  int focusContext() const { return focusContext_; }
  bool exitInProgress() const { return exitInProgress_ != 0; }
  const std::string& onlineHelpText() const { return onlineHelpText_; }
  const std::string& stepPicture() const { return stepPicture_; }
  const std::string& logPath() const { return logPath_; }
  bool entireDiskSelected() const { return entireDiskSelected_; }
  bool scanRunning() const { return scanThread_ != nullptr; }
  bool partitionSearchRunning() const { return searchThread_ != nullptr; }
  bool rawRunning() const { return rawThread_ != nullptr; }
  bool loadingLog() const { return loadingLog_ != 0; }
  // The lines Print Report prints, as the last report left them.
  const PrintedReportLines& printedReportLines() const { return printedReportLines_; }
  bool terminated() const { return terminated_; }
  TreeModel& diskTree() { return diskTree_; }
  TreeModel& partitionTree() { return partitionTree_; }
  TreeMirror& diskMirror() { return *diskMirror_; }
  TreeMirror& partitionMirror() { return *partitionMirror_; }
  TreeMirror& folderMirror() { return *folderMirror_; }
  TreeModel& fileSystemTree() { return fileSystemTree_; }
  TreeMirror& fileSystemMirror() { return *fileSystemMirror_; }
  // The file system an Advanced scan will prepare: its row index (0-based).
  std::size_t chosenFileSystem() const { return chosenFileSystem_; }
  // The rows of the information / file list, column 0.
  std::vector<std::string> listRows() const;
  std::vector<std::string> listColumns() const;
  // The control of an id, or null.
  wxWindow* control(int id) const;
  // Applies every control update that workers posted (interface thread).
  void flushUpdates() override { queue_->flush(); }

  // A click on a tree item: the disk tree, the partition tree or the folder tree.
  void clickTreeItem(int treeId, TreeItem item);

  // ---------------------------------------------------------------- results views
  // A click on the check box of a folder-tree item.
  void clickCheckBox(TreeItem item);
  // A user's expanding or collapsing of a folder-tree item.
  void expandFolder(TreeItem item);
  void collapseFolder(TreeItem item);
  // Right clicks: on a row of the file list (-1: on no row) and on the folder tree.
  void rightClickList(long row, const wxPoint& at);
  void rightClickTree(const wxPoint& at);
  // Enter or a double click on a row of the file list.
  void openListItem(long row);
  // The folder whose contents the file list shows (kNoItem: none yet).
  TreeItem currentFolderItem() const { return currentFolderItem_; }
  int listCursor() const { return listCursor_; }
  bool allFilesSelected() const { return allFilesSelected_ != 0; }
  wxListCtrl& fileListControl() { return *list_; }

  // ---------------------------------------------------------------- help
  // The help viewer's window while it is open, else null.
  wxFrame* helpWindow() const;
  bool balloonHelp() const { return balloonHelp_; }

 private:
  struct ScanOutcome {
    bool scanned = false;              // the engine ran the file system's Quick scan
    bool deviceLost = false;           // ... and the disk stopped answering during it
    bool ended = false;                // ended at a safe point by Stop or exit
    std::optional<int> exitCode;       // the engine ended the program
    bool fromLog = false;              // a recovery log was loaded instead of a scan
    bool fileSystemPrepared = false;   // the file-system thread built the chosen one's tree
    std::string error;                 // an unexpected failure
  };
  struct ScanWorker {
    std::jthread thread;
    std::atomic<bool> finished{false};
    ScanOutcome outcome;
    unsigned token = 0;
  };

  // ------------------------------------------------------------ construction (main_window.cpp)
  void createMenu();
  void createControls();
  void createPictureButtons();
  void labelPictureButtons();
  void createRawControls();
  wxWindow* place(wxWindow* window, int x, int y, int w, int h);
  void buildCommandTable();
  void applyUpdate(const UiOp& op);
  void onCommandEvent(wxCommandEvent& event);
  void onClose(wxCloseEvent& event);

  // ------------------------------------------------------------ window helpers
  void setPicture(const std::string& name);
  void setHelp(const std::vector<std::string>& lines);
  void setHelpText(const std::string& text);
  void enableMenu(int id, bool enabled);
  void showRange(int first, int last, bool visible);
  void resetInformationList();
  void setInformationRows(const std::vector<std::string>& rows);
  void setResultColumns();
  void placeInformationList(int x, int y, int w, int h);
  std::string fieldText(int id) const;
  void uncheckModes();
  void notAvailableYet(const std::string& what);
  void setSingleSelection(bool single);

  // ------------------------------------------------------------ DialogHost
  void attachControl(int id, wxWindow* control) override;
  void detachControl(int id) override;
  void afterUpdates(std::function<void()> call) override;
  void dialogReady(wxDialog& dialog, int templateNumber) override;
  void waitUntil(const std::function<bool()>& done) override;

  // ------------------------------------------------------------ start and end (main_window.cpp)
  void exitSequence(int blanks);
  void closeSequence();
  void terminateSelf(int code = 0);
  void endWorkers();
  void saveRecoveryLog();
  void about();
  void setLanguage(int commandId);

  // ------------------------------------------------------------ help and support (help_commands.cpp)
  void openHelp();
  bool showHelpBook(const std::string& project);
  void toggleBalloonHelp();
  void openSupportPage();
  void writeToSupport();
  void showSupportTelephone();
  void liveUpdate();

  // ------------------------------------------------------------ wizard steps (wizard_steps.cpp)
  void showDiskPage();
  void showPartitionPage(bool visible);
  void showScanPage(bool visible);
  void treeItemClicked(int treeId, TreeItem item);
  void diskClicked(TreeItem item);
  void partitionClicked(TreeItem item);
  void folderClicked(TreeItem item);
  void modeChosen(int mode);
  void next();
  void back();
  void nextOnDiskPage();
  void nextWithFloppy();
  void setUpPartitionPage();
  void fillPartitionPage(std::size_t index);
  void nextOnPartitionPage();
  void searchEntireDisk();
  void tearDownResults();
  bool workerRunning() const {
    return scanThread_ != nullptr || rawThread_ != nullptr || searchThread_ != nullptr;
  }

  // ------------------------------------------------------------ partition search (partition_search_page.cpp)
  struct SearchWorker {
    std::jthread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    std::optional<int> exitCode;
    unsigned token = 0;
  };
  void searchMorePartitions();
  void partitionSearchEnded(unsigned token);
  void endPartitionSearch();
  void waitForSearch();
  void hideDiskPage();

  // ------------------------------------------------------------ results views (results_view.cpp)
  void bindResultsViews();
  void resetResultsView();
  void selectFolder(TreeItem item);
  void fillFileList(TreeItem item);
  void mirrorFileList();
  void listSelectionChanged(long row, bool selected);
  void listKey(int key);
  void onCharHook(wxKeyEvent& event);
  void saveAndOpenFile(const FileRow& row);
  int popup(wxWindow& window, wxMenu& menu, const wxPoint& at);
  TreeItem selectedFolder() const;

  // ------------------------------------------------------------ save commands (save_commands.cpp)
  void chooseSaveSource();
  void startSave();
  void askDestination();
  void runSavingDialog();
  void openSaveSettings(wxWindow* parent = nullptr);
  void selectAllFiles();
  void unselectAllFiles();
  void returnFocus();

  // ------------------------------------------------------------ scan thread (scan.cpp)
  void newScan();
  void startScan();
  void runScan(ScanWorker& worker);
  void scanThreadEnded(unsigned token);
  void finishScan(const ScanOutcome& outcome);
  void resultsOfQuickScan(bool floppy);
  // The note of a range cut at the end of the disk, once, in a message box.
  void tellDiskEnd();
  void endOfQuickRun();
  void stopScan();
  void waitForWorker(ScanWorker& worker);
  void startWorker(std::function<void(ScanOutcome&)> body);

  // ------------------------------------------------------------ Advanced pages (advanced_pages.cpp)
  void showAdvancedPartitionPage();
  void resultsOfAdvancedSearch(const ScanOutcome& outcome);
  void fillFileSystemTree();
  void fileSystemClicked(TreeItem item);
  void showFileSystemSummary(std::size_t index);
  void startChosenFileSystem();
  // Shows the results page's controls as a finished scan leaves them.
  void showResultsControls();
  void resultsOfChosenFileSystem();
  void backToFileSystemPage();

  // ------------------------------------------------------------ raw recovery (raw_page.cpp)
  struct RawWorker {
    std::jthread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    raw::RawSearchOutcome outcome;
    std::string error;
    unsigned token = 0;
  };
  void setUpRawPage();
  void rawTypeChecked(int item);
  void chooseEntireDisk();
  void chooseSectorRange();
  void startStopRecovery();
  void askToStopRawSearch();
  bool rawDestinationReady();
  void startRawSearch(raw::RawSearchRequest request);
  void rawFileCarved(raw::RawType type, std::uint32_t count);
  void rawThreadEnded(unsigned token);
  void endRawThread();
  void rawControlsAfterSearch();

  // ------------------------------------------------------------ recovery log (log_commands.cpp)
  void saveLogCommand(bool button);
  void loadLogCommand();
  void loadLogButton();
  void loadRecoveryLog();
  void restoreWizardAfterLoadCancel();
  void startLogLoad(RecoveryLog log);

  // ------------------------------------------------------------ reports (report_commands.cpp)
  void writeReport(ReportOccasion occasion);
  void viewReport();
  void printReport();
  void emailReport();
  void clearReports();
  void viewDirectoryList();
  void printDirectoryList();
  // Prints the lines through the print dialog (or into printToFile); false when nothing
  // was printed.
  bool printLines(const std::vector<std::string>& lines);
  void openForViewing(const std::string& path);

  // ------------------------------------------------------------ members
  WindowOptions options_;
  std::unique_ptr<WxDialogs> ownDialogs_;
  Dialogs* dialogs_ = nullptr;
  std::unique_ptr<UiQueue> queue_;
  std::unique_ptr<Session> session_;
  std::shared_ptr<ScanState> scan_ = std::make_shared<ScanState>();
  FileListModel fileList_;
  SaveSource saveSource_ = SaveSource::CheckedFolders;
  SaveOptions saveOptions_;
  std::string destination_;
  int saveProgressIntervalMs_ = 100;
  std::shared_ptr<ScanState> saveScan_;  // the scan saveJob_ reads, kept while it lives
  std::unique_ptr<SaveJob> saveJob_;

  wxPanel* panel_ = nullptr;
  std::map<int, wxWindow*> controls_;
  std::map<int, std::function<void()>> commands_;
  wxListCtrl* list_ = nullptr;
  wxTreeCtrl* diskTreeCtrl_ = nullptr;
  wxTreeCtrl* partitionTreeCtrl_ = nullptr;
  wxTreeCtrl* folderTreeCtrl_ = nullptr;
  wxTreeCtrl* fileSystemTreeCtrl_ = nullptr;
  wxStaticBitmap* picture_ = nullptr;
  HelpPane* helpPane_ = nullptr;
  wxRadioButton* noMode_ = nullptr;  // hidden member of the mode group: "none checked"
  wxChoice* typeList_ = nullptr;
  std::vector<wxStaticText*> modeHints_;
  wxImageList* smallIcons_ = nullptr;  // owned by the list control
  bool resultColumns_ = false;

  TreeModel diskTree_;
  TreeModel partitionTree_;
  std::unique_ptr<TreeMirror> diskMirror_;
  std::unique_ptr<TreeMirror> partitionMirror_;
  std::unique_ptr<TreeMirror> folderMirror_;
  // The file systems an Advanced search found ("File Systems", "File System n - TYPE").
  TreeModel fileSystemTree_;
  std::unique_ptr<TreeMirror> fileSystemMirror_;
  TreeItem firstFileSystemItem_ = kNoItem;
  std::size_t chosenFileSystem_ = 0;

  // The wizard's state.
  WizardPage wizardPage_ = WizardPage::None;
  int recoveryMode_ = kModeNone;
  int exitInProgress_ = 0;
  int focusContext_ = 0;
  std::string logPath_;
  std::string onlineHelpText_;
  std::string stepPicture_;
  bool entireDiskSelected_ = false;
  bool balloonHelp_ = true;
  bool terminated_ = false;
  int chosenPartition_ = 0;  // list position of the partition chosen on the partition page

  std::unique_ptr<ScanWorker> scanThread_;
  std::unique_ptr<SearchWorker> searchThread_;
  unsigned nextToken_ = 0;

  // Raw recovery.
  std::unique_ptr<RawWorker> rawThread_;
  bool rawEntireDisk_ = true;
  bool rawRowsShown_ = false;
  raw::RawTypeSet rawTypes_;  // the types of the search that runs or ran last

  // The recovery log and the reports.
  bool savingLog_ = false;
  int loadingLog_ = 0;
  bool recoverySaved_ = false;  // the results shown are kept in a recovery log
  PrintedReportLines printedReportLines_;
  bool directoryListOpen_ = false;

  // The help viewer, made when the help is first opened.
  std::unique_ptr<wxHtmlHelpController> helpViewer_;

  // The results views.
  TreeItem currentFolderItem_ = kNoItem;
  TreeItem lastSelectedItem_ = kNoItem;
  int listCursor_ = -1;
  int treeActive_ = 0;
  int treeClicked_ = 0;
  int allFilesSelected_ = 0;
  std::vector<FileRow> shownRows_;  // the rows the list control shows
  bool mirroringList_ = false;      // the list control and the model are being put in step
  bool saving_ = false;             // the Saving dialog is open
  std::unique_ptr<SaveSettings> saveSettings_;
};

}  // namespace tessaly::wizard
