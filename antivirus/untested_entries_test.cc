// The walk for what a scan leaves alone: special entries by their kind, unreadable files, long
// extensions and paths, and the folders the scanner never enters.
#include "antivirus/untested_entries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

std::map<std::u16string, std::u16string> Found(const UntestedEntries& found) {
  std::map<std::u16string, std::u16string> out;
  for (const UntestedEntry& entry : found.entries) out[entry.path] = entry.reason;
  return out;
}

TEST(UntestedEntries, EachKindIsFoundWithItsReason) {
  testing::TestDevice device;
  device.WriteFile(u"\\Docs\\plain.txt", "x");
  device.WriteFile(u"\\Docs\\empty.txt", "");
  device.WriteFile(u"\\Docs\\a.bcdefghijkl.txt", "x");   // 15 characters after the first "."
  device.WriteFile(u"\\Docs\\a.bcdefghijklm.txt", "x");  // 16
  device.WriteFile(u"\\Docs\\Sub\\locked.txt", "x");
  device.WriteFile(u"\\Kolvar\\KVVirusDB.dat", "signatures");
  device.WriteFile(u"\\Kolvar\\Quarantine\\%_Docs%@%x.txt.avq", "quarantined");
  ASSERT_EQ(mkfifo(device.Host(u"\\Docs\\fifo").c_str(), 0600), 0);
  fs::create_symlink("loop", device.Host(u"\\Docs\\Sub\\loop"));
  const std::u16string deep = u"\\Docs\\" + std::u16string(250, u'd');
  device.MakeFolder(deep);
  const std::string locked = device.Host(u"\\Docs\\Sub\\locked.txt");
  chmod(locked.c_str(), 0);
  const bool locked_readable = access(locked.c_str(), R_OK) == 0;

  const std::atomic<bool> stop{false};
  const UntestedEntries found =
      FindUntestedEntries(u"\\", u"\\Kolvar\\Quarantine", u"\\Kolvar\\KVVirusDB.dat", stop);
  chmod(locked.c_str(), 0600);

  std::map<std::u16string, std::u16string> expected = {
      {u"\\Docs\\fifo", u"FIFO"},
      {u"\\Docs\\Sub\\loop", u"symbolic link"},
      {u"\\Docs\\a.bcdefghijklm.txt", u"extension longer than 15 characters, never tested"},
      {deep, u"folder path too long to enter"},
  };
  if (!locked_readable) expected[u"\\Docs\\Sub\\locked.txt"] = u"cannot be read (error 5: access denied)";
  EXPECT_EQ(Found(found), expected);
  EXPECT_EQ(found.total, expected.size());
}

TEST(UntestedEntries, AStopEndsTheWalk) {
  testing::TestDevice device;
  ASSERT_EQ(mkfifo(device.Host(u"\\My Documents\\fifo").c_str(), 0600), 0);
  const std::atomic<bool> stop{true};
  EXPECT_EQ(FindUntestedEntries(u"\\", u"", u"", stop).total, 0u);
}

}  // namespace
}  // namespace kolvar
