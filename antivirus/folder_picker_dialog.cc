// The folder picker; see folder_picker_dialog.h.
#include "antivirus/folder_picker_dialog.h"

#include <algorithm>

#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "platform/file.h"
#include "platform/path.h"

namespace kolvar {
namespace {

bool LessIgnoringCase(const std::u16string& a, const std::u16string& b) {
  auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

}  // namespace

std::vector<std::u16string> ListDeviceFolders(std::u16string_view folder) {
  std::vector<std::u16string> names;
  platform::DirectoryListing listing;
  platform::FindData data;
  const std::u16string pattern = platform::JoinPath(folder, u"*.*");
  for (bool found = listing.First(pattern, &data); found; found = listing.Next(&data)) {
    if (data.kind == platform::EntryKind::kDirectory) names.push_back(data.name);
  }
  return names;
}

FolderPickerDialog::FolderPickerDialog(FolderLister lister)
    : Dialog(LoadString(string_ids::kSelectFolderTitle)), lister_(std::move(lister)) {
  using namespace commands;
  label_ = LoadString(TemplateText(resources::kFolderPickerTemplate, 1077));
  soft_keys().left = ui::SoftKey::CommandKey(
      kSelectFolder, LoadString(TemplateText(resources::kFolderPickerMenuBar, kSelectFolder)));
  soft_keys().right = ui::SoftKey::CommandKey(
      kCancelFolder, LoadString(TemplateText(resources::kFolderPickerMenuBar, kCancelFolder)));
  root_.name = u"\\";
  tree_.SetColumns({{u"", 220}});
}

void FolderPickerDialog::OnInit() {
  Rebuild(&root_);
  SetFocus(kFolderTreeControl);
}

std::u16string FolderPickerDialog::PathOf(const Node* node) {
  if (node->parent == nullptr) return u"\\";
  return platform::JoinPath(PathOf(node->parent), node->name);
}

std::u16string FolderPickerDialog::PathOfRow(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return u"";
  return PathOf(rows_[static_cast<size_t>(row)]);
}

void FolderPickerDialog::AddRows(Node* node, int depth) {
  const bool may_open = !node->listed || !node->children.empty();
  const std::u16string marker = !may_open ? u"  " : node->open ? u"- " : u"+ ";
  tree_.AddRow({{std::u16string(static_cast<size_t>(depth) * 3, u' ') + marker + node->name}, 0});
  rows_.push_back(node);
  if (!node->open) return;
  for (const auto& child : node->children) AddRows(child.get(), depth + 1);
}

void FolderPickerDialog::Rebuild(const Node* keep_selected) {
  tree_.Clear();
  rows_.clear();
  AddRows(&root_, 0);
  const auto it = std::find(rows_.begin(), rows_.end(), keep_selected);
  tree_.Select(it == rows_.end() ? 0 : static_cast<int>(it - rows_.begin()));
  Changed();
}

void FolderPickerDialog::Toggle(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  Node* node = rows_[static_cast<size_t>(row)];
  if (node->open) {
    node->open = false;
  } else {
    if (!node->listed) {
      SetWaitCursor(true);
      std::vector<std::u16string> names =
          lister_ ? lister_(PathOf(node)) : std::vector<std::u16string>{};
      std::sort(names.begin(), names.end(), LessIgnoringCase);
      for (std::u16string& name : names) {
        auto child = std::make_unique<Node>();
        child->name = std::move(name);
        child->parent = node;
        node->children.push_back(std::move(child));
      }
      node->listed = true;
      SetWaitCursor(false);
    }
    node->open = true;
  }
  Rebuild(node);
}

void FolderPickerDialog::OnCommand(uint32_t id) {
  switch (id) {
    case ui::kCommandOk:
    case kFolderTreeControl:
      Toggle(tree_.selected());
      return;
    case commands::kSelectFolder: {
      std::u16string path = PathOfRow(tree_.HasSelection() ? tree_.selected() : 0);
      if (path.size() > 1 && path.back() == u'\\') path.pop_back();
      // A path that the scan channel cannot carry whole would name another folder.
      result_ = path.size() < kFolderPathMaxLength ? path : u"\\";
      End(ui::kResultOk);
      return;
    }
    case commands::kCancelFolder:
      result_ = u"\\";
      End(ui::kResultOk);
      return;
    default:
      Dialog::OnCommand(id);
  }
}

void FolderPickerDialog::OnBack() {
  result_.clear();
  End(ui::kResultBack);
}

void FolderPickerDialog::OnRowActivated(uint32_t list, int row) {
  if (list != kFolderTreeControl) return;
  tree_.Select(row);
  Toggle(row);
}

}  // namespace kolvar
