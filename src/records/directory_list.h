// The directory list: the folder tree of a result written as text, one line per
// parent-child pair ("Root-> A", then "A-> B" for a child B of A), depth first, each
// parent before its subtree. The view file ends each line with CR LF; the print file
// ends each with the single byte 0xE6, which the printing reads back as its line end.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "disk/le.h"
#include "session/tree_model.h"

namespace tessaly {

constexpr const char* kDirectoryListViewFile = "TreeStructView.txt";
constexpr const char* kDirectoryListPrintFile = "TreeStructPrint.dat";
constexpr std::string_view kViewLineEnd = "\r\n";
constexpr std::string_view kPrintLineEnd = "\xE6";

// Receives the bytes of the list; false stops the writing.
using ByteSink = std::function<bool(std::string_view)>;

// Writes a line for every pair below item. The parent's text is the root's own text for
// the root and the item's path (its ancestors below the root joined by "\") otherwise;
// a parent text beginning with "Partition" reads "Root Directory ". False when the sink
// refused bytes.
bool writeDirectoryList(const TreeModel& tree, TreeItem item, std::string_view lineEnd, const ByteSink& sink);

// The whole tree into a file created anew at path; false when it could not be created
// or written whole.
bool writeDirectoryListFile(const TreeModel& tree, const std::string& path, std::string_view lineEnd);

// folder + the view or print file's name.
std::string directoryListPath(const std::string& folder, bool forPrinting);

// The lines of a print file: the runs of bytes between line ends. A 0xE6 that begins a
// UTF-8 character (followed by two continuation bytes) belongs to a name, not a line end.
// A last run without a line end is a line too.
std::vector<std::string> printFileLines(ByteSpan bytes);

}  // namespace tessaly
