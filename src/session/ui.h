// How the engines talk to whichever front end runs them: they report through controls
// named by the main window's control ids, and they ask every modal question through
// Dialogs. The wizard posts to its own controls and shows real dialogs, the CLI prints
// and answers from its flags, tests record and script.
#pragma once

#include <optional>
#include <string>

namespace tessaly {

// Control ids of the main window that the engines write to.
namespace control {
constexpr int kDiskTree = 100;
constexpr int kInformationList = 1001;
constexpr int kScanProgress = 1046;
constexpr int kStatusLine = 1047;
constexpr int kBootSectorsLabel = 1054;
constexpr int kBootSectorsCount = 1055;
constexpr int kFoundLabel = 1056;
constexpr int kFoundCount = 1057;
constexpr int kStopSearching = 1065;
constexpr int kCurrentFolderLabel = 1066;
constexpr int kCurrentFolder = 1067;
// The Saving dialog's fields.
constexpr int kSaveFileName = 1071;
constexpr int kSaveTotalFiles = 1072;
constexpr int kSaveCurrentFile = 1074;
constexpr int kSaveFilePath = 1075;
constexpr int kSaveTotalCount = 1141;  // "Calculating File Size" dialog: Total Files
constexpr int kSaveDataDone = 1143;
constexpr int kSaveDataTotal = 1144;
constexpr int kSaveProgress = 1145;
constexpr int kSaveTimeRemaining = 1146;
constexpr int kSaveTimeElapsed = 1147;
}  // namespace control

class Controls {
 public:
  virtual ~Controls() = default;
  virtual void setText(int id, const std::string& text) = 0;
  // Position of a progress bar, 0 to 100.
  virtual void setProgress(int id, int percent) = 0;
  virtual void show(int id, bool visible) = 0;
  virtual void enable(int id, bool enabled) = 0;
  virtual void focus(int /*id*/) {}
};

// A front end that shows nothing.
class NullControls : public Controls {
 public:
  void setText(int, const std::string&) override {}
  void setProgress(int, int) override {}
  void show(int, bool) override {}
  void enable(int, bool) override {}
};

enum class MessageIcon { None, Error, Question, Information, Warning };
enum class MessageButtons { Ok, YesNo };
// Answers of a message box.
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Answers of the three prompts (the values the engines store in their policies).
namespace answer {
constexpr int kRetry = 0, kSkip = 1, kRetryAll = 2, kSkipAll = 3;          // bad sector
constexpr int kYes = 0, kNo = 1, kYesToAll = 2, kNoToAll = 3;              // replace
constexpr int kAbort = 0, kSkipFile = 1;                                   // error writing
}  // namespace answer

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A system-modal message box; returns kIdOk, kIdYes or kIdNo.
  virtual int messageBox(const std::string& text, const std::string& caption,
                         MessageButtons buttons, MessageIcon icon) = 0;
  // "Bad Sector Encountered": Retry, Skip, Retry All, Skip All.
  virtual int askBadSector() = 0;
  // "Replace File Confirmation" for an existing destination file.
  virtual int askReplace(const std::string& path) = 0;
  // "Error Writing Destination": Abort or Skip.
  virtual int askErrorWriting(const std::string& path) = 0;
  // The desktop's folder chooser; nullopt when cancelled.
  virtual std::optional<std::string> chooseFolder(const std::string& start) = 0;
};

}  // namespace tessaly
