// How the engines ask the front end every modal question. The wizard shows real
// dialogs, the CLI answers from its flags or the terminal, tests script the answers.
#pragma once

#include <optional>
#include <string>

#include "session/values.h"

namespace tessaly {

enum class MessageIcon { None, Error, Question, Information, Warning };
enum class MessageButtons { Ok, YesNo };
// Answers of a message box.
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A system-modal message box; returns kIdOk, kIdYes or kIdNo.
  virtual int messageBox(const std::string& text, const std::string& caption,
                         MessageButtons buttons, MessageIcon icon) = 0;
  // "Bad Sector Encountered": Retry, Skip, Retry All, Skip All.
  virtual BadSectorAnswer askBadSector() = 0;
  // "Replace File Confirmation" for an existing destination file.
  virtual ReplaceAnswer askReplace(const std::string& path) = 0;
  // "Error Writing Destination": Abort or Skip.
  virtual WriteErrorAnswer askErrorWriting(const std::string& path) = 0;
  // The desktop's folder chooser; nullopt when cancelled.
  virtual std::optional<std::string> chooseFolder(const std::string& start) = 0;
  // The desktop's file choosers, showing the files that match filter ("*.SAV") in
  // folder. The save chooser asks before it returns a file that exists; the open
  // chooser returns only files that exist. nullopt when cancelled.
  virtual std::optional<std::string> chooseSaveFile(const std::string& folder, const std::string& filter) = 0;
  virtual std::optional<std::string> chooseOpenFile(const std::string& folder, const std::string& filter) = 0;
};

}  // namespace tessaly
