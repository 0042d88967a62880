// The registry viewer over the device's registry of a test device: the four roots in order, keys
// opened lazily, the value list with "(Default)" first, its icons and data texts for every type,
// names once each in case-insensitive order, and the two modes.
#include "antivirus/tools/registry_viewer_dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "common/registry_key.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar::tools {
namespace {

ToolFrameTexts Texts() { return {u"Reg Viewer", u"Kolvar AV", u"Options"}; }

void Write(int root, const std::u16string& path, const std::u16string& name, uint32_t type,
           std::vector<uint8_t> data) {
  RegistryKey key(kRegistryPathRoot, root);
  ASSERT_TRUE(key.OpenKey(path, false, true));
  ASSERT_TRUE(key.SetValue(name, type, data.data(), static_cast<uint32_t>(data.size())));
}

std::vector<uint8_t> Utf16(std::u16string_view text, bool terminated = true) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

TEST(RegistryViewerTest, ValueTextsForEveryType) {
  const struct {
    uint32_t type;
    std::vector<uint8_t> data;
    std::u16string text;
    int icon;
  } cases[] = {
      {1, Utf16(u"hello"), u"hello", kValueIconText},
      {7, Utf16(u"first\0second", true), u"first", kValueIconString},
      {2, {0x25, 0x00, 0x41, 0x00}, u"25 00 41 00", kValueIconString},
      {3, {0xde, 0xad, 0x0b}, u"de ad 0b", kValueIconBinary},
      {6, {0x01}, u"01", kValueIconBinary},
      {8, {0xff, 0x00}, u"ff 00", kValueIconBinary},
      {4, {0x2a, 0x00, 0x00, 0x00}, u"42", kValueIconNumber},
      {4, {0xff, 0xff, 0xff, 0xff}, u"4294967295", kValueIconNumber},
      // A big-endian number is read in its own byte order.
      {5, {0x00, 0x00, 0x01, 0x00}, u"256", kValueIconNumber},
      {5, {0x00, 0x01, 0x00, 0x00}, u"65536", kValueIconNumber},
      {3, {}, u"(value not set)", kValueIconBinary},
      {11, {0x01, 0x02}, u"(unknow type)", kValueIconText},
      {0, {0x01}, u"(unknow type)", kValueIconText},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ValueDataText(c.type, c.data), c.text) << c.type;
    EXPECT_EQ(ValueIcon(c.type), c.icon) << c.type;
  }
}

TEST(RegistryViewerTest, ValueRowsComeFromTheRegistryInCaseInsensitiveOrder) {
  testing::TestDevice device;
  const std::u16string path = u"Software\\Viewer Test";
  Write(kRegistryRootLocalMachine, path, u"beta", 4, {0x07, 0, 0, 0});
  Write(kRegistryRootLocalMachine, path, u"Alpha", 1, Utf16(u"text"));
  Write(kRegistryRootLocalMachine, path, u"ALPHA", 1, Utf16(u"again"));  // same name
  Write(kRegistryRootLocalMachine, path, u"Gamma", 3, {});
  Write(kRegistryRootLocalMachine, path, u"delta", 5, {0x00, 0x00, 0x01, 0x00});
  const std::vector<RegistryValueRow> rows = ReadValueRows(kRegistryRootLocalMachine, path);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].name, u"(Default)");
  EXPECT_EQ(rows[0].data, u"(value not set)");
  EXPECT_EQ(rows[1].data, u"again");
  EXPECT_EQ(rows[2].name, u"beta");
  EXPECT_EQ(rows[2].data, u"7");
  EXPECT_EQ(rows[3].name, u"delta");
  EXPECT_EQ(rows[3].data, u"256");
  EXPECT_EQ(rows[4].name, u"Gamma");
  EXPECT_EQ(rows[4].data, u"(value not set)");

  // A key without values, and one that is not there: the "(Default)" row alone.
  RegistryKey key(kRegistryPathRoot, kRegistryRootLocalMachine);
  ASSERT_TRUE(key.OpenKey(u"Software\\Empty", false, true));
  for (const char16_t* empty : {u"Software\\Empty", u"Software\\Missing"}) {
    const std::vector<RegistryValueRow> only = ReadValueRows(kRegistryRootLocalMachine, empty);
    ASSERT_EQ(only.size(), 1u);
    EXPECT_EQ(only[0].name, u"(Default)");
  }
}

// Values of every type written by another program (kvreg) read back as the value list shows them.
TEST(RegistryViewerTest, ValuesWrittenWithKvregShowTheirTexts) {
  testing::TestDevice device;
  const struct {
    const char* name;
    const char* type;
    std::vector<std::string> values;
    std::u16string text;
    int icon;
  } cases[] = {
      {"a-sz", "sz", {"Hello"}, u"Hello", kValueIconText},
      {"b-expand", "expand_sz", {"%T"}, u"25 00 54 00 00 00", kValueIconString},
      {"c-binary", "binary", {"00ff10"}, u"00 ff 10", kValueIconBinary},
      {"d-dword", "dword", {"0x2a"}, u"42", kValueIconNumber},
      {"e-dword-be", "dword_be", {"0x00010000"}, u"65536", kValueIconNumber},
      {"f-link", "6", {"0a0b"}, u"0a 0b", kValueIconBinary},
      {"g-multi", "multi_sz", {"one", "two"}, u"one", kValueIconString},
      {"h-resources", "8", {"ff"}, u"ff", kValueIconBinary},
      {"i-empty", "binary", {}, u"(value not set)", kValueIconBinary},
      {"j-other", "11", {"0102"}, u"(unknow type)", kValueIconText},
  };
  for (const auto& c : cases) {
    std::string command =
        "'" + testing::BinDir() + "/kvreg' set 'HKLM\\Software\\Typed' " + c.name + " " + c.type;
    for (const std::string& value : c.values) command += " '" + value + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  const std::vector<RegistryValueRow> rows =
      ReadValueRows(kRegistryRootLocalMachine, u"Software\\Typed");
  ASSERT_EQ(rows.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(rows[i + 1].data, cases[i].text);
    EXPECT_EQ(rows[i + 1].icon, cases[i].icon);
  }
}

TEST(RegistryViewerTest, TheTreeOpensKeysAndShowsTheirValues) {
  testing::TestDevice device;
  Write(kRegistryRootCurrentUser, u"Software\\Kolvar Corp.\\Kolvar AV", u"Version", 1,
        Utf16(u"3.0"));
  ui::testing::RecordingHost host;
  RegistryViewerDialog dialog(Texts());
  host.Show(dialog);
  ui::ListModel& tree = dialog.tree();
  ASSERT_EQ(tree.size(), 4);
  EXPECT_EQ(tree.Cell(0, 0), u"+ HKEY_CLASSES_ROOT");
  EXPECT_EQ(tree.Cell(1, 0), u"+ HKEY_CURRENT_USER");
  EXPECT_EQ(tree.Cell(2, 0), u"+ HKEY_LOCAL_MACHINE");
  EXPECT_EQ(tree.Cell(3, 0), u"+ HKEY_USERS");
  EXPECT_EQ(dialog.soft_keys().left.text, u"View Values");
  EXPECT_EQ(dialog.soft_keys().right.text, u"Close");

  dialog.OnRowActivated(kRegistryTreeControl, 1);
  ASSERT_EQ(tree.Cell(2, 0), u"   + Software");
  dialog.OnRowActivated(kRegistryTreeControl, 2);
  ASSERT_EQ(tree.Cell(3, 0), u"      + Kolvar Corp.");
  dialog.OnRowActivated(kRegistryTreeControl, 3);
  ASSERT_EQ(tree.Cell(4, 0), u"         + Kolvar AV");
  EXPECT_EQ(dialog.PathOfRow(4), u"Software\\Kolvar Corp.\\Kolvar AV");
  EXPECT_EQ(dialog.RootOfRow(4), kRegistryRootCurrentUser);
  // A key without subkeys loses its button once opened.
  dialog.OnRowActivated(kRegistryTreeControl, 4);
  EXPECT_EQ(tree.Cell(4, 0), u"           Kolvar AV");

  dialog.OnCommand(registry_commands::kViewValues);
  EXPECT_TRUE(dialog.showing_values());
  ui::ListModel& values = dialog.values();
  ASSERT_EQ(values.size(), 2);
  EXPECT_EQ(values.Cell(1, 0), u"Version");
  EXPECT_EQ(values.Cell(1, 1), u"3.0");
  EXPECT_EQ(values.selected(), 1);
  EXPECT_EQ(dialog.soft_keys().left.text, u"View Keys");
  EXPECT_EQ(values.columns()[0].title, u"Name");
  EXPECT_EQ(values.columns()[1].width, 1500);

  // Back goes to the tree first, then closes.
  dialog.OnBack();
  EXPECT_FALSE(dialog.showing_values());
  EXPECT_EQ(dialog.focus(), kRegistryTreeControl);
  EXPECT_FALSE(dialog.ended());
  // Closing and reopening a key reads it again.
  Write(kRegistryRootCurrentUser, u"Software\\Kolvar Corp.\\Added", u"x", 4, {1, 0, 0, 0});
  dialog.Toggle(3);
  dialog.Toggle(3);
  ASSERT_EQ(tree.size(), 8);
  std::set<std::u16string> reread{tree.Cell(4, 0), tree.Cell(5, 0)};
  EXPECT_EQ(reread, (std::set<std::u16string>{u"         + Added", u"         + Kolvar AV"}));
  dialog.OnCommand(registry_commands::kClose);
  EXPECT_TRUE(dialog.ended());
}

}  // namespace
}  // namespace kolvar::tools
