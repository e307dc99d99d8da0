// Message lookup by number with the English fallback: every user-visible text of the
// engines and the wizard goes through here. The catalogue component is loaded by name
// from the installation folder and asked through its GetMSG entry point.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

namespace platform {
class Registry;
}

// Title of every message box unless its owner names another.
constexpr const char* kProgramTitle = "Tessaly - Kestrel";
// File name of the catalogue component in the installation folder.
constexpr const char* kCatalogueComponent = "libTYParseMsgA.so";

class MessageCatalogue {
 public:
  // No component, no language file: every lookup fails and every text is English.
  MessageCatalogue() = default;
  // installFolder: where the component and the language files lie; languageFile: a name.
  MessageCatalogue(std::string installFolder, std::string languageFile);
  ~MessageCatalogue();
  MessageCatalogue(const MessageCatalogue&) = delete;
  MessageCatalogue& operator=(const MessageCatalogue&) = delete;

  // Look up message: the catalogue text, "" when the component answered "not found",
  // nullopt when the component is missing. Callable from any thread.
  std::optional<std::string> lookup(int number) const;
  // The fallback rule: the catalogue text when found and not empty, else english.
  std::string text(int number, std::string_view english) const;

  void setLanguageFile(const std::string& name);
  std::string languageFile() const;
  std::string installFolder() const;
  // installFolder + "/" + the current language file name.
  std::string languagePath() const;

 private:
  using GetMsgFn = int (*)(int, char*, const char*);
  GetMsgFn entry() const;

  mutable std::mutex mutex_;
  std::string installFolder_;
  std::string languageFile_;
  mutable void* handle_ = nullptr;
  mutable GetMsgFn getMsg_ = nullptr;
  mutable bool triedLoad_ = false;
};

}  // namespace tessaly
