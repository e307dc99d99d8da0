// The stand-in for the registry under HKEY_CLASSES_ROOT: a folder, one folder per key
// (sub-keys nest as sub-folders), the key's string values in one text file inside it,
// replaced atomically on each write. Reads may fall back to a machine-wide copy
// installed with the program; writes always go to the per-user folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tessaly::platform {

class Registry {
 public:
  // folder: the per-user registry folder; machineFolder: read-only fallback ("" = none).
  explicit Registry(std::string folder, std::string machineFolder = "");

  // $TESSALY_HOME/registry, else $XDG_CONFIG_HOME/tessaly/registry, else
  // ~/.config/tessaly/registry; the machine-wide copy under the install prefix's etc/.
  static Registry forUser();
  static std::string userHome();

  const std::string& folder() const { return folder_; }

  // RegCreateKeyExA: creates the key (and its parents) when missing. False on failure.
  bool createKey(const std::string& key);
  // RegOpenKeyExA: true when the key exists (per user or machine-wide).
  bool keyExists(const std::string& key) const;
  // RegDeleteKeyA: deletes a key that has no sub-keys. False when it does not exist,
  // still has sub-keys, or cannot be removed.
  bool deleteKey(const std::string& key);
  // RegSetValueExA on an existing key. False when the key does not exist or the write fails.
  bool setValue(const std::string& key, const std::string& name, const std::string& value);
  // Creates the key when needed, then sets the value.
  bool writeValue(const std::string& key, const std::string& name, const std::string& value);
  // The value, or nullopt when the key or value is missing.
  std::optional<std::string> value(const std::string& key, const std::string& name) const;
  // RegQueryValueExA into a 260-byte buffer: at most 259 characters; missing reads as "".
  std::string readString(const std::string& key, const std::string& name) const;
  // RegDeleteValueA. False when it was not there.
  bool deleteValue(const std::string& key, const std::string& name);
  std::vector<std::string> valueNames(const std::string& key) const;

 private:
  using Values = std::vector<std::pair<std::string, std::string>>;
  std::string keyFolder(const std::string& root, const std::string& key) const;
  static std::optional<Values> load(const std::string& keyDir);
  static bool store(const std::string& keyDir, const Values& values);

  std::string folder_;
  std::string machineFolder_;
};

}  // namespace tessaly::platform
