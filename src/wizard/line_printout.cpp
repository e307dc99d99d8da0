#include "wizard/line_printout.h"

namespace tessaly::wizard {

LinePrintout::LinePrintout(std::vector<std::string> lines)
    : wxPrintout("Tessaly"),
      lines_(std::move(lines)),
      font_(wxFontInfo(10).Family(wxFONTFAMILY_TELETYPE)) {}

PrintMetrics LinePrintout::prepareDc() {
  MapScreenSizeToPage();
  wxDC& dc = *GetDC();
  dc.SetFont(font_);
  int ppiX = 0, ppiY = 0;
  GetPPIScreen(&ppiX, &ppiY);
  const wxRect page = GetLogicalPageRect();
  const wxFontMetrics font = dc.GetFontMetrics();
  PrintMetrics metrics;
  metrics.dotsPerInchX = ppiX;
  metrics.dotsPerInchY = ppiY;
  metrics.pageWidth = page.width;
  metrics.pageHeight = page.height;
  metrics.lineHeight = std::max(1, font.height + font.internalLeading);
  return metrics;
}

void LinePrintout::OnPreparePrinting() {
  pages_ = layOutLines(lines_, prepareDc());
}

bool LinePrintout::HasPage(int page) {
  return page >= 1 && static_cast<std::size_t>(page) <= pages_.size();
}

void LinePrintout::GetPageInfo(int* minPage, int* maxPage, int* pageFrom, int* pageTo) {
  *minPage = *pageFrom = 1;
  *maxPage = *pageTo = static_cast<int>(pages_.size());
}

bool LinePrintout::OnPrintPage(int number) {
  if (!HasPage(number)) return false;
  prepareDc();
  wxDC& dc = *GetDC();
  const PrintedPage& page = pages_[static_cast<std::size_t>(number - 1)];
  auto draw = [&dc](const PlacedText& text) {
    const wxString s = wxString::FromUTF8(text.text);
    int x = text.x;
    if (text.rightAligned) x -= dc.GetTextExtent(s).x;
    dc.DrawText(s, x, text.y);
  };
  dc.SetTextForeground(*wxBLACK);
  draw(page.title);
  draw(page.pageNumber);
  {
    wxDCPenChanger red(
        dc, wxPen(wxColour(255, 0, 0), std::max(1, page.rule.penWidth), wxPENSTYLE_SOLID));
    dc.DrawLine(page.rule.x1, page.rule.y1, page.rule.x2, page.rule.y2);
  }
  for (const PlacedText& line : page.lines) draw(line);
  return true;
}

}  // namespace tessaly::wizard
