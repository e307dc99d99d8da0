#include "wizard/widgets.h"

#include <algorithm>

#include <wx/dcbuffer.h>

namespace tessaly::wizard {

// ---------------------------------------------------------------- ProgressBar

ProgressBar::ProgressBar(wxWindow* parent, int id)
    : wxWindow(parent, id, wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &ProgressBar::onPaint, this);
}

wxSize ProgressBar::DoGetBestSize() const { return FromDIP(wxSize(200, 18)); }

void ProgressBar::setPercent(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent == percent_) return;
  percent_ = percent;
  Refresh();
}

void ProgressBar::setText(const wxString& text) {
  if (text == text_) return;
  text_ = text;
  Refresh();
}

void ProgressBar::onPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxRect all = GetClientRect();
  const bool enabled = IsEnabled();
  dc.SetPen(wxPen(wxColour(140, 140, 140)));
  dc.SetBrush(wxBrush(wxColour(250, 250, 250)));
  dc.DrawRectangle(all);
  wxRect bar = wxRect(all).Deflate(2);
  bar.width = bar.width * percent_ / 100;
  if (bar.width > 0) {
    const wxColour fill = enabled ? wxColour(52, 101, 164) : wxColour(160, 160, 160);
    dc.GradientFillLinear(bar, fill.ChangeLightness(125), fill, wxSOUTH);
  }
  if (!text_.empty()) {
    dc.SetFont(GetFont());
    const wxSize extent = dc.GetTextExtent(text_);
    const int x = all.x + (all.width - extent.x) / 2;
    const int y = all.y + (all.height - extent.y) / 2;
    // The text in the bar's colours where the bar covers it.
    dc.SetTextForeground(wxColour(30, 30, 30));
    dc.DrawText(text_, x, y);
    if (bar.width > 0) {
      wxDCClipper clip(dc, bar);
      dc.SetTextForeground(*wxWHITE);
      dc.DrawText(text_, x, y);
    }
  }
}

// ---------------------------------------------------------------- HelpPane

std::vector<std::string> helpLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

HelpPane::HelpPane(wxWindow* parent, int id)
    : wxWindow(parent, id, wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &HelpPane::onPaint, this);
}

void HelpPane::setText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  Refresh();
}

namespace {

// Word-wraps one line to the width; leading blanks are indentation and are dropped.
std::vector<wxString> wrap(wxDC& dc, const wxString& text, int width) {
  std::vector<wxString> out;
  wxString rest = text;
  rest.Trim(false).Trim(true);
  while (!rest.empty()) {
    if (dc.GetTextExtent(rest).x <= width) {
      out.push_back(rest);
      break;
    }
    size_t cut = rest.size();
    while (cut > 0 && dc.GetTextExtent(rest.Left(cut)).x > width) {
      size_t blank = rest.rfind(' ', cut - 1);
      cut = blank == wxString::npos || blank == 0 ? cut - 1 : blank;
    }
    if (cut == 0) cut = 1;
    out.push_back(rest.Left(cut));
    rest = rest.Mid(cut);
    rest.Trim(false);
  }
  return out;
}

}  // namespace

void HelpPane::onPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxRect all = GetClientRect();
  dc.SetPen(wxPen(wxColour(196, 186, 140)));
  dc.SetBrush(wxBrush(wxColour(255, 252, 232)));
  dc.DrawRectangle(all);

  const int margin = FromDIP(8);
  const int width = all.width - 2 * margin;
  int y = margin;
  wxFont normal = GetFont();
  wxFont bold = normal.Bold();
  const int lineHeight = dc.GetTextExtent("Ag").y;
  const wxColour ruleColour(176, 160, 96);

  for (const std::string& raw : helpLines(text_)) {
    const wxString line = wxString::FromUTF8(raw);
    wxString title = line;
    title.Replace("_", " ");
    title.Trim(false).Trim(true);
    const bool underscored = wxString(line).Trim(false).StartsWith("_");
    if (underscored && title.empty()) {
      // A closing rule.
      dc.SetPen(wxPen(ruleColour));
      dc.DrawLine(margin, y + lineHeight / 2, margin + width, y + lineHeight / 2);
      y += lineHeight;
    } else if (underscored) {
      // A heading: the title between two rules.
      dc.SetFont(bold);
      const wxSize extent = dc.GetTextExtent(title);
      const int x = margin + (width - extent.x) / 2;
      dc.SetPen(wxPen(ruleColour));
      dc.DrawLine(margin, y + extent.y / 2, x - FromDIP(6), y + extent.y / 2);
      dc.DrawLine(x + extent.x + FromDIP(6), y + extent.y / 2, margin + width, y + extent.y / 2);
      dc.SetTextForeground(wxColour(110, 90, 20));
      dc.DrawText(title, x, y);
      y += extent.y;
    } else if (line.Strip(wxString::both).empty()) {
      y += lineHeight / 2;
    } else {
      dc.SetFont(normal);
      dc.SetTextForeground(wxColour(40, 40, 40));
      for (const wxString& part : wrap(dc, line, width)) {
        dc.DrawText(part, margin, y);
        y += lineHeight;
      }
      y += lineHeight / 4;
    }
  }
}

}  // namespace tessaly::wizard
