// The registry viewer: the device registry read-only, as a tree of keys under the four roots
// (each key's subkeys read when it is first opened, and again whenever it is opened anew, so a
// key changed meanwhile shows its present subkeys) and, for a chosen key, the list of its values
// with their data. Both share the one list area: "View Values" shows the chosen key's values,
// "View Keys" (or the Back key) the tree again.
//
// The tree is an indented list as in the folder picker ("+" before a closed key that may have
// subkeys, "-" before an open one). Value rows carry an icon by type (kValueIcon...) and the data
// as text; names are listed once each, in order without regard to case.
#ifndef KOLVAR_ANTIVIRUS_TOOLS_REGISTRY_VIEWER_DIALOG_H_
#define KOLVAR_ANTIVIRUS_TOOLS_REGISTRY_VIEWER_DIALOG_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "antivirus/tools/tool_texts.h"
#include "ui/dialog.h"
#include "ui/list_model.h"

namespace kolvar::tools {

namespace registry_commands {
inline constexpr uint32_t kViewValues = 40230;
inline constexpr uint32_t kClose = 40229;
inline constexpr uint32_t kViewKeys = 40233;
}  // namespace registry_commands

inline constexpr uint32_t kRegistryTreeControl = 1101;
inline constexpr uint32_t kRegistryValuesControl = 1102;

// Icons of the value rows, by image index.
inline constexpr int kValueIconText = 0;
inline constexpr int kValueIconString = 1;
inline constexpr int kValueIconBinary = 2;
inline constexpr int kValueIconNumber = 3;

// The icon of a value type.
int ValueIcon(uint32_t type);
// The data column's text of a value of `type` holding `data`. A big-endian number (type 5) is
// read in its own byte order, so kvreg's "dword_be 256" shows as 256.
std::u16string ValueDataText(uint32_t type, const std::vector<uint8_t>& data);

// One row of a key's value list.
struct RegistryValueRow {
  std::u16string name;
  std::u16string data;
  int icon = kValueIconText;
};
// The rows of a key's value list: "(Default)" / "(value not set)" first, then each value; only
// the first row when the key cannot be opened. `root` is a root selector of the registry
// accessor, `path` the key's path below the root ("" for the root itself).
std::vector<RegistryValueRow> ReadValueRows(int root, const std::u16string& path);
// The names of a key's subkeys in the registry's order; empty when it cannot be opened.
std::vector<std::u16string> ReadSubkeys(int root, const std::u16string& path);

class RegistryViewerDialog : public ui::Dialog {
 public:
  explicit RegistryViewerDialog(const ToolFrameTexts& frame_texts);

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnBack() override;
  void OnRowActivated(uint32_t list, int row) override;

  bool showing_values() const { return showing_values_; }
  ui::ListModel& tree() { return tree_; }
  ui::ListModel& values() { return values_; }
  // The root selector and path of a visible tree row.
  int RootOfRow(int row) const;
  std::u16string PathOfRow(int row) const;
  // Opens a closed key (reading its subkeys) or closes an open one.
  void Toggle(int row);
  void ShowValues();
  void ShowKeys();

 private:
  struct Node {
    std::u16string name;
    int root = 0;
    Node* parent = nullptr;
    bool open = false;
    bool listed = false;
    std::vector<std::unique_ptr<Node>> children;
  };

  void Rebuild(const Node* keep_selected);
  void AddRows(Node* node, int depth);
  void SetKeys();
  static std::u16string PathOf(const Node* node);

  const ToolFrameTexts texts_;
  std::vector<std::unique_ptr<Node>> roots_;
  std::vector<Node*> rows_;
  ui::ListModel tree_;
  ui::ListModel values_;
  bool showing_values_ = false;
};

}  // namespace kolvar::tools

#endif  // KOLVAR_ANTIVIRUS_TOOLS_REGISTRY_VIEWER_DIALOG_H_
