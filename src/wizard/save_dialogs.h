// The dialogs around a save: Settings (the save options), File Saving (the destination),
// "Calculating File Size" (the size-count thread) and Saving (the save thread with its
// progress, Stop and Skip). Each carries the control ids of its window template, so that
// the window's mapping of the engines' reports and the catalogue texts reach its controls.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "config/configuration.h"
#include "save/save_job.h"
#include "save/save_options.h"
#include "session/session.h"
#include "wizard/wx.h"

namespace tessaly::wizard {

class ProgressBar;

// Template numbers of the dialogs, as the window tells its observers which one is open.
namespace dialog {
constexpr int kFileSaving = 154;
constexpr int kSaving = 155;
constexpr int kSettings = 157;
constexpr int kCalculatingSize = 184;
}  // namespace dialog

// Control ids of the dialogs (the fields the save reports reach are in wizard/ids.h).
namespace dialog::id {
constexpr int kOk = 1, kCancel = 2;
// Settings.
constexpr int kIncludeDeleted = 1110, kExcludeDeleted = 1112, kDeletedOnly = 1111;
constexpr int kFileUpdatedBox = 1035;
constexpr int kEarlierLabel = 1154, kEarlierDay = 1030, kEarlierMonth = 1119, kEarlierYear = 1120;
constexpr int kAfterLabel = 1155, kAfterDay = 1031, kAfterMonth = 1121, kAfterYear = 1122;
constexpr int kSavingModeBox = 1151;
constexpr int kAuto = 1097, kFat1 = 1098, kFat2 = 1029, kContiguous = 1099, kFreeClusters = 1101;
constexpr int kSaveSelected = 1123, kSaveAll = 1124, kInvertSelection = 1125;
constexpr int kExtensionsBox = 1152, kExtensionEdit = 1126, kExtensionList = 1127;
constexpr int kAdd = 1128, kRemove = 1129;
constexpr int kStreams = 1180;  // NTFS named streams saved beside their files
// File Saving.
constexpr int kPathLabel = 1156, kPath = 1005, kBrowse = 1002, kSettingsButton = 1130;
// "Calculating File Size".
constexpr int kCalculatingText = 1168, kTotalFilesLabel = 1169;
// Saving.
constexpr int kFileNameLabel = 1157, kFilePathLabel = 1158, kTotalFilesLabel2 = 1159,
              kCurrentFileLabel = 1160, kDataLabel = 1161, kTimeRemainingLabel = 1162,
              kTimeElapsedLabel = 1163;
constexpr int kStop = 1, kSkip = 1002;
}  // namespace dialog::id

// What the dialogs need of the main window.
class DialogHost {
 public:
  virtual ~DialogHost() = default;
  // While a dialog is open its fields take the updates the engines post to their ids.
  virtual void attachControl(int id, wxWindow* control) = 0;
  virtual void detachControl(int id) = 0;
  // Runs call on the interface thread once every update posted before it has landed.
  virtual void afterUpdates(std::function<void()> call) = 0;
  // Applies every update posted so far (interface thread).
  virtual void flushUpdates() = 0;
  // A dialog is open and ready for the user.
  virtual void dialogReady(wxDialog& dialog, int templateNumber) = 0;
  // Waits on the interface thread until done() holds, still answering the questions
  // that workers ask meanwhile.
  virtual void waitUntil(const std::function<bool()>& done) = 0;
};

// Sets the texts of a dialog's controls from the message catalogue; labels take the
// suffix (the Saving dialog's field labels end in ": "), buttons do not.
void applyCatalogueTexts(wxWindow& dialog, const Session& session, std::span<const TextBinding> table,
                         const std::string& labelSuffix = "");

// ------------------------------------------------------------------ Settings (157)

class SettingsDialog : public wxDialog {
 public:
  SettingsDialog(wxWindow* parent, Session& session, SaveSettings& settings, DialogHost& host);

 private:
  void add();
  void remove();
  void apply();
  void cancel();
  void fillListBox();
  void radio(int id);

  Session& session_;
  SaveSettings& settings_;
  DialogHost& host_;
  wxTextCtrl* edit_ = nullptr;
  wxListBox* list_ = nullptr;
  wxButton* removeButton_ = nullptr;
  wxChoice* dates_[6] = {};
};

// ------------------------------------------------------------------ File Saving (154)

class FileSavingDialog : public wxDialog {
 public:
  // settingsEnabled: the Settings button works (not in Raw mode, not for the folder tree).
  // openSettings shows the Settings dialog over the window it is given.
  // destination: the folder shown at first; set to the folder accepted, cleared on Cancel.
  FileSavingDialog(wxWindow* parent, Session& session, DialogHost& host, std::string& destination,
                   bool settingsEnabled, std::function<void(wxWindow*)> openSettings);

 private:
  void browse();
  void ok();

  Session& session_;
  DialogHost& host_;
  std::string& destination_;
  wxTextCtrl* path_ = nullptr;
  bool settingsEnabled_;
  std::function<void(wxWindow*)> openSettings_;
};

// ------------------------------------------------------------------ Calculating (184)

// The size calculation runs on its own thread behind this dialog, which closes itself
// when the thread ends. Stop asks and ends the count where it stands.
class CalculatingDialog : public wxDialog {
 public:
  CalculatingDialog(wxWindow* parent, Session& session, SaveJob& job, DialogHost& host);
  ~CalculatingDialog() override;

 private:
  void start();
  void stop();
  void finished();

  Session& session_;
  SaveJob& job_;
  DialogHost& host_;
  wxButton* stopButton_ = nullptr;
  int state_ = 0;  // 0 not started, 1 running, 2 finished
  std::jthread thread_;
  std::atomic<bool> finished_{false};  // the thread has done its last step
  bool asking_ = false;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // for calls posted by the thread
};

// ------------------------------------------------------------------ Saving (155)

// Runs the size calculation, then the save thread; shows the engines' progress and
// closes itself when the save has ended.
class SavingDialog : public wxDialog {
 public:
  SavingDialog(wxWindow* parent, Session& session, SaveJob& job, DialogHost& host);
  ~SavingDialog() override;
  // What the save thread met that nobody was asked about (an unexpected failure).
  const std::string& error() const { return error_; }

 private:
  void start();
  void stop();
  void skip();
  void saveEnded();

  Session& session_;
  SaveJob& job_;
  DialogHost& host_;
  ProgressBar* progress_ = nullptr;
  std::jthread thread_;
  std::atomic<bool> running_{false};
  bool asking_ = false;
  bool endPending_ = false;
  bool closed_ = false;
  std::string error_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // for calls posted by the thread
};

}  // namespace tessaly::wizard
