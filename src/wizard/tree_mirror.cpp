#include "wizard/tree_mirror.h"

#include "session/safe_text.h"
#include "wizard/ui_queue.h"

namespace tessaly::wizard {

namespace {

class MirrorData : public wxTreeItemData {
 public:
  explicit MirrorData(TreeItem modelItem) : item(modelItem) {}
  TreeItem item;
};

int stateOf(int modelState) { return modelState == 0 ? wxTREE_ITEMSTATE_NONE : modelState; }

}  // namespace

TreeMirror::TreeMirror(TreeModel& model, wxTreeCtrl& control, UiQueue& queue)
    : model_(&model), control_(control), queue_(queue) {
  model_->setObserver(this);
}

TreeMirror::~TreeMirror() { model_->setObserver(nullptr); }

void TreeMirror::attach(TreeModel& model) {
  queue_.flush();
  model_->setObserver(nullptr);
  control_.DeleteAllItems();
  ids_.clear();
  model_ = &model;
  model_->setObserver(this);
}

TreeItem TreeMirror::itemOf(const wxTreeItemId& id) const {
  if (!id.IsOk()) return kNoItem;
  auto* data = dynamic_cast<MirrorData*>(control_.GetItemData(id));
  return data ? data->item : kNoItem;
}

wxTreeItemId TreeMirror::idOf(TreeItem item) const {
  auto it = ids_.find(item);
  return it == ids_.end() ? wxTreeItemId() : it->second;
}

std::string TreeMirror::textOf(TreeItem item) const {
  wxTreeItemId id = idOf(item);
  return id.IsOk() ? control_.GetItemText(id).utf8_string() : std::string();
}

void TreeMirror::applyInsert(TreeItem item, TreeItem parent, const std::string& text, int image,
                             int selectedImage, int state) {
  wxTreeItemId id;
  const wxString label = wxString::FromUTF8(displayText(text));
  if (parent == kNoItem) {
    wxTreeItemId root = control_.GetRootItem();
    id = root.IsOk() ? control_.AppendItem(root, label, image, selectedImage, new MirrorData(item))
                     : control_.AddRoot(label, image, selectedImage, new MirrorData(item));
  } else {
    wxTreeItemId parentId = idOf(parent);
    if (!parentId.IsOk()) return;  // the parent went away before this landed
    id = control_.AppendItem(parentId, label, image, selectedImage, new MirrorData(item));
  }
  if (state != 0) control_.SetItemState(id, stateOf(state));
  ids_[item] = id;
}

void TreeMirror::inserted(TreeItem item, TreeItem parent) {
  // What the item is now; later changes arrive as their own updates.
  std::string text = model_->text(item);
  const int image = model_->image(item);
  const int state = model_->state(item);
  UiOp op;
  op.call = [this, item, parent, text = std::move(text), image, state] {
    applyInsert(item, parent, text, image, image, state);
  };
  queue_.post(std::move(op));
}

void TreeMirror::changed(TreeItem item) {
  UiOp op;
  op.call = [this, item] {
    wxTreeItemId id = idOf(item);
    if (!id.IsOk() || !model_->exists(item)) return;
    control_.SetItemText(id, wxString::FromUTF8(displayText(model_->text(item))));
    control_.SetItemImage(id, model_->image(item));
    control_.SetItemImage(id, model_->image(item), wxTreeItemIcon_Selected);
    control_.SetItemState(id, stateOf(model_->state(item)));
  };
  queue_.post(std::move(op));
}

void TreeMirror::expandedChanged(TreeItem item, bool expanded) {
  UiOp op;
  op.call = [this, item, expanded] {
    wxTreeItemId id = idOf(item);
    if (!id.IsOk()) return;
    applying_ = true;
    if (expanded)
      control_.Expand(id);
    else
      control_.Collapse(id);
    applying_ = false;
  };
  queue_.post(std::move(op));
}

void TreeMirror::forget(const wxTreeItemId& id) {
  wxTreeItemIdValue cookie;
  for (wxTreeItemId child = control_.GetFirstChild(id, cookie); child.IsOk();
       child = control_.GetNextChild(id, cookie))
    forget(child);
  ids_.erase(itemOf(id));
}

void TreeMirror::removed(TreeItem item) {
  UiOp op;
  op.call = [this, item] {
    wxTreeItemId id = idOf(item);
    if (!id.IsOk()) return;
    forget(id);
    control_.Delete(id);
  };
  queue_.post(std::move(op));
}

void TreeMirror::selected(TreeItem item) {
  UiOp op;
  op.call = [this, item] {
    wxTreeItemId id = idOf(item);
    selecting_ = true;
    if (id.IsOk()) {
      control_.SelectItem(id);
      control_.EnsureVisible(id);
    } else {
      control_.UnselectAll();
    }
    selecting_ = false;
  };
  queue_.post(std::move(op));
}

void TreeMirror::enabledChanged(bool enabled) {
  UiOp op;
  op.call = [this, enabled] { control_.Enable(enabled); };
  queue_.post(std::move(op));
}

}  // namespace tessaly::wizard
