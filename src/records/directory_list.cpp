#include "records/directory_list.h"

#include <fstream>
#include <utility>

namespace tessaly {

namespace {

bool isContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// The texts of item and its ancestors below the root, top down, joined by "\".
std::string pathOf(const TreeModel& tree, TreeItem item) {
  std::vector<std::string> parts;
  for (TreeItem at = item; at != kNoItem && at != tree.root() && parts.size() <= tree.size(); at = tree.parent(at))
    parts.push_back(tree.text(at));
  std::string path;
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += *it;
  }
  return path;
}

}  // namespace

bool writeDirectoryList(const TreeModel& tree, TreeItem item, std::string_view lineEnd, const ByteSink& sink) {
  const bool fromRoot = item == tree.root();
  const std::string itemText = tree.text(item);
  // The path of the item being visited and, by depth, the length of each ancestor's path
  // within it; depth 0 is item itself.
  std::string path = pathOf(tree, item);
  std::vector<std::size_t> pathLength{path.size()};
  std::vector<std::pair<TreeItem, std::size_t>> pending;  // item, depth
  auto pushChildren = [&](TreeItem parent, std::size_t depth) {
    const std::vector<TreeItem> children = tree.children(parent);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, depth);
  };
  pushChildren(item, 1);
  std::string line;
  while (!pending.empty()) {
    const auto [child, depth] = pending.back();
    pending.pop_back();
    path.resize(pathLength[depth - 1]);
    const std::string_view parentText = depth == 1 && fromRoot ? std::string_view(itemText) : path;
    const std::string childText = tree.text(child);
    line.assign(parentText.substr(0, 9) == "Partition" ? std::string_view("Root Directory ") : parentText);
    line += "-> ";
    line += childText;
    line += lineEnd;
    if (!sink(line)) return false;
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += childText;
    pathLength.resize(depth + 1);
    pathLength[depth] = path.size();
    pushChildren(child, depth + 1);
  }
  return true;
}

bool writeDirectoryListFile(const TreeModel& tree, const std::string& path, std::string_view lineEnd) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  const bool complete = writeDirectoryList(tree, tree.root(), lineEnd, [&out](std::string_view bytes) {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
  });
  out.close();
  return complete && !out.fail();
}

std::string directoryListPath(const std::string& folder, bool forPrinting) {
  return folder + "/" + (forPrinting ? kDirectoryListPrintFile : kDirectoryListViewFile);
}

std::vector<std::string> printFileLines(ByteSpan bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t b = bytes[i];
    const bool inName = b == 0xE6 && i + 2 < bytes.size() && isContinuation(bytes[i + 1]) &&
                        isContinuation(bytes[i + 2]);
    if (b == 0xE6 && !inName) {
      lines.push_back(std::move(line));
      line.clear();
      continue;
    }
    line += static_cast<char>(b);
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

}  // namespace tessaly
