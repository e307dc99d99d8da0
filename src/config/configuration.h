// The configuration key "KestrelOrgNTFS" (installation folder and language file), the
// language file chosen at start, and the tables that give each window's controls their
// catalogue texts.
#pragma once

#include <functional>
#include <span>
#include <string>

namespace tessaly {

class Session;
namespace platform {
class Registry;
}

constexpr const char* kConfigurationKey = "KestrelOrgNTFS";
constexpr const char* kFilePathValue = "FilePath";
constexpr const char* kLanguageValue = "LngFile";

// The configuration values; a missing key or value reads as "".
std::string readInstallFolder(const platform::Registry& registry);
std::string readLanguageSetting(const platform::Registry& registry);
// Records the installation folder (the registration step of an installation).
bool registerInstallFolder(platform::Registry& registry, const std::string& folder);
// The language commands store their choice as LngFile (the key is created when missing).
bool storeLanguageSetting(platform::Registry& registry, const std::string& languageFile);

// The language file used from start: an accepted name ("EnglishA.dat", "FrenchA.dat",
// "DutchA.dat", "GermanA.dat", compared without regard to case) in its own spelling,
// anything else "EnglishA.dat".
std::string chooseLanguageFile(const std::string& setting);

// Start-up: reads FilePath into session.installFolder (an empty one shows "Tessaly is
// not installed properly" and ends the program), chooses the language file and loads
// the message catalogue for the session.
void loadConfiguration(Session& session);

// One row of a window's text table: the control's text becomes the catalogue message.
struct TextBinding {
  int message;
  int controlId;
};

// Apply dialog texts: for each row whose lookup finds a text, setText(controlId, text);
// a row that is not found keeps the control's own text.
void applyDialogTexts(const Session& session, std::span<const TextBinding> table,
                      const std::function<void(int, const std::string&)>& setText);

// The text tables of the windows.
namespace texts {
extern const TextBinding kMainWindow[27];
extern const TextBinding kBadSector[5];
extern const TextBinding kReplaceFile[5];
extern const TextBinding kErrorWriting[3];
extern const TextBinding kCalculatingSize[3];
extern const TextBinding kLogFileSelection[3];
extern const TextBinding kFileSaving[5];
extern const TextBinding kSaving[9];
extern const TextBinding kSettings[18];
}  // namespace texts

}  // namespace tessaly
