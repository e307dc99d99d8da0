// The headless folder, disk and partition trees. Items are 32-bit ids handed out in
// insertion order and never reused within one model; the scan catalogue stores them and
// the file list shows them in decimal. A front end that draws a real tree control
// observes the model and keeps its own map from ids to control items.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessaly {

using TreeItem = std::uint32_t;
constexpr TreeItem kNoItem = 0;

// Check-box state images.
constexpr int kUnchecked = 1, kChecked = 2, kPartlyChecked = 3;
// Folder images.
constexpr int kImageClosedFolder = 3, kImageOpenFolder = 7;

class TreeObserver {
 public:
  virtual ~TreeObserver() = default;
  virtual void inserted(TreeItem /*item*/, TreeItem /*parent*/) {}
  virtual void changed(TreeItem /*item*/) {}
  virtual void expandedChanged(TreeItem /*item*/, bool /*expanded*/) {}
  virtual void removed(TreeItem /*item*/) {}
  virtual void selected(TreeItem /*item*/) {}
  virtual void enabledChanged(bool /*enabled*/) {}
};

class TreeModel {
 public:
  // Appends an item as the last child of parent (kNoItem: a top-level item).
  TreeItem insert(TreeItem parent, const std::string& text, int image, int selectedImage);
  void setText(TreeItem item, const std::string& text);
  std::string text(TreeItem item) const;
  void setImages(TreeItem item, int image, int selectedImage);
  int image(TreeItem item) const;
  void setState(TreeItem item, int stateImage);
  int state(TreeItem item) const;  // 0 when none was given
  void expand(TreeItem item);
  void collapse(TreeItem item);
  bool expanded(TreeItem item) const;
  void select(TreeItem item);
  TreeItem selected() const;

  bool exists(TreeItem item) const;
  TreeItem parent(TreeItem item) const;
  std::vector<TreeItem> children(TreeItem item) const;
  // The first top-level item.
  TreeItem root() const;
  std::size_t size() const;
  void remove(TreeItem item);  // with its subtree
  void clear();

  void setEnabled(bool enabled);
  bool enabled() const;

  void setObserver(TreeObserver* observer);

 private:
  struct Node {
    std::string text;
    int image = 0;
    int selectedImage = 0;
    int state = 0;
    bool expanded = false;
    TreeItem parent = kNoItem;
    std::vector<TreeItem> children;
  };
  const Node* find(TreeItem item) const;
  Node* find(TreeItem item);
  void removeLocked(TreeItem item, std::vector<TreeItem>& removed);
  template <typename Change>
  void update(TreeItem item, Change change);

  mutable std::recursive_mutex mutex_;
  std::unordered_map<TreeItem, Node> nodes_;
  std::vector<TreeItem> topLevel_;
  TreeItem next_ = 1;
  TreeItem selected_ = kNoItem;
  bool enabled_ = true;
  TreeObserver* observer_ = nullptr;
};

}  // namespace tessaly

namespace tessaly {

// Check boxes of the folder tree: the state image of an item and of all its descendants.
void setSubtreeCheck(TreeModel& tree, TreeItem item, int state);
// A click on an item's check box: a checked or partly checked item is unchecked with its
// whole subtree, an unchecked one checked with its subtree; the ancestors follow (checked
// when none of their children is unchecked or partly checked, unchecked when all their
// children are unchecked, partly checked otherwise).
void toggleCheck(TreeModel& tree, TreeItem item);

}  // namespace tessaly
