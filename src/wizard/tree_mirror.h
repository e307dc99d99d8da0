// Draws a headless tree model in a tree control. The model may be changed from a worker
// thread: every change is carried to the interface thread through the window's update
// queue, in order. The mirror keeps the map between model items and control items.
#pragma once

#include <unordered_map>

#include "session/tree_model.h"
#include "wizard/wx.h"

namespace tessaly::wizard {

class UiQueue;

class TreeMirror : public TreeObserver {
 public:
  TreeMirror(TreeModel& model, wxTreeCtrl& control, UiQueue& queue);
  ~TreeMirror() override;
  TreeMirror(const TreeMirror&) = delete;
  TreeMirror& operator=(const TreeMirror&) = delete;

  TreeModel& model() { return *model_; }
  // Draws another model from now on (interface thread, no worker changing either): the
  // updates still waiting are applied first, then the control starts empty.
  void attach(TreeModel& model);
  wxTreeCtrl& control() { return control_; }
  // The model item of a control item (kNoItem when none) and back.
  TreeItem itemOf(const wxTreeItemId& id) const;
  wxTreeItemId idOf(TreeItem item) const;
  // True while the mirror itself selects an item, so that selection handlers can tell
  // a selection the program made from one the user made.
  bool selecting() const { return selecting_; }
  // True while the mirror itself expands or collapses an item (the model's doing, not
  // the user's).
  bool applying() const { return applying_; }
  // The text of a model item as the control shows it.
  std::string textOf(TreeItem item) const;

  void inserted(TreeItem item, TreeItem parent) override;
  void changed(TreeItem item) override;
  void expandedChanged(TreeItem item, bool expanded) override;
  void removed(TreeItem item) override;
  void selected(TreeItem item) override;
  void enabledChanged(bool enabled) override;

 private:
  void forget(const wxTreeItemId& id);
  void applyInsert(TreeItem item, TreeItem parent, const std::string& text, int image,
                   int selectedImage, int state);

  TreeModel* model_;
  wxTreeCtrl& control_;
  UiQueue& queue_;
  std::unordered_map<TreeItem, wxTreeItemId> ids_;
  bool selecting_ = false;
  bool applying_ = false;
};

}  // namespace tessaly::wizard
