// The window's own drawn controls: a progress bar that shows a text over its bar, and
// the help pane, which draws the "ONLINE HELP" block with its rules as a heading.
#pragma once

#include <string>

#include "wizard/wx.h"

namespace tessaly::wizard {

class ProgressBar : public wxWindow {
 public:
  ProgressBar(wxWindow* parent, int id);
  void setPercent(int percent);
  int percent() const { return percent_; }
  void setText(const wxString& text);
  const wxString& text() const { return text_; }

 private:
  void onPaint(wxPaintEvent&);
  wxSize DoGetBestSize() const override;
  int percent_ = 0;
  wxString text_;
};

class HelpPane : public wxWindow {
 public:
  HelpPane(wxWindow* parent, int id);
  // The pane's text as the help texts are built: lines separated by "\r\r\n"; a line of
  // underscores is a rule, one with a title inside the underscores a heading.
  void setText(const std::string& text);
  const std::string& text() const { return text_; }

 private:
  void onPaint(wxPaintEvent&);
  std::string text_;
};

// Splits the help text into its lines (without the line breaks).
std::vector<std::string> helpLines(const std::string& text);

}  // namespace tessaly::wizard
