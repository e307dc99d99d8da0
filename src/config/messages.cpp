#include "config/messages.h"

#include <dlfcn.h>

#include <array>

namespace tessaly {

MessageCatalogue::MessageCatalogue(std::string installFolder, std::string languageFile)
    : installFolder_(std::move(installFolder)), languageFile_(std::move(languageFile)) {}

MessageCatalogue::~MessageCatalogue() {
  if (handle_) ::dlclose(handle_);
}

MessageCatalogue::GetMsgFn MessageCatalogue::entry() const {
  // Called with mutex_ held. The component is loaded once; a missing one is tried once.
  if (!triedLoad_) {
    triedLoad_ = true;
    if (!installFolder_.empty()) {
      std::string path = installFolder_ + "/" + kCatalogueComponent;
      handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle_) getMsg_ = reinterpret_cast<GetMsgFn>(::dlsym(handle_, "GetMSG"));
    }
  }
  return getMsg_;
}

std::optional<std::string> MessageCatalogue::lookup(int number) const {
  std::string path;
  GetMsgFn getMsg;
  {
    std::lock_guard lock(mutex_);
    getMsg = entry();
    path = installFolder_ + "/" + languageFile_;
  }
  if (!getMsg) return std::nullopt;
  std::array<char, 256> buffer{};
  if (getMsg(number, buffer.data(), path.c_str()) == 0) return std::string();
  buffer.back() = '\0';
  return std::string(buffer.data());
}

std::string MessageCatalogue::text(int number, std::string_view english) const {
  auto found = lookup(number);
  if (found && !found->empty()) return *found;
  return std::string(english);
}

void MessageCatalogue::setLanguageFile(const std::string& name) {
  std::lock_guard lock(mutex_);
  languageFile_ = name;
}

std::string MessageCatalogue::languageFile() const {
  std::lock_guard lock(mutex_);
  return languageFile_;
}

std::string MessageCatalogue::installFolder() const {
  std::lock_guard lock(mutex_);
  return installFolder_;
}

std::string MessageCatalogue::languagePath() const {
  std::lock_guard lock(mutex_);
  return installFolder_ + "/" + languageFile_;
}

}  // namespace tessaly
