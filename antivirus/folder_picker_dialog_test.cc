// The folder picker over a made-up folder tree and over a real device image.
#include "antivirus/folder_picker_dialog.h"

#include <gtest/gtest.h>

#include <map>

#include "antivirus/command_ids.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

std::vector<std::u16string> MadeUpTree(std::u16string_view folder) {
  static const std::map<std::u16string, std::vector<std::u16string>> kTree = {
      {u"\\", {u"Windows", u"My Documents", u"card"}},
      {u"\\My Documents", {u"Work"}},
      {u"\\My Documents\\Work", {}}};
  const auto it = kTree.find(std::u16string(folder));
  return it == kTree.end() ? std::vector<std::u16string>{} : it->second;
}

std::vector<std::u16string> Rows(FolderPickerDialog& picker) {
  std::vector<std::u16string> rows;
  for (int row = 0; row < picker.tree().size(); ++row) rows.push_back(picker.tree().Cell(row, 0));
  return rows;
}

TEST(FolderPickerDialogTest, OpensFoldersAndSelectsTheirDevicePaths) {
  ui::testing::RecordingHost host;
  FolderPickerDialog picker(MadeUpTree);
  host.Show(picker);
  EXPECT_EQ(Rows(picker), (std::vector<std::u16string>{u"+ \\"}));
  picker.OnCommand(ui::kCommandOk);  // the action key opens the root
  EXPECT_EQ(Rows(picker), (std::vector<std::u16string>{u"- \\", u"   + card", u"   + My Documents",
                                                       u"   + Windows"}));
  picker.OnRowActivated(kFolderTreeControl, 2);
  picker.OnRowActivated(kFolderTreeControl, 3);  // "Work", which has nothing below
  EXPECT_EQ(picker.tree().Cell(3, 0), u"        Work");
  picker.OnCommand(commands::kSelectFolder);
  EXPECT_TRUE(picker.ended());
  EXPECT_EQ(picker.result(), u"\\My Documents\\Work");
}

TEST(FolderPickerDialogTest, CancelScansEverythingAndBackGivesNothing) {
  ui::testing::RecordingHost host;
  FolderPickerDialog cancelled(MadeUpTree);
  host.Show(cancelled);
  cancelled.OnCommand(commands::kCancelFolder);
  EXPECT_EQ(cancelled.result(), u"\\");
  FolderPickerDialog left(MadeUpTree);
  host.Show(left);
  left.OnBack();
  EXPECT_EQ(left.result(), u"");
  FolderPickerDialog root(MadeUpTree);
  host.Show(root);
  root.OnCommand(commands::kSelectFolder);
  EXPECT_EQ(root.result(), u"\\") << "the root keeps its one backslash";
}

TEST(FolderPickerDialogTest, ListsTheFoldersOfTheDeviceOnly) {
  testing::TestDevice device;
  device.MakeFolder(u"\\Storage Card\\Music");
  device.WriteFile(u"\\Storage Card\\song.mp3", "la");
  const std::vector<std::u16string> names = ListDeviceFolders(u"\\Storage Card");
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Music"}));
}

}  // namespace
}  // namespace kolvar
