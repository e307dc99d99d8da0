// The layout of a printed list of lines (the report, the directory list): the lines go
// down the page from half an inch below the top edge and half an inch in from the left;
// every page carries the header "Tessaly Log" with its page number at the right and a
// red rule beneath. The layout is computed in device units, page by page, so that a
// printout can draw any page on request.
#pragma once

#include <string>
#include <vector>

namespace tessaly {

constexpr const char* kPrintHeader = "Tessaly Log";

// What the printer tells about its page and font, in device units.
struct PrintMetrics {
  int dotsPerInchX = 0;
  int dotsPerInchY = 0;
  int pageWidth = 0;
  int pageHeight = 0;
  int lineHeight = 0;  // font height with its internal leading
};

struct PlacedText {
  int x = 0;  // the left edge, or the right edge when rightAligned
  int y = 0;
  std::string text;
  bool rightAligned = false;
};

struct PlacedRule {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int penWidth = 0;  // drawn in solid red
};

struct PrintedPage {
  int number = 0;  // from 1
  PlacedText title;
  PlacedText pageNumber;
  PlacedRule rule;
  std::vector<PlacedText> lines;
};

class LinePrinter {
 public:
  explicit LinePrinter(const PrintMetrics& metrics);

  int topMargin() const { return topMargin_; }
  int leftMargin() const { return leftMargin_; }

  // Places the next line, opening a new page when the last one has run past its
  // bottom margin.
  void printLine(const std::string& text);
  const std::vector<PrintedPage>& pages() const { return pages_; }

 private:
  void startPage();

  PrintMetrics metrics_;
  int topMargin_;
  int leftMargin_;
  int y_ = 0;
  std::vector<PrintedPage> pages_;
};

// All pages of lines; no lines, no pages.
std::vector<PrintedPage> layOutLines(const std::vector<std::string>& lines, const PrintMetrics& metrics);

}  // namespace tessaly
