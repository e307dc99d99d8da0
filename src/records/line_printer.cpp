#include "records/line_printer.h"

namespace tessaly {

LinePrinter::LinePrinter(const PrintMetrics& metrics)
    : metrics_(metrics), topMargin_(metrics.dotsPerInchY / 2), leftMargin_(metrics.dotsPerInchX / 2) {}

void LinePrinter::startPage() {
  PrintedPage page;
  page.number = static_cast<int>(pages_.size()) + 1;
  const int lineHeight = metrics_.lineHeight;
  const int right = metrics_.pageWidth - leftMargin_;
  const int headerY = topMargin_ - lineHeight * 3 / 2;
  page.title = {leftMargin_, headerY, kPrintHeader, false};
  page.pageNumber = {right, headerY, std::to_string(page.number), true};
  const int ruleY = topMargin_ - lineHeight / 2;
  page.rule = {leftMargin_, ruleY, right, ruleY, metrics_.dotsPerInchX / 100};
  pages_.push_back(std::move(page));
  y_ = topMargin_;
}

void LinePrinter::printLine(const std::string& text) {
  if (pages_.empty() || metrics_.pageHeight - topMargin_ < y_) startPage();
  pages_.back().lines.push_back({leftMargin_, y_, text, false});
  y_ += metrics_.lineHeight;
}

std::vector<PrintedPage> layOutLines(const std::vector<std::string>& lines, const PrintMetrics& metrics) {
  LinePrinter printer(metrics);
  for (const std::string& line : lines) printer.printLine(line);
  return printer.pages();
}

}  // namespace tessaly
