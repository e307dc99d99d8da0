#include "cli/frontend.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iterator>
#include <fstream>
#include <iostream>

#include "session/safe_text.h"

namespace tessaly::cli {

// ---------------------------------------------------------------- CliReport

void CliReport::status(const std::string& text) {
  if (quiet_) return;
  std::lock_guard lock(mutex_);
  status_ = text;
  draw(false);
}

void CliReport::progress(int percent) {
  if (quiet_) return;
  std::lock_guard lock(mutex_);
  percent_ = percent;
  draw(false);
}

void CliReport::draw(bool force) {
  auto now = std::chrono::steady_clock::now();
  const bool tty = ::isatty(STDERR_FILENO);
  auto interval = tty ? std::chrono::milliseconds(100) : std::chrono::milliseconds(2000);
  if (!force && (drawn_ || !tty) && now - last_ < interval) return;
  last_ = now;
  std::string line = terminalText(status_);
  if (percent_ >= 0) line += "  [" + std::to_string(percent_) + "%]";
  if (line.size() > 110) line.resize(110);
  if (tty) {
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  std::fflush(stderr);
  drawn_ = true;
}

void CliReport::finish() {
  std::lock_guard lock(mutex_);
  if (drawn_ && ::isatty(STDERR_FILENO)) std::fprintf(stderr, "\r\033[K");
  drawn_ = false;
}

// ---------------------------------------------------------------- CliDialogs

std::optional<int> CliDialogs::ask(const std::string& question, const std::string& keys) {
  std::ifstream tty("/dev/tty");
  if (!tty || !::isatty(STDIN_FILENO)) return std::nullopt;
  if (report_) report_->finish();
  for (;;) {
    std::fprintf(stderr, "%s ", question.c_str());
    std::fflush(stderr);
    std::string line;
    if (!std::getline(tty, line)) return std::nullopt;
    if (!line.empty()) {
      auto at = keys.find(static_cast<char>(std::tolower(static_cast<unsigned char>(line[0]))));
      if (at != std::string::npos) return static_cast<int>(at);
    }
  }
}

int CliDialogs::messageBox(const std::string& text, const std::string& caption,
                           MessageButtons buttons, MessageIcon) {
  std::lock_guard lock(mutex_);
  messages_.push_back(text);
  if (report_) report_->finish();
  if (buttons == MessageButtons::Ok) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), terminalText(text).c_str());
    return kIdOk;
  }
  if (auto choice = ask(caption + ": " + terminalText(text) + " [y/n]", "yn"))
    return *choice == 0 ? kIdYes : kIdNo;
  return answers_.yesToQuestions ? kIdYes : kIdNo;
}

BadSectorAnswer CliDialogs::askBadSector() {
  std::lock_guard lock(mutex_);
  if (answers_.badSectors == "skip-all") return BadSectorAnswer::SkipAll;
  if (answers_.badSectors == "ask") {
    static constexpr BadSectorAnswer kKeys[] = {BadSectorAnswer::Retry, BadSectorAnswer::Skip,
                                                BadSectorAnswer::RetryAll, BadSectorAnswer::SkipAll};
    if (auto choice = ask(
            "Encountered Bad Sector(s) while reading disk. [r]etry, [s]kip, retry [a]ll, skip a[l]l?",
            "rsal"))
      return kKeys[*choice];
  }
  return BadSectorAnswer::RetryAll;
}

ReplaceAnswer CliDialogs::askReplace(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (answers_.replace == "yes-all") return ReplaceAnswer::YesToAll;
  if (answers_.replace == "no-all") return ReplaceAnswer::NoToAll;
  static constexpr ReplaceAnswer kKeys[] = {ReplaceAnswer::Yes, ReplaceAnswer::No,
                                            ReplaceAnswer::YesToAll, ReplaceAnswer::NoToAll};
  if (auto choice =
          ask(terminalText(path) +
                  ": The File Already Exists. Replace? [y]es, [n]o, yes to [a]ll, no [t]o all?",
              "ynat"))
    return kKeys[*choice];
  if (!toldKeeping_) {
    if (report_) report_->finish();
    std::fprintf(
        stderr,
        "No terminal to ask whether to replace files already in the destination: they are kept\n");
    toldKeeping_ = true;
  }
  return ReplaceAnswer::NoToAll;
}

WriteErrorAnswer CliDialogs::askErrorWriting(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (report_) report_->finish();
  std::fprintf(stderr, "Error copying current file : %s\n", terminalText(path).c_str());
  if (answers_.writeErrors == "abort") return WriteErrorAnswer::Abort;
  if (answers_.writeErrors == "ask") {
    if (auto choice = ask("[a]bort or [s]kip?", "as")) return *choice == 0 ? WriteErrorAnswer::Abort : WriteErrorAnswer::Skip;
  }
  return WriteErrorAnswer::Skip;
}

// ---------------------------------------------------------------- Args

Args::Args(const std::vector<std::string>& argv, const std::set<std::string>& valued,
           const std::set<std::string>& flags) {
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (a.size() > 2 && a.rfind("--", 0) == 0) {
      std::string name = a.substr(2);
      std::string inlineValue;
      bool hasInline = false;
      if (auto eq = name.find('='); eq != std::string::npos) {
        inlineValue = name.substr(eq + 1);
        name = name.substr(0, eq);
        hasInline = true;
      }
      if (valued.count(name)) {
        if (hasInline) {
          values_.emplace(name, inlineValue);
        } else if (i + 1 < argv.size()) {
          values_.emplace(name, argv[++i]);
        } else {
          error_ = "option --" + name + " needs a value";
          return;
        }
      } else if (flags.count(name) && !hasInline) {
        values_.emplace(name, "");
      } else {
        error_ = "unknown option --" + name;
        return;
      }
    } else {
      positionals_.push_back(a);
    }
  }
}

std::string Args::get(const std::string& option, const std::string& fallback) const {
  auto range = values_.equal_range(option);
  if (range.first == range.second) return fallback;
  return std::prev(range.second)->second;
}

std::vector<std::string> Args::all(const std::string& option) const {
  std::vector<std::string> out;
  auto range = values_.equal_range(option);
  for (auto it = range.first; it != range.second; ++it) out.push_back(it->second);
  return out;
}

std::optional<std::uint64_t> parseNumber(const std::string& text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return v;
}

}  // namespace tessaly::cli
