#include "session/tree_model.h"

#include <algorithm>

namespace tessaly {

const TreeModel::Node* TreeModel::find(TreeItem item) const {
  auto it = nodes_.find(item);
  return it == nodes_.end() ? nullptr : &it->second;
}

TreeModel::Node* TreeModel::find(TreeItem item) {
  auto it = nodes_.find(item);
  return it == nodes_.end() ? nullptr : &it->second;
}

TreeItem TreeModel::insert(TreeItem parent, const std::string& text, int image,
                           int selectedImage) {
  TreeItem id;
  TreeObserver* observer;
  {
    std::lock_guard lock(mutex_);
    Node* p = parent == kNoItem ? nullptr : find(parent);
    if (parent != kNoItem && !p) return kNoItem;
    id = next_++;
    Node node;
    node.text = text;
    node.image = image;
    node.selectedImage = selectedImage;
    node.parent = parent;
    nodes_.emplace(id, std::move(node));
    if (p)
      p->children.push_back(id);
    else
      topLevel_.push_back(id);
    observer = observer_;
  }
  if (observer) observer->inserted(id, parent);
  return id;
}

template <typename Change>
void TreeModel::update(TreeItem item, Change change) {
  TreeObserver* observer;
  {
    std::lock_guard lock(mutex_);
    Node* n = find(item);
    if (!n) return;
    change(*n);
    observer = observer_;
  }
  if (observer) observer->changed(item);
}

void TreeModel::setText(TreeItem item, const std::string& text) {
  update(item, [&](Node& n) { n.text = text; });
}

void TreeModel::setImages(TreeItem item, int image, int selectedImage) {
  update(item, [&](Node& n) {
    n.image = image;
    n.selectedImage = selectedImage;
  });
}

void TreeModel::setState(TreeItem item, int stateImage) {
  update(item, [&](Node& n) { n.state = stateImage; });
}

std::string TreeModel::text(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const Node* n = find(item);
  return n ? n->text : std::string();
}

int TreeModel::image(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const Node* n = find(item);
  return n ? n->image : 0;
}

int TreeModel::state(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const Node* n = find(item);
  return n ? n->state : 0;
}

void TreeModel::expand(TreeItem item) {
  TreeObserver* observer;
  {
    std::lock_guard lock(mutex_);
    Node* n = find(item);
    if (!n) return;
    n->expanded = true;
    observer = observer_;
  }
  if (observer) observer->expandedChanged(item, true);
}

void TreeModel::collapse(TreeItem item) {
  TreeObserver* observer;
  {
    std::lock_guard lock(mutex_);
    Node* n = find(item);
    if (!n) return;
    n->expanded = false;
    observer = observer_;
  }
  if (observer) observer->expandedChanged(item, false);
}

bool TreeModel::expanded(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const Node* n = find(item);
  return n && n->expanded;
}

void TreeModel::select(TreeItem item) {
  TreeObserver* observer;
  {
    std::lock_guard lock(mutex_);
    if (item != kNoItem && !find(item)) return;
    selected_ = item;
    observer = observer_;
  }
  if (observer) observer->selected(item);
}

TreeItem TreeModel::selected() const {
  std::lock_guard lock(mutex_);
  return selected_;
}

bool TreeModel::exists(TreeItem item) const {
  std::lock_guard lock(mutex_);
  return find(item) != nullptr;
}

TreeItem TreeModel::parent(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const Node* n = find(item);
  return n ? n->parent : kNoItem;
}

std::vector<TreeItem> TreeModel::children(TreeItem item) const {
  std::lock_guard lock(mutex_);
  if (item == kNoItem) return topLevel_;
  const Node* n = find(item);
  return n ? n->children : std::vector<TreeItem>{};
}

TreeItem TreeModel::root() const {
  std::lock_guard lock(mutex_);
  return topLevel_.empty() ? kNoItem : topLevel_.front();
}

std::size_t TreeModel::size() const {
  std::lock_guard lock(mutex_);
  return nodes_.size();
}

void TreeModel::removeLocked(TreeItem item, std::vector<TreeItem>& removed) {
  Node* n = find(item);
  if (!n) return;
  for (TreeItem child : std::vector<TreeItem>(n->children)) removeLocked(child, removed);
  removed.push_back(item);
  nodes_.erase(item);
  if (selected_ == item) selected_ = kNoItem;
}

void TreeModel::remove(TreeItem item) {
  std::vector<TreeItem> removed;
  TreeObserver* observer;
  {
    std::lock_guard lock(mutex_);
    Node* n = find(item);
    if (!n) return;
    TreeItem parent = n->parent;
    removeLocked(item, removed);
    auto& siblings = parent == kNoItem ? topLevel_ : find(parent)->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
    observer = observer_;
  }
  if (observer) observer->removed(item);
}

void TreeModel::clear() {
  std::vector<TreeItem> top;
  {
    std::lock_guard lock(mutex_);
    top = topLevel_;
  }
  for (TreeItem item : top) remove(item);
}

void TreeModel::setEnabled(bool enabled) {
  TreeObserver* observer;
  {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
    observer = observer_;
  }
  if (observer) observer->enabledChanged(enabled);
}

bool TreeModel::enabled() const {
  std::lock_guard lock(mutex_);
  return enabled_;
}

void TreeModel::setObserver(TreeObserver* observer) {
  std::lock_guard lock(mutex_);
  observer_ = observer;
}

}  // namespace tessaly

namespace tessaly {

void setSubtreeCheck(TreeModel& tree, TreeItem item, int state) {
  std::vector<TreeItem> pending{item};
  while (!pending.empty()) {
    TreeItem at = pending.back();
    pending.pop_back();
    tree.setState(at, state);
    for (TreeItem child : tree.children(at)) pending.push_back(child);
  }
}

void toggleCheck(TreeModel& tree, TreeItem item) {
  const int state = tree.state(item);
  const bool checking = !(state == kChecked || state == kPartlyChecked);
  setSubtreeCheck(tree, item, checking ? kChecked : kUnchecked);
  for (TreeItem at = tree.parent(item); at != kNoItem; at = tree.parent(at)) {
    bool anyUnchecked = false, anyPartly = false, allUnchecked = true;
    for (TreeItem child : tree.children(at)) {
      const int s = tree.state(child);
      anyUnchecked = anyUnchecked || s == kUnchecked;
      anyPartly = anyPartly || s == kPartlyChecked;
      allUnchecked = allUnchecked && s == kUnchecked;
    }
    if (checking)
      tree.setState(at, !anyUnchecked && !anyPartly ? kChecked : kPartlyChecked);
    else
      tree.setState(at, allUnchecked ? kUnchecked : kPartlyChecked);
  }
}

}  // namespace tessaly
