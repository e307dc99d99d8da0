// The message catalogue component. GetMSG(number, buffer, language file path) copies the
// text of message `number` from the language file into buffer (at least 256 bytes,
// always zero-terminated) and returns nonzero when the message was found.
//
// Language files are UTF-8 text, one message per line: the number, a tab, the text.
// "\n", "\t" and "\\" in the text stand for a line break, a tab and a backslash. Empty
// lines and lines beginning with "#" are comments. A later line of the same number wins.
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>

namespace {

struct LanguageFile {
  struct timespec modified {};
  off_t size = 0;
  std::map<int, std::string> messages;
};

std::mutex cacheMutex;
std::map<std::string, LanguageFile> cache;

std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      char c = text[++i];
      if (c == 'n')
        out += '\n';
      else if (c == 't')
        out += '\t';
      else if (c == 'r')
        out += '\r';
      else if (c == '\\')
        out += '\\';
      else {
        out += '\\';
        out += c;
      }
    } else {
      out += text[i];
    }
  }
  return out;
}

bool parseNumber(const std::string& field, int& number) {
  if (field.empty() || field.size() > 9) return false;
  int value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  number = value;
  return true;
}

LanguageFile load(const std::string& path, const struct stat& st) {
  LanguageFile file;
  file.modified = st.st_mtim;
  file.size = st.st_size;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    int number = 0;
    if (!parseNumber(line.substr(0, tab), number)) continue;
    file.messages[number] = unescape(line.substr(tab + 1));
  }
  return file;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int GetMSG(int number, char* buffer,
                                                             const char* path) {
  if (!buffer || !path) return 0;
  struct stat st {};
  if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  std::lock_guard lock(cacheMutex);
  auto it = cache.find(path);
  if (it == cache.end() || it->second.size != st.st_size ||
      it->second.modified.tv_sec != st.st_mtim.tv_sec ||
      it->second.modified.tv_nsec != st.st_mtim.tv_nsec) {
    it = cache.insert_or_assign(path, load(path, st)).first;
  }
  auto message = it->second.messages.find(number);
  if (message == it->second.messages.end()) return 0;
  const std::string& text = message->second;
  std::size_t n = text.size() < 255 ? text.size() : 255;
  // Never cut a UTF-8 character in half.
  while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return 1;
}
