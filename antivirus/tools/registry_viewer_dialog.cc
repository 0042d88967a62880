// The registry viewer; see registry_viewer_dialog.h.
#include "antivirus/tools/registry_viewer_dialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/registry_key.h"
#include "common/sorted_table.h"
#include "platform/registry_store.h"

namespace kolvar::tools {
namespace {

// Long enough for any key name the registry keeps (255 characters), so a long name never ends
// the enumeration early.
constexpr uint32_t kSubkeyBufferLength = 256;

constexpr uint32_t kTypeString = 1;
constexpr uint32_t kTypeExpandString = 2;
constexpr uint32_t kTypeBinary = 3;
constexpr uint32_t kTypeNumber = 4;
constexpr uint32_t kTypeBigEndianNumber = 5;
constexpr uint32_t kTypeLink = 6;
constexpr uint32_t kTypeMultiString = 7;
constexpr uint32_t kTypeResourceList = 8;

const struct {
  const char16_t* name;
  int selector;
} kRoots[] = {{u"HKEY_CLASSES_ROOT", kRegistryRootClassesRoot},
              {u"HKEY_CURRENT_USER", kRegistryRootCurrentUser},
              {u"HKEY_LOCAL_MACHINE", kRegistryRootLocalMachine},
              {u"HKEY_USERS", kRegistryRootUsers}};

bool OpenForReading(RegistryKey* key, int root, const std::u16string& path) {
  key->Reset(kRegistryPathRoot, root);
  return key->OpenKey(path, false, false);
}

// UTF-16LE text up to its first NUL (a multi-string's first string).
std::u16string TextOf(const std::vector<uint8_t>& data) {
  std::u16string text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == u'\0') break;
    text += c;
  }
  return text;
}

std::u16string HexOf(const std::vector<uint8_t>& data) {
  std::u16string text;
  for (size_t i = 0; i < data.size(); ++i) {
    char digits[3];
    snprintf(digits, sizeof digits, "%02x", data[i]);
    if (i > 0) text += u' ';
    text += static_cast<char16_t>(digits[0]);
    text += static_cast<char16_t>(digits[1]);
  }
  return text;
}

// The first four bytes as a number, in the byte order the type names (missing bytes count as 0).
std::u16string NumberOf(const std::vector<uint8_t>& data, bool big_endian) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < data.size(); ++i) {
    value |= uint32_t{data[i]} << (8 * (big_endian ? 3 - i : i));
  }
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

int ValueIcon(uint32_t type) {
  switch (type) {
    case kTypeExpandString:
    case kTypeMultiString:
      return kValueIconString;
    case kTypeBinary:
    case kTypeLink:
    case kTypeResourceList:
      return kValueIconBinary;
    case kTypeNumber:
    case kTypeBigEndianNumber:
      return kValueIconNumber;
    default:
      return kValueIconText;
  }
}

std::u16string ValueDataText(uint32_t type, const std::vector<uint8_t>& data) {
  if (data.empty()) return texts::kValueNotSet;
  switch (type) {
    case kTypeString:
    case kTypeMultiString:
      return TextOf(data);
    case kTypeExpandString:
    case kTypeBinary:
    case kTypeLink:
    case kTypeResourceList:
      return HexOf(data);
    case kTypeNumber:
      return NumberOf(data, false);
    case kTypeBigEndianNumber:
      return NumberOf(data, true);
    default:
      return texts::kUnknownType;
  }
}

std::vector<RegistryValueRow> ReadValueRows(int root, const std::u16string& path) {
  std::vector<RegistryValueRow> rows{{texts::kDefaultValue, texts::kValueNotSet, kValueIconText}};
  RegistryKey key(kRegistryPathRoot, root);
  SortedTable names(kValueNameKeyLength);
  if (!OpenForReading(&key, root, path) || !key.ValueNames(&names)) return rows;
  const uint32_t count = names.Count();
  for (uint32_t index = 0; index < count; ++index) {
    char16_t name_buffer[kValueNameKeyLength / sizeof(char16_t)] = {};
    if (!names.Get(name_buffer, sizeof name_buffer - sizeof(char16_t), false, index)) continue;
    const std::u16string name(name_buffer);
    const int64_t type = key.ValueType(name);
    if (type < 0) continue;  // deleted meanwhile
    std::vector<uint8_t> data(key.ValueSize(name));
    uint32_t size = static_cast<uint32_t>(data.size());
    if (size > 0 && !key.GetValue(name, static_cast<uint32_t>(type), data.data(), &size)) continue;
    data.resize(size);
    rows.push_back({name, ValueDataText(static_cast<uint32_t>(type), data),
                    ValueIcon(static_cast<uint32_t>(type))});
  }
  return rows;
}

std::vector<std::u16string> ReadSubkeys(int root, const std::u16string& path) {
  std::vector<std::u16string> names;
  RegistryKey key(kRegistryPathRoot, root);
  if (!OpenForReading(&key, root, path)) return names;
  char16_t buffer[kSubkeyBufferLength];
  uint32_t size = kSubkeyBufferLength;
  for (bool found = key.FirstSubkey(buffer, &size); found; found = key.NextSubkey(buffer, &size)) {
    names.emplace_back(buffer, size);
    size = kSubkeyBufferLength;
  }
  return names;
}

RegistryViewerDialog::RegistryViewerDialog(const ToolFrameTexts& frame_texts)
    : Dialog(frame_texts.title), texts_(frame_texts) {
  for (const auto& root : kRoots) {
    auto node = std::make_unique<Node>();
    node->name = root.name;
    node->root = root.selector;
    roots_.push_back(std::move(node));
  }
  tree_.SetColumns({{u"", 220}});
  values_.SetColumns({{u"Name", 180}, {u"Data", 1500}});
  SetKeys();
}

void RegistryViewerDialog::SetKeys() {
  if (showing_values_) {
    soft_keys().left = ui::SoftKey::CommandKey(registry_commands::kViewKeys, texts::kViewKeys);
  } else {
    soft_keys().left = ui::SoftKey::CommandKey(registry_commands::kViewValues, texts::kViewValues);
  }
  soft_keys().right = ui::SoftKey::CommandKey(registry_commands::kClose, texts::kClose);
}

void RegistryViewerDialog::OnInit() {
  Rebuild(roots_.front().get());
  SetFocus(kRegistryTreeControl);
}

std::u16string RegistryViewerDialog::PathOf(const Node* node) {
  if (node->parent == nullptr) return u"";
  const std::u16string above = PathOf(node->parent);
  return above.empty() ? node->name : above + u"\\" + node->name;
}

int RegistryViewerDialog::RootOfRow(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return 0;
  return rows_[static_cast<size_t>(row)]->root;
}

std::u16string RegistryViewerDialog::PathOfRow(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return u"";
  return PathOf(rows_[static_cast<size_t>(row)]);
}

void RegistryViewerDialog::AddRows(Node* node, int depth) {
  const bool may_open = !node->listed || !node->children.empty();
  const std::u16string marker = !may_open ? u"  " : node->open ? u"- " : u"+ ";
  tree_.AddRow({{std::u16string(static_cast<size_t>(depth) * 3, u' ') + marker + node->name}});
  rows_.push_back(node);
  if (!node->open) return;
  for (const auto& child : node->children) AddRows(child.get(), depth + 1);
}

void RegistryViewerDialog::Rebuild(const Node* keep_selected) {
  tree_.Clear();
  rows_.clear();
  for (const auto& root : roots_) AddRows(root.get(), 0);
  const auto it = std::find(rows_.begin(), rows_.end(), keep_selected);
  tree_.Select(it == rows_.end() ? 0 : static_cast<int>(it - rows_.begin()));
  Changed();
}

void RegistryViewerDialog::Toggle(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  Node* node = rows_[static_cast<size_t>(row)];
  if (node->open) {
    node->open = false;
  } else {
    SetWaitCursor(true);
    node->children.clear();
    for (std::u16string& name : ReadSubkeys(node->root, PathOf(node))) {
      auto child = std::make_unique<Node>();
      child->name = std::move(name);
      child->root = node->root;
      child->parent = node;
      node->children.push_back(std::move(child));
    }
    node->listed = true;
    node->open = true;
    SetWaitCursor(false);
  }
  Rebuild(node);
}

void RegistryViewerDialog::ShowValues() {
  const int row = tree_.HasSelection() ? tree_.selected() : 0;
  values_.Clear();
  for (const RegistryValueRow& value : ReadValueRows(RootOfRow(row), PathOfRow(row))) {
    values_.AddRow({{value.name, value.data}, value.icon});
  }
  // The first value row, or "(Default)" when the key has none.
  values_.Select(values_.size() > 1 ? 1 : 0);
  showing_values_ = true;
  SetKeys();
  SetFocus(kRegistryValuesControl);
  Changed();
}

void RegistryViewerDialog::ShowKeys() {
  showing_values_ = false;
  SetKeys();
  SetFocus(kRegistryTreeControl);
  Changed();
}

void RegistryViewerDialog::OnCommand(uint32_t id) {
  switch (id) {
    case kRegistryTreeControl:
      Toggle(tree_.selected());
      return;
    case registry_commands::kViewValues:
      ShowValues();
      return;
    case registry_commands::kViewKeys:
      ShowKeys();
      return;
    case registry_commands::kClose:
      End(ui::kResultOk);
      return;
    default:
      Dialog::OnCommand(id);
  }
}

void RegistryViewerDialog::OnBack() {
  if (showing_values_) {
    ShowKeys();
    return;
  }
  Dialog::OnBack();
}

void RegistryViewerDialog::OnRowActivated(uint32_t list, int row) {
  if (list != kRegistryTreeControl) return;
  tree_.Select(row);
  Toggle(row);
}

}  // namespace kolvar::tools
