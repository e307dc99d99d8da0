// The CLI's front end for the engines: a progress line on stderr, and answers to the
// engines' questions taken from the command line or, with "ask", from the terminal.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "session/dialogs.h"
#include "session/report.h"

namespace tessaly::cli {

// The progress line: the status text and the scan's or the save's percentage.
class CliReport : public Report {
 public:
  // Without a terminal the first line waits for the interval too, so that short work
  // prints nothing.
  explicit CliReport(bool quiet) : quiet_(quiet), last_(std::chrono::steady_clock::now()) {}
  void status(const std::string& text) override;
  void scanProgress(int percent) override { progress(percent); }
  void saveData(std::uint64_t, std::uint64_t, int percent) override { progress(percent); }
  // Ends the progress line (called before printing results).
  void finish();

 private:
  void progress(int percent);
  void draw(bool force);
  bool quiet_;
  std::mutex mutex_;
  std::string status_;
  int percent_ = -1;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_;
};

struct DialogAnswers {
  std::string badSectors = "retry-all";  // ask | retry-all | skip-all
  std::string replace = "ask";           // ask | yes-all | no-all
  std::string writeErrors = "skip";      // ask | abort | skip
  bool yesToQuestions = true;            // Yes/No boxes without a terminal
};

class CliDialogs : public Dialogs {
 public:
  explicit CliDialogs(DialogAnswers answers, CliReport* report = nullptr)
      : answers_(std::move(answers)), report_(report) {}
  int messageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                 MessageIcon icon) override;
  BadSectorAnswer askBadSector() override;
  ReplaceAnswer askReplace(const std::string& path) override;
  WriteErrorAnswer askErrorWriting(const std::string& path) override;
  std::optional<std::string> chooseFolder(const std::string&) override { return std::nullopt; }
  // The command line names its files: nothing is chosen interactively.
  std::optional<std::string> chooseSaveFile(const std::string&, const std::string&) override { return std::nullopt; }
  std::optional<std::string> chooseOpenFile(const std::string&, const std::string&) override { return std::nullopt; }

  // Messages shown so far (the CLI prints them on stderr as they come).
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  // Asks on the terminal; returns the index of the chosen key, or nullopt without a terminal.
  std::optional<int> ask(const std::string& question, const std::string& keys);
  DialogAnswers answers_;
  CliReport* report_;
  std::vector<std::string> messages_;
  std::mutex mutex_;
  bool toldKeeping_ = false;
};

// Command-line arguments: positionals, and options that take one value (repeatable
// ones collect every value) or none.
class Args {
 public:
  // valued: options that take a value; flags: options without one.
  Args(const std::vector<std::string>& argv, const std::set<std::string>& valued,
       const std::set<std::string>& flags);
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::vector<std::string>& positionals() const { return positionals_; }
  bool has(const std::string& option) const { return values_.count(option) > 0; }
  std::string get(const std::string& option, const std::string& fallback = "") const;
  std::vector<std::string> all(const std::string& option) const;

 private:
  std::vector<std::string> positionals_;
  std::multimap<std::string, std::string> values_;
  std::string error_;
};

// Parses an unsigned decimal number; nullopt when the text is not one.
std::optional<std::uint64_t> parseNumber(const std::string& text);

}  // namespace tessaly::cli
