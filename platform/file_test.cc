// Files by device path: opening with each disposition and its errors, reading and writing,
// attributes as the host keeps them, and move, copy, delete and folders with the device's error
// values. Every case works in its own device image.
#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/path.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;

class FileTest : public ::testing::Test {
 protected:
  std::string Host(std::u16string_view device_path) const { return device_.Host(device_path); }

  mode_t Mode(std::u16string_view device_path) const {
    struct stat st;
    EXPECT_EQ(lstat(Host(device_path).c_str(), &st), 0);
    return st.st_mode;
  }

  void MakeSocket(std::u16string_view device_path) const {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string host = Host(device_path);
    ASSERT_LT(host.size(), sizeof address.sun_path);
    host.copy(address.sun_path, host.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
  }

  // Names of the host folder, for checking that nothing was left behind.
  std::vector<std::string> HostNames(std::u16string_view device_folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Host(device_folder))) {
      names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::TestDevice device_;
};

TEST_F(FileTest, OpenRefusesWhatIsNotARegularFileWithDeviceErrors) {
  device_.WriteFile(u"\\Temp\\a.txt", "abc");
  device_.MakeFolder(u"\\Temp\\folder");
  ASSERT_EQ(mkfifo(Host(u"\\Temp\\fifo").c_str(), 0600), 0);
  MakeSocket(u"\\Temp\\sock");
  fs::create_symlink(Host(u"\\Temp\\a.txt"), Host(u"\\Temp\\link"));
  fs::create_symlink("loop", Host(u"\\Temp\\loop"));
  device_.WriteFile(u"\\Temp\\ro.txt", "ro");
  fs::permissions(Host(u"\\Temp\\ro.txt"), fs::perms::owner_read);

  const std::u16string longest =
      u"\\Temp\\" + std::u16string(200, u'd') + u"\\" + std::u16string(kMaxPath - 1 - 207, u'f');
  ASSERT_EQ(longest.size(), kMaxPath - 1);
  const struct {
    const char* name;
    std::u16string path;
    FileAccess access;
    CreateDisposition disposition;
    uint32_t error;  // 0: opens
  } cases[] = {
      {"existing", u"\\Temp\\a.txt", FileAccess::kRead, CreateDisposition::kOpenExisting, 0},
      {"missing file", u"\\Temp\\none", FileAccess::kRead, CreateDisposition::kOpenExisting,
       kErrorFileNotFound},
      {"missing folder", u"\\Nowhere\\a", FileAccess::kRead, CreateDisposition::kOpenExisting,
       kErrorPathNotFound},
      {"create in missing folder", u"\\Nowhere\\a", FileAccess::kWrite,
       CreateDisposition::kCreateAlways, kErrorPathNotFound},
      {"through a file", u"\\Temp\\a.txt\\x", FileAccess::kRead, CreateDisposition::kOpenExisting,
       kErrorPathNotFound},
      {"create new over existing", u"\\Temp\\a.txt", FileAccess::kWrite,
       CreateDisposition::kCreateNew, kErrorFileExists},
      {"folder", u"\\Temp\\folder", FileAccess::kRead, CreateDisposition::kOpenExisting,
       kErrorAccessDenied},
      {"FIFO for reading", u"\\Temp\\fifo", FileAccess::kRead, CreateDisposition::kOpenExisting,
       kErrorAccessDenied},
      {"FIFO for writing", u"\\Temp\\fifo", FileAccess::kWrite, CreateDisposition::kOpenAlways,
       kErrorAccessDenied},
      {"socket", u"\\Temp\\sock", FileAccess::kRead, CreateDisposition::kOpenExisting,
       kErrorAccessDenied},
      {"link to a file", u"\\Temp\\link", FileAccess::kRead, CreateDisposition::kOpenExisting,
       kErrorAccessDenied},
      {"link loop", u"\\Temp\\loop", FileAccess::kRead, CreateDisposition::kOpenExisting,
       kErrorAccessDenied},
      {"create over a link", u"\\Temp\\link", FileAccess::kWrite, CreateDisposition::kCreateAlways,
       kErrorAccessDenied},
      {"read-only for writing", u"\\Temp\\ro.txt", FileAccess::kWrite,
       CreateDisposition::kOpenExisting, kErrorAccessDenied},
      {"read-only for reading", u"\\Temp\\ro.txt", FileAccess::kRead,
       CreateDisposition::kOpenExisting, 0},
      {"truncate without write access", u"\\Temp\\a.txt", FileAccess::kRead,
       CreateDisposition::kTruncateExisting, kErrorInvalidParameter},
      {"260 characters", longest + u"g", FileAccess::kWrite, CreateDisposition::kCreateAlways,
       kErrorFilenameExcedRange},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    File file;
    SetLastError(0);
    EXPECT_EQ(file.Open(c.path, c.access, c.disposition), c.error == 0);
    EXPECT_EQ(file.IsOpen(), c.error == 0);
    if (c.error != 0) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
  EXPECT_EQ(device_.ReadFile(u"\\Temp\\a.txt"), "abc");  // nothing truncated on the way

  // The longest path the device holds works end to end.
  device_.MakeFolder(u"\\Temp\\" + std::u16string(200, u'd'));
  File file;
  EXPECT_TRUE(file.Open(longest, FileAccess::kWrite, CreateDisposition::kCreateNew));
}

TEST_F(FileTest, DispositionsCreateTruncateAndReportExistingFiles) {
  const std::u16string path = u"\\Temp\\d.txt";
  File file;
  ASSERT_TRUE(file.Open(path, FileAccess::kWrite, CreateDisposition::kOpenAlways));
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  EXPECT_EQ(Mode(path) & 0777, 0600u);
  file.Close();

  device_.WriteFile(path, "content");
  ASSERT_TRUE(file.Open(path, FileAccess::kReadWrite, CreateDisposition::kOpenAlways));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  uint64_t size = 0;
  EXPECT_TRUE(file.GetSize(&size));
  EXPECT_EQ(size, 7u);

  ASSERT_TRUE(file.Open(path, FileAccess::kWrite, CreateDisposition::kCreateAlways));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_TRUE(file.GetSize(&size));
  EXPECT_EQ(size, 0u);

  device_.WriteFile(path, "content");
  ASSERT_TRUE(file.Open(path, FileAccess::kWrite, CreateDisposition::kTruncateExisting));
  EXPECT_TRUE(file.GetSize(&size));
  EXPECT_EQ(size, 0u);

  SetLastError(0);
  EXPECT_FALSE(
      file.Open(u"\\Temp\\none", FileAccess::kWrite, CreateDisposition::kTruncateExisting));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  ASSERT_TRUE(file.Open(u"\\Temp\\new", FileAccess::kWrite, CreateDisposition::kCreateAlways));
  EXPECT_EQ(GetLastError(), kErrorSuccess);
}

TEST_F(FileTest, ReadWriteSeekAndCutFollowTheDevicesFilePointer) {
  File file;
  ASSERT_TRUE(file.Open(u"\\Temp\\rw.bin", FileAccess::kReadWrite, CreateDisposition::kCreateNew));
  uint32_t done = 0;
  ASSERT_TRUE(file.Write("0123456789", 10, &done));
  EXPECT_EQ(done, 10u);
  uint64_t position = 0;
  ASSERT_TRUE(file.Seek(-4, SeekOrigin::kEnd, &position));
  EXPECT_EQ(position, 6u);
  char buffer[16] = {};
  ASSERT_TRUE(file.Read(buffer, sizeof buffer, &done));
  EXPECT_EQ(std::string(buffer, done), "6789");
  ASSERT_TRUE(file.Read(buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 0u);  // the end

  SetLastError(0);
  EXPECT_FALSE(file.Seek(-1, SeekOrigin::kBegin));
  EXPECT_EQ(GetLastError(), kErrorNegativeSeek);

  ASSERT_TRUE(file.Seek(3, SeekOrigin::kBegin));
  ASSERT_TRUE(file.SetEndOfFile());
  ASSERT_TRUE(file.Seek(1, SeekOrigin::kCurrent, &position));
  EXPECT_EQ(position, 4u);
  ASSERT_TRUE(file.Flush());
  file.Close();
  EXPECT_EQ(device_.ReadFile(u"\\Temp\\rw.bin"), "012");
}

TEST_F(FileTest, HandlesAllowOnlyTheAccessTheyWereOpenedWith) {
  device_.WriteFile(u"\\Temp\\a.txt", "abc");
  char buffer[4];
  uint32_t done = 0;
  File query;
  ASSERT_TRUE(query.Open(u"\\Temp\\a.txt", FileAccess::kQuery, CreateDisposition::kOpenExisting));
  SetLastError(0);
  EXPECT_FALSE(query.Read(buffer, 3, &done));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(query.Write("x", 1, &done));
  FileInfo info;
  ASSERT_TRUE(query.GetInfo(&info));
  EXPECT_EQ(info.size, 3u);

  File reader;
  ASSERT_TRUE(reader.Open(u"\\Temp\\a.txt", FileAccess::kRead, CreateDisposition::kOpenExisting));
  EXPECT_FALSE(reader.Write("x", 1, &done));
  EXPECT_FALSE(reader.SetEndOfFile());
  File writer;
  ASSERT_TRUE(writer.Open(u"\\Temp\\a.txt", FileAccess::kWrite, CreateDisposition::kOpenExisting));
  EXPECT_FALSE(writer.Read(buffer, 3, &done));

  // A file the user may not read still answers queries.
  fs::permissions(Host(u"\\Temp\\a.txt"), fs::perms::owner_write);
  if (getuid() != 0) {
    File unreadable;
    EXPECT_TRUE(
        unreadable.Open(u"\\Temp\\a.txt", FileAccess::kQuery, CreateDisposition::kOpenExisting));
    EXPECT_TRUE(unreadable.GetInfo(&info));
  }
}

TEST_F(FileTest, MovedHandleKeepsTheFile) {
  device_.WriteFile(u"\\Temp\\a.txt", "abc");
  File first;
  ASSERT_TRUE(first.Open(u"\\Temp\\a.txt", FileAccess::kRead, CreateDisposition::kOpenExisting));
  File second(std::move(first));
  EXPECT_FALSE(first.IsOpen());
  char buffer[3];
  uint32_t done = 0;
  ASSERT_TRUE(second.Read(buffer, 3, &done));
  EXPECT_EQ(done, 3u);
}

TEST_F(FileTest, AttributesComeFromModeNameAndExtendedAttribute) {
  device_.WriteFile(u"\\Temp\\plain.txt", "x");
  device_.WriteFile(u"\\Temp\\.hidden", "x");
  uint32_t attributes = 0;
  ASSERT_TRUE(GetFileAttributes(u"\\Temp\\plain.txt", &attributes));
  EXPECT_EQ(attributes, kAttributeNormal);
  ASSERT_TRUE(GetFileAttributes(u"\\Temp\\.hidden", &attributes));
  EXPECT_EQ(attributes, kAttributeHidden);
  ASSERT_TRUE(GetFileAttributes(u"\\Temp", &attributes));
  EXPECT_EQ(attributes, kAttributeDirectory);

  const std::u16string path = u"\\Temp\\plain.txt";
  ASSERT_TRUE(SetFileAttributes(path, kAttributeReadOnly | kAttributeSystem | kAttributeArchive));
  ASSERT_TRUE(GetFileAttributes(path, &attributes));
  EXPECT_EQ(attributes, kAttributeReadOnly | kAttributeSystem);
  EXPECT_EQ(Mode(path) & 0222, 0u);
  char value[4] = {};
  EXPECT_EQ(getxattr(Host(path).c_str(), kSystemAttributeXattr, value, sizeof value), 1);
  EXPECT_EQ(value[0], '1');

  // Changing only the system bit of a read-only file keeps it read-only.
  ASSERT_TRUE(SetFileAttributes(path, kAttributeReadOnly));
  ASSERT_TRUE(GetFileAttributes(path, &attributes));
  EXPECT_EQ(attributes, kAttributeReadOnly);

  ASSERT_TRUE(SetFileAttributes(path, kAttributeNormal));
  ASSERT_TRUE(GetFileAttributes(path, &attributes));
  EXPECT_EQ(attributes, kAttributeNormal);
  EXPECT_NE(Mode(path) & S_IWUSR, 0u);
  EXPECT_LT(getxattr(Host(path).c_str(), kSystemAttributeXattr, value, sizeof value), 0);

  // A hand-set attribute is read the same way.
  ASSERT_EQ(setxattr(Host(path).c_str(), kSystemAttributeXattr, "1", 1, 0), 0);
  ASSERT_TRUE(GetFileAttributes(path, &attributes));
  EXPECT_EQ(attributes, kAttributeSystem);

  fs::create_symlink("plain.txt", Host(u"\\Temp\\link"));
  SetLastError(0);
  EXPECT_FALSE(SetFileAttributes(u"\\Temp\\link", kAttributeReadOnly));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(GetFileAttributes(u"\\Temp\\none", &attributes));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST_F(FileTest, InfoCarriesSizeTimesKindAndIdentity) {
  device_.WriteFile(u"\\Temp\\a.txt", "12345");
  const struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
  ASSERT_EQ(utimensat(AT_FDCWD, Host(u"\\Temp\\a.txt").c_str(), times, 0), 0);
  FileInfo info;
  ASSERT_TRUE(GetFileInfo(u"\\Temp\\a.txt", &info));
  EXPECT_EQ(info.kind, EntryKind::kRegular);
  EXPECT_EQ(info.size, 5u);
  EXPECT_EQ(info.last_write.value, (1234567890ULL + 11644473600ULL) * 10000000ULL + 5);
  EXPECT_EQ(info.last_access.value, (1000000000ULL + 11644473600ULL) * 10000000ULL);
  EXPECT_NE(info.creation.value, 0u);

  File file;
  ASSERT_TRUE(file.Open(u"\\Temp\\a.txt", FileAccess::kRead, CreateDisposition::kOpenExisting));
  FileInfo opened;
  ASSERT_TRUE(file.GetInfo(&opened));
  EXPECT_EQ(opened.object_id, info.object_id);
  EXPECT_EQ(opened.last_write.value, info.last_write.value);

  device_.WriteFile(u"\\Temp\\b.txt", "12345");
  FileInfo other;
  ASSERT_TRUE(GetFileInfo(u"\\Temp\\b.txt", &other));
  EXPECT_NE(other.object_id, info.object_id);

  fs::create_symlink("a.txt", Host(u"\\Temp\\link"));
  ASSERT_TRUE(GetFileInfo(u"\\Temp\\link", &info));
  EXPECT_EQ(info.kind, EntryKind::kOther);
  ASSERT_TRUE(GetFileInfo(u"\\Temp", &info));
  EXPECT_EQ(info.kind, EntryKind::kDirectory);
}

TEST_F(FileTest, MoveNeverReplacesAndReportsTheDevicesErrors) {
  device_.WriteFile(u"\\Temp\\a.txt", "A");
  device_.WriteFile(u"\\Temp\\b.txt", "B");
  const struct {
    const char* name;
    std::u16string from, to;
    uint32_t error;
  } failures[] = {
      {"onto an existing file", u"\\Temp\\a.txt", u"\\Temp\\b.txt", kErrorAlreadyExists},
      {"onto an existing folder", u"\\Temp\\a.txt", u"\\Windows", kErrorAlreadyExists},
      {"missing source", u"\\Temp\\none", u"\\Temp\\c.txt", kErrorFileNotFound},
      {"source in a missing folder", u"\\None\\a", u"\\Temp\\c.txt", kErrorPathNotFound},
      {"into a missing folder", u"\\Temp\\a.txt", u"\\None\\a.txt", kErrorPathNotFound},
  };
  for (const auto& c : failures) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_FALSE(MoveFile(c.from, c.to));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(device_.ReadFile(u"\\Temp\\a.txt"), "A");
  EXPECT_EQ(device_.ReadFile(u"\\Temp\\b.txt"), "B");

  ASSERT_TRUE(MoveFile(u"\\Temp\\a.txt", u"\\Windows\\a.txt"));
  EXPECT_FALSE(device_.Exists(u"\\Temp\\a.txt"));
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\a.txt"), "A");
  device_.MakeFolder(u"\\Temp\\folder\\inner");
  ASSERT_TRUE(MoveFile(u"\\Temp\\folder", u"\\Windows\\folder"));
  EXPECT_TRUE(DirectoryExists(u"\\Windows\\folder\\inner"));
}

// A second file system inside the image: a link from the image to a folder in /dev/shm.
TEST_F(FileTest, MoveAcrossFileSystemsCopiesAndDeletes) {
  struct stat root_st, shm_st;
  if (stat("/dev/shm", &shm_st) != 0 || stat(device_.root().c_str(), &root_st) != 0 ||
      root_st.st_dev == shm_st.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  std::string other = "/dev/shm/kolvar-move-XXXXXX";
  ASSERT_NE(mkdtemp(other.data()), nullptr);
  fs::create_directory_symlink(other, Host(u"\\Other"));
  device_.WriteFile(u"\\Temp\\a.txt", "across");
  ASSERT_TRUE(SetFileAttributes(u"\\Temp\\a.txt", kAttributeReadOnly));
  device_.WriteFile(u"\\Temp\\b.txt", "B");
  std::ofstream(other + "/b.txt") << "existing";

  EXPECT_TRUE(MoveFile(u"\\Temp\\a.txt", u"\\Other\\a.txt"));
  EXPECT_FALSE(device_.Exists(u"\\Temp\\a.txt"));
  EXPECT_EQ(device_.ReadFile(u"\\Other\\a.txt"), "across");
  uint32_t attributes = 0;
  ASSERT_TRUE(GetFileAttributes(u"\\Other\\a.txt", &attributes));
  EXPECT_EQ(attributes, kAttributeReadOnly);

  SetLastError(0);
  EXPECT_FALSE(MoveFile(u"\\Temp\\b.txt", u"\\Other\\b.txt"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_EQ(device_.ReadFile(u"\\Temp\\b.txt"), "B");
  EXPECT_EQ(device_.ReadFile(u"\\Other\\b.txt"), "existing");
  device_.MakeFolder(u"\\Temp\\folder");
  EXPECT_FALSE(MoveFile(u"\\Temp\\folder", u"\\Other\\folder"));
  EXPECT_EQ(GetLastError(), kErrorNotSameDevice);

  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(other)) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.txt", "b.txt"}));  // no temporary copy left
  fs::permissions(other + "/a.txt", fs::perms::owner_all);
  fs::remove_all(other);
}

TEST_F(FileTest, CopyKeepsReadOnlyAndNeverShowsAHalfWrittenTarget) {
  const std::string data(300000, 'k');
  device_.WriteFile(u"\\Temp\\a.bin", data);
  ASSERT_TRUE(SetFileAttributes(u"\\Temp\\a.bin", kAttributeReadOnly | kAttributeSystem));
  ASSERT_TRUE(CopyFile(u"\\Temp\\a.bin", u"\\Windows\\b.bin", true));
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\b.bin"), data);
  uint32_t attributes = 0;
  ASSERT_TRUE(GetFileAttributes(u"\\Windows\\b.bin", &attributes));
  EXPECT_EQ(attributes, kAttributeReadOnly | kAttributeSystem);

  SetLastError(0);
  EXPECT_FALSE(CopyFile(u"\\Temp\\a.bin", u"\\Windows\\b.bin", true));
  EXPECT_EQ(GetLastError(), kErrorFileExists);
  EXPECT_FALSE(CopyFile(u"\\Temp\\a.bin", u"\\Windows\\b.bin", false));  // read-only target
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);

  device_.WriteFile(u"\\Windows\\c.bin", "old");
  ASSERT_TRUE(CopyFile(u"\\Temp\\a.bin", u"\\Windows\\c.bin", false));
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\c.bin"), data);

  EXPECT_FALSE(CopyFile(u"\\Temp\\none", u"\\Windows\\d.bin", false));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(CopyFile(u"\\Temp\\a.bin", u"\\None\\d.bin", false));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  ASSERT_EQ(mkfifo(Host(u"\\Temp\\fifo").c_str(), 0600), 0);
  EXPECT_FALSE(CopyFile(u"\\Temp\\fifo", u"\\Windows\\d.bin", false));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);

  EXPECT_EQ(HostNames(u"\\Windows"),
            (std::vector<std::string>{"StartUp", "b.bin", "c.bin"}));  // no temporary copies
}

TEST_F(FileTest, DeleteRefusesReadOnlyFilesAndFolders) {
  device_.WriteFile(u"\\Temp\\ro.txt", "x");
  ASSERT_TRUE(SetFileAttributes(u"\\Temp\\ro.txt", kAttributeReadOnly));
  const struct {
    const char* name;
    std::u16string path;
    uint32_t error;
  } failures[] = {
      {"read-only file", u"\\Temp\\ro.txt", kErrorAccessDenied},
      {"folder", u"\\Temp", kErrorAccessDenied},
      {"missing file", u"\\Temp\\none", kErrorFileNotFound},
      {"missing folder", u"\\None\\x", kErrorPathNotFound},
  };
  for (const auto& c : failures) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_FALSE(DeleteFile(c.path));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_TRUE(device_.Exists(u"\\Temp\\ro.txt"));
  ASSERT_TRUE(SetFileAttributes(u"\\Temp\\ro.txt", kAttributeNormal));
  EXPECT_TRUE(DeleteFile(u"\\Temp\\ro.txt"));
  EXPECT_FALSE(device_.Exists(u"\\Temp\\ro.txt"));

  // A link goes itself; its target stays.
  device_.WriteFile(u"\\Temp\\target", "t");
  fs::create_symlink("target", Host(u"\\Temp\\link"));
  EXPECT_TRUE(DeleteFile(u"\\Temp\\link"));
  EXPECT_TRUE(device_.Exists(u"\\Temp\\target"));
}

TEST_F(FileTest, FoldersAreCreatedPrivateAndRemovedOnlyWhenEmpty) {
  ASSERT_TRUE(CreateDirectory(u"\\Temp\\new"));
  EXPECT_EQ(Mode(u"\\Temp\\new") & 0777, 0700u);
  EXPECT_TRUE(DirectoryExists(u"\\Temp\\new"));
  EXPECT_FALSE(FileExists(u"\\Temp\\new"));
  device_.WriteFile(u"\\Temp\\new\\f", "x");
  EXPECT_TRUE(FileExists(u"\\Temp\\new\\f"));
  EXPECT_FALSE(DirectoryExists(u"\\Temp\\new\\f"));

  const struct {
    const char* name;
    bool (*call)(std::u16string_view);
    std::u16string path;
    uint32_t error;
  } failures[] = {
      {"create existing", CreateDirectory, u"\\Temp\\new", kErrorAlreadyExists},
      {"create without parent", CreateDirectory, u"\\None\\x", kErrorPathNotFound},
      {"remove not empty", RemoveDirectory, u"\\Temp\\new", kErrorDirNotEmpty},
      {"remove a file", RemoveDirectory, u"\\Temp\\new\\f", kErrorDirectory},
      {"remove missing", RemoveDirectory, u"\\Temp\\none", kErrorFileNotFound},
  };
  for (const auto& c : failures) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_FALSE(c.call(c.path));
    EXPECT_EQ(GetLastError(), c.error);
  }
  ASSERT_TRUE(DeleteFile(u"\\Temp\\new\\f"));
  ASSERT_TRUE(SetFileAttributes(u"\\Temp\\new", kAttributeReadOnly));
  EXPECT_FALSE(RemoveDirectory(u"\\Temp\\new"));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  ASSERT_TRUE(SetFileAttributes(u"\\Temp\\new", 0));
  EXPECT_TRUE(RemoveDirectory(u"\\Temp\\new"));
  EXPECT_FALSE(DirectoryExists(u"\\Temp\\new"));
}

TEST_F(FileTest, ReplaceFileSwapsInTheNewContentAtomically) {
  device_.WriteFile(u"\\Windows\\cfg.dat", "old");
  device_.WriteFile(u"\\Windows\\cfg.dat.new", "new");
  ASSERT_TRUE(ReplaceFile(u"\\Windows\\cfg.dat.new", u"\\Windows\\cfg.dat"));
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\cfg.dat"), "new");
  EXPECT_FALSE(device_.Exists(u"\\Windows\\cfg.dat.new"));
  SetLastError(0);
  EXPECT_FALSE(ReplaceFile(u"\\Windows\\none", u"\\Windows\\cfg.dat"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST_F(FileTest, NotesAndHostStateStayWithTheFileOutsideItsBytes) {
  const std::u16string path = u"\\Windows\\noted.dat";
  device_.WriteFile(path, "bytes");
  std::string note;
  EXPECT_FALSE(ReadFileNote(path, "test", &note));
  EXPECT_EQ(GetLastError(), kErrorNotFound);
  ASSERT_TRUE(WriteFileNote(path, "test", std::string("a\0b", 3)));
  ASSERT_TRUE(SetFileAttributes(path, kAttributeReadOnly));
  ASSERT_TRUE(WriteFileNote(path, "other", "x"));  // a read-only file takes notes too
  ASSERT_TRUE(ReadFileNote(path, "test", &note));
  EXPECT_EQ(note, std::string("a\0b", 3));
  EXPECT_EQ(device_.ReadFile(path), "bytes");
  EXPECT_EQ(Mode(path) & 0222, 0u);  // and stays read-only
  EXPECT_FALSE(WriteFileNote(path, "big", std::string(5000, 'n')));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);

  HostFileState state;
  state.mode = 0751;
  state.last_write = FileTimeFromUnix(1173052800, 987654300);
  ASSERT_TRUE(SetHostFileState(path, state));
  HostFileState read;
  ASSERT_TRUE(GetHostFileState(path, &read));
  EXPECT_EQ(read.mode, 0751u);
  EXPECT_EQ(read.last_write.value, state.last_write.value);
  EXPECT_FALSE(GetHostFileState(u"\\Windows\\absent", &read));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(GetHostFileState(u"\\Windows", &read));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
}

TEST_F(FileTest, PseudoFileSystemsAreRecognisedButTmpfsIsNot) {
  unsetenv("KOLVAR_DEVICE_ROOT");  // the host's own folders
  EXPECT_TRUE(IsPseudoFileSystem(u"\\proc"));
  EXPECT_TRUE(IsPseudoFileSystem(u"\\proc\\self"));
  EXPECT_TRUE(IsPseudoFileSystem(u"\\sys"));
  EXPECT_FALSE(IsPseudoFileSystem(u"\\dev\\shm"));  // tmpfs holds ordinary files
  EXPECT_FALSE(IsPseudoFileSystem(u"\\tmp"));
  std::ifstream mounts("/proc/self/mountinfo");
  bool dev_is_devtmpfs = false;
  for (std::string line; std::getline(mounts, line);) {
    if (line.find(" /dev ") != std::string::npos &&
        line.find(" - devtmpfs ") != std::string::npos) {
      dev_is_devtmpfs = true;
    }
  }
  EXPECT_EQ(IsPseudoFileSystem(u"\\dev"), dev_is_devtmpfs);
  setenv("KOLVAR_DEVICE_ROOT", device_.root().c_str(), 1);
  EXPECT_FALSE(IsPseudoFileSystem(u"\\Temp"));
}

TEST(FileTimeTest, UnixTimesConvertToDeviceTicks) {
  EXPECT_EQ(FileTimeFromUnix(0, 0).value, 116444736000000000ULL);
  EXPECT_EQ(FileTimeFromUnix(1, 999999999).value, 116444736000000000ULL + 19999999);
  EXPECT_EQ(FileTimeFromUnix(-11644473600LL, 0).value, 0u);
  EXPECT_EQ(FileTimeFromUnix(-11644473601LL, 0).value, 0u);
  EXPECT_EQ(FileTimeFromUnix(0, -100).value, 116444736000000000ULL - 1);

  setenv("TZ", "UTC", 1);
  tzset();
  SystemTime local{};
  ASSERT_TRUE(FileTimeToLocal(FileTimeFromUnix(951782400 + 3723, 456000000), &local));
  // 2000-02-29 01:02:03.456, a Tuesday
  EXPECT_EQ(local.year, 2000);
  EXPECT_EQ(local.month, 2);
  EXPECT_EQ(local.day, 29);
  EXPECT_EQ(local.day_of_week, 2);
  EXPECT_EQ(local.hour, 1);
  EXPECT_EQ(local.minute, 2);
  EXPECT_EQ(local.second, 3);
  EXPECT_EQ(local.milliseconds, 456);

  // Five hours east of UTC, local hours run five ahead.
  setenv("TZ", "<+05>-5", 1);
  tzset();
  for (int attempt = 0; attempt < 3; ++attempt) {
    const SystemTime before = CurrentUtcTime();
    const SystemTime local_now = CurrentLocalTime();
    const SystemTime after = CurrentUtcTime();
    if (before.hour != after.hour) continue;  // an hour turned meanwhile
    EXPECT_GE(before.year, 2024);
    EXPECT_EQ(local_now.hour, (before.hour + 5) % 24);
    EXPECT_EQ(local_now.minute, before.minute == after.minute ? before.minute : local_now.minute);
    break;
  }
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace kolvar::platform
