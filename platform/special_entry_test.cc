// Kinds of the entries that the file walker leaves alone, told apart for the user.
#include "platform/special_entry.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;

TEST(SpecialEntry, EachKindIsToldApartAndFilesAndFoldersAreNone) {
  testing::TestDevice device;
  device.WriteFile(u"\\Temp\\plain.txt", "x");
  ASSERT_EQ(mkfifo(device.Host(u"\\Temp\\fifo").c_str(), 0600), 0);
  fs::create_symlink("plain.txt", device.Host(u"\\Temp\\link"));
  fs::create_symlink("loop", device.Host(u"\\Temp\\loop"));

  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = device.Host(u"\\Temp\\sock");
  ASSERT_LT(socket_path.size(), sizeof(address.sun_path));
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);

  const struct {
    std::u16string path;
    SpecialEntryKind kind;
    std::u16string_view name;
  } cases[] = {
      {u"\\Temp\\plain.txt", SpecialEntryKind::kNone, u""},
      {u"\\Temp", SpecialEntryKind::kNone, u""},
      {u"\\Temp\\missing", SpecialEntryKind::kNone, u""},
      {u"\\Temp\\fifo", SpecialEntryKind::kFifo, u"FIFO"},
      {u"\\Temp\\link", SpecialEntryKind::kSymbolicLink, u"symbolic link"},
      {u"\\Temp\\loop", SpecialEntryKind::kSymbolicLink, u"symbolic link"},
      {u"\\Temp\\sock", SpecialEntryKind::kSocket, u"socket"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    EXPECT_EQ(GetSpecialEntryKind(c.path), c.kind);
    EXPECT_EQ(SpecialEntryKindName(c.kind), c.name);
  }
  close(listener);
}

}  // namespace
}  // namespace kolvar::platform
