// A printout of lines of text (the report, the directory list) laid out by the line
// printer: pages with the header "Tessaly Log", the page number and a red rule, the
// lines in the stock fixed-pitch font below. It draws in the screen's units mapped onto
// the page, so that a printer of any resolution shows the same page.
#pragma once

#include <string>
#include <vector>

#include "records/line_printer.h"
#include "wizard/wx.h"

#include <wx/print.h>

namespace tessaly::wizard {

class LinePrintout : public wxPrintout {
 public:
  explicit LinePrintout(std::vector<std::string> lines);

  void OnPreparePrinting() override;
  bool HasPage(int page) override;
  void GetPageInfo(int* minPage, int* maxPage, int* pageFrom, int* pageTo) override;
  bool OnPrintPage(int page) override;

  const std::vector<PrintedPage>& pages() const { return pages_; }

 private:
  PrintMetrics prepareDc();

  std::vector<std::string> lines_;
  std::vector<PrintedPage> pages_;
  wxFont font_;
};

}  // namespace tessaly::wizard
