// The folder picker of the scan dialog: the device's folder tree from "\" down, each folder's
// sub-folders listed when it is first opened, shown as an indented list (one row per visible
// folder, "+" before a closed one and "-" before an open one). The action key, or choosing a row,
// opens a closed folder or closes an open one; "Select" gives the chosen folder's device path,
// "Cancel" gives "\" (the whole device), the Back key gives the empty path.
#ifndef KOLVAR_ANTIVIRUS_FOLDER_PICKER_DIALOG_H_
#define KOLVAR_ANTIVIRUS_FOLDER_PICKER_DIALOG_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog.h"
#include "ui/list_model.h"

namespace kolvar {

// The names of the sub-folders of a device folder, in any order.
using FolderLister = std::function<std::vector<std::u16string>(std::u16string_view folder)>;
// Lists the device's folders ("*.*" in the folder, folders only).
std::vector<std::u16string> ListDeviceFolders(std::u16string_view folder);

inline constexpr uint32_t kFolderTreeControl = 1076;
// The longest result, as the scan channel carries it.
inline constexpr size_t kFolderPathMaxLength = 260;

class FolderPickerDialog : public ui::Dialog {
 public:
  explicit FolderPickerDialog(FolderLister lister = ListDeviceFolders);

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnBack() override;
  void OnRowActivated(uint32_t list, int row) override;

  // The chosen folder once the dialog has ended ("\" for the root, never a trailing "\").
  const std::u16string& result() const { return result_; }
  ui::ListModel& tree() { return tree_; }
  const std::u16string& label() const { return label_; }
  // The device path of a visible row; empty for none.
  std::u16string PathOfRow(int row) const;
  // Opens a closed folder (listing it the first time) or closes an open one.
  void Toggle(int row);

 private:
  struct Node {
    std::u16string name;
    Node* parent = nullptr;
    bool open = false;
    bool listed = false;
    std::vector<std::unique_ptr<Node>> children;
  };

  void Rebuild(const Node* keep_selected);
  void AddRows(Node* node, int depth);
  static std::u16string PathOf(const Node* node);

  FolderLister lister_;
  std::u16string label_;
  Node root_;
  std::vector<Node*> rows_;  // the node of each visible row
  ui::ListModel tree_;
  std::u16string result_;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_FOLDER_PICKER_DIALOG_H_
