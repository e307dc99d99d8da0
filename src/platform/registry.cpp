#include "platform/registry.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef TESSALY_SYSCONF_REGISTRY
#define TESSALY_SYSCONF_REGISTRY "/etc/tessaly/registry"
#endif

namespace tessaly::platform {

namespace {

constexpr const char* kValuesFile = ".values";

bool makeDirs(const std::string& path) {
  std::string partial;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    partial = path.substr(0, next);
    if (!partial.empty()) {
      if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
      struct stat st {};
      if (::stat(partial.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    }
    pos = next + 1;
  }
  return true;
}

bool dirExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char c = s[++i];
      out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

Registry::Registry(std::string folder, std::string machineFolder)
    : folder_(std::move(folder)), machineFolder_(std::move(machineFolder)) {}

std::string Registry::userHome() {
  if (const char* home = std::getenv("TESSALY_HOME"); home && *home) return home;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    return std::string(xdg) + "/tessaly";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.config/tessaly";
}

Registry Registry::forUser() {
  std::string machine = TESSALY_SYSCONF_REGISTRY;
  // Tests and the development tree run with a private home and no machine-wide copy.
  if (std::getenv("TESSALY_HOME")) machine.clear();
  return Registry(userHome() + "/registry", machine);
}

std::string Registry::keyFolder(const std::string& root, const std::string& key) const {
  std::string path = root;
  std::string part;
  for (char c : key) {
    if (c == '\\') {
      if (!part.empty()) path += "/" + part;
      part.clear();
    } else if (c == '/') {
      part += "%2F";
    } else {
      part += c;
    }
  }
  if (!part.empty()) path += "/" + part;
  return path;
}

std::optional<Registry::Values> Registry::load(const std::string& keyDir) {
  if (!dirExists(keyDir)) return std::nullopt;
  Values values;
  std::ifstream in(keyDir + "/" + kValuesFile, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    values.emplace_back(unescape(line.substr(0, tab)), unescape(line.substr(tab + 1)));
  }
  return values;
}

bool Registry::store(const std::string& keyDir, const Values& values) {
  std::string path = keyDir + "/" + kValuesFile;
  std::string temp = path + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const auto& [name, value] : values) out << escape(name) << '\t' << escape(value) << '\n';
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

bool Registry::createKey(const std::string& key) { return makeDirs(keyFolder(folder_, key)); }

bool Registry::keyExists(const std::string& key) const {
  if (dirExists(keyFolder(folder_, key))) return true;
  return !machineFolder_.empty() && dirExists(keyFolder(machineFolder_, key));
}

bool Registry::deleteKey(const std::string& key) {
  std::string dir = keyFolder(folder_, key);
  if (!dirExists(dir)) return false;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  bool hasSubKeys = false;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == ".." || name.rfind(kValuesFile, 0) == 0) continue;
    hasSubKeys = true;
  }
  ::closedir(d);
  if (hasSubKeys) return false;
  std::remove((dir + "/" + kValuesFile).c_str());
  return ::rmdir(dir.c_str()) == 0;
}

bool Registry::setValue(const std::string& key, const std::string& name,
                        const std::string& value) {
  std::string dir = keyFolder(folder_, key);
  auto values = load(dir);
  if (!values) return false;
  bool replaced = false;
  for (auto& [n, v] : *values) {
    if (n == name) {
      v = value;
      replaced = true;
    }
  }
  if (!replaced) values->emplace_back(name, value);
  return store(dir, *values);
}

bool Registry::writeValue(const std::string& key, const std::string& name,
                          const std::string& value) {
  return createKey(key) && setValue(key, name, value);
}

std::optional<std::string> Registry::value(const std::string& key, const std::string& name) const {
  for (const std::string* root : {&folder_, &machineFolder_}) {
    if (root->empty()) continue;
    if (auto values = load(keyFolder(*root, key))) {
      for (const auto& [n, v] : *values)
        if (n == name) return v;
    }
  }
  return std::nullopt;
}

std::string Registry::readString(const std::string& key, const std::string& name) const {
  std::string v = value(key, name).value_or("");
  if (v.size() > 259) v.resize(259);
  return v;
}

bool Registry::deleteValue(const std::string& key, const std::string& name) {
  std::string dir = keyFolder(folder_, key);
  auto values = load(dir);
  if (!values) return false;
  std::size_t before = values->size();
  std::erase_if(*values, [&](const auto& p) { return p.first == name; });
  if (values->size() == before) return false;
  return store(dir, *values);
}

std::vector<std::string> Registry::valueNames(const std::string& key) const {
  std::vector<std::string> names;
  if (auto values = load(keyFolder(folder_, key)))
    for (const auto& [n, v] : *values) names.push_back(n);
  return names;
}

}  // namespace tessaly::platform
