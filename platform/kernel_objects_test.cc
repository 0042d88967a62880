// Named and unnamed kernel objects within one process: the namespace folder and its safety checks,
// the mapping of names to files, the life of an object's files, mutex ownership and recursion,
// event reset semantics, shared memory contents, and many threads creating and closing the same
// names. Behaviour across processes is tested in tests/platform.
#include "platform/kernel_objects.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "platform/error.h"
#include "platform/kernel_objects_internal.h"
#include "platform/process.h"
#include "platform/test_child.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Files of the namespace folder other than its lock: what objects leave behind.
std::set<std::string> ObjectFiles(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != ".lock") names.insert(name);
  }
  return names;
}

std::string FileOf(const testing::TestDevice& device, std::u16string_view name) {
  std::string file_name;
  EXPECT_TRUE(kobj::ObjectFileName(name, &file_name));
  return device.runtime_dir() + "/" + file_name;
}

// Waits (up to seconds) until the thread sleeps in futex, i.e. inside an event or mutex wait, or
// in futex_waitv (an event watch).
bool BlockedInFutex(pid_t tid) {
  const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
  const auto deadline = steady_clock::now() + std::chrono::seconds(10);
  while (steady_clock::now() < deadline) {
    std::ifstream in(path);
    long number = -1;
    if (in >> number) {
      if (number == SYS_futex) return true;
#ifdef SYS_futex_waitv
      if (number == SYS_futex_waitv) return true;
#endif
    }
    std::this_thread::sleep_for(milliseconds(1));
  }
  return false;
}

class KernelObjectsTest : public ::testing::Test {
 protected:
  testing::TestDevice device_;
};

TEST(ObjectFileNameTest, MapsNamesInjectivelyToSafeFileNames) {
  struct Case {
    std::u16string name;
    std::string file;
  };
  const Case cases[] = {
      {u"KVCIPCSHMEM", "KVCIPCSHMEM"},
      {u"_@KVMAVGEN_MAIN@_", "_@KVMAVGEN_MAIN@_"},
      {u"KVCMSICSY07", "KVCMSICSY07"},
      {u"a.b-c", "a.b-c"},
      {u".lock", "%002Elock"},
      {u"..", "%002E."},
      {u"a/b", "a%002Fb"},
      {u"%002F", "%0025002F"},
      {u"a b", "a%0020b"},
      {u"\u00E9", "%00E9"},
      {u"\U0001D11E", "%D834%DD1E"},
      {std::u16string(1, u'\0'), "%0000"},
  };
  std::set<std::string> seen;
  for (const Case& c : cases) {
    std::string file;
    ASSERT_TRUE(kobj::ObjectFileName(c.name, &file));
    EXPECT_EQ(file, c.file);
    EXPECT_EQ(file.find('/'), std::string::npos);
    EXPECT_NE(file[0], '.');
    seen.insert(file);
  }
  EXPECT_EQ(seen.size(), std::size(cases));
}

TEST(ObjectFileNameTest, RefusesEmptyAndOverlongNames) {
  std::string file;
  EXPECT_FALSE(kobj::ObjectFileName(u"", &file));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_TRUE(kobj::ObjectFileName(std::u16string(kobj::kMaxObjectFileName, u'a'), &file));
  EXPECT_FALSE(kobj::ObjectFileName(std::u16string(kobj::kMaxObjectFileName + 1, u'a'), &file));
  EXPECT_EQ(GetLastError(), kErrorFilenameExcedRange);
  EXPECT_FALSE(kobj::ObjectFileName(std::u16string(kobj::kMaxObjectFileName / 5 + 1, u' '), &file));
}

TEST_F(KernelObjectsTest, NamespaceFolderIsCreatedPrivateWhenMissing) {
  const std::string folder = device_.root() + "/ns";
  setenv("KOLVAR_RUNTIME_DIR", folder.c_str(), 1);
  EXPECT_EQ(NamespaceFolder(), folder);
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  Event event;
  EXPECT_TRUE(event.Create(u"E", true, false));
  ASSERT_EQ(stat((folder + "/E").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  event.Close();
  setenv("KOLVAR_RUNTIME_DIR", device_.runtime_dir().c_str(), 1);
}

// Sets environment variables for one test and puts the old values back at its end.
class EnvironmentGuard {
 public:
  ~EnvironmentGuard() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }
  void Set(const char* name, const std::string& value) {
    Save(name);
    setenv(name, value.c_str(), 1);
  }
  void Unset(const char* name) {
    Save(name);
    unsetenv(name);
  }

 private:
  void Save(const char* name) {
    const char* value = getenv(name);
    saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(KernelObjectsTest, NamespaceFolderFallsBackToRuntimeDirThenShm) {
  EnvironmentGuard environment;
  environment.Unset("KOLVAR_RUNTIME_DIR");
  environment.Unset("KOLVAR_DEVICE_ROOT");  // the host profile keeps the default folder itself
  environment.Set("XDG_RUNTIME_DIR", device_.root());
  EXPECT_EQ(NamespaceFolder(), device_.root() + "/kolvar");
  EXPECT_TRUE(fs::is_directory(device_.root() + "/kolvar"));
  environment.Set("XDG_RUNTIME_DIR", "relative/dir");
  EXPECT_EQ(kobj::NamespaceFolderPath(), "/dev/shm/kolvar-" + std::to_string(geteuid()));
  environment.Unset("XDG_RUNTIME_DIR");
  EXPECT_EQ(kobj::NamespaceFolderPath(), "/dev/shm/kolvar-" + std::to_string(geteuid()));
}

// Two device images that met in one namespace would take each other's programs for their own, so
// each gets a folder of its own below the default one, the same for every spelling of its root.
TEST_F(KernelObjectsTest, EachDeviceImageHasANamespaceOfItsOwn) {
  const std::string xdg = device_.root() + "/xdg";
  const std::string base = xdg + "/kolvar";
  const std::string root_a = device_.root() + "/device a";
  const std::string root_b = device_.root() + "/device-b";
  ASSERT_TRUE(fs::create_directory(xdg));
  ASSERT_TRUE(fs::create_directory(root_a));
  ASSERT_TRUE(fs::create_directory(root_b));
  fs::create_directory_symlink(root_a, device_.root() + "/link");
  EnvironmentGuard environment;
  environment.Unset("KOLVAR_RUNTIME_DIR");
  environment.Set("XDG_RUNTIME_DIR", xdg);

  environment.Set("KOLVAR_DEVICE_ROOT", root_a);
  const std::string folder_a = NamespaceFolder();
  EXPECT_EQ(fs::path(folder_a).parent_path(), fs::path(base));
  for (const std::string& mode_of : {base, folder_a}) {
    struct stat st;
    ASSERT_EQ(stat(mode_of.c_str(), &st), 0) << mode_of;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << mode_of;
  }
  for (const std::string& spelling :
       {root_a + "/", device_.root() + "/link", root_a + "/../device a"}) {
    environment.Set("KOLVAR_DEVICE_ROOT", spelling);
    EXPECT_EQ(NamespaceFolder(), folder_a) << spelling;
  }
  environment.Set("KOLVAR_DEVICE_ROOT", root_a);
  Event event_a;
  ASSERT_TRUE(event_a.Create(u"E", true, false));
  EXPECT_TRUE(fs::exists(folder_a + "/E"));

  environment.Set("KOLVAR_DEVICE_ROOT", root_b);
  const std::string folder_b = NamespaceFolder();
  EXPECT_NE(folder_b, folder_a);
  EXPECT_EQ(fs::path(folder_b).parent_path(), fs::path(base));
  EXPECT_FALSE(ObjectExists(u"E"));
  Event event_b;
  bool existed = true;
  ASSERT_TRUE(event_b.Create(u"E", true, false, &existed));
  EXPECT_FALSE(existed);

  // A default folder that others may enter could let them swap a device's folder away.
  ASSERT_EQ(chmod(base.c_str(), 0755), 0);
  Mutex mutex;
  EXPECT_FALSE(mutex.Create(u"M"));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(ObjectExists(u"E"));
  EXPECT_EQ(NamespaceFolderProblem(),
            "the folder '" + base +
                "', which holds the named objects of each device, may be entered by group or "
                "others (mode 0755; it must be 0700); remove it, or name a folder of your own in "
                "KOLVAR_RUNTIME_DIR");
  ASSERT_EQ(chmod(base.c_str(), 0700), 0);
  EXPECT_EQ(NamespaceFolderProblem(), "");

  environment.Set("KOLVAR_DEVICE_ROOT", "/");
  EXPECT_EQ(kobj::NamespaceFolderPath(), base);
  environment.Set("KOLVAR_DEVICE_ROOT", root_a);
  environment.Set("KOLVAR_RUNTIME_DIR", device_.runtime_dir());
  EXPECT_EQ(kobj::NamespaceFolderPath(), device_.runtime_dir());
}

TEST(DeviceNamespaceNameTest, KeepsALabelAndTellsRootsApart) {
  const std::string name = kobj::DeviceNamespaceName("/tmp/My Device.img");
  EXPECT_EQ(name.substr(0, name.size() - 16), "My_Device.img-");
  EXPECT_EQ(name.find_first_not_of("0123456789abcdef", name.size() - 16), std::string::npos);
  EXPECT_NE(kobj::DeviceNamespaceName("/tmp/a/dev"), kobj::DeviceNamespaceName("/tmp/b/dev"));
  EXPECT_EQ(kobj::DeviceNamespaceName("/tmp/.hidden").substr(0, 8), "_hidden-");
  const std::string long_name = kobj::DeviceNamespaceName("/" + std::string(300, 'x'));
  EXPECT_EQ(long_name.size(), kobj::kDeviceNamespaceLabelChars + 17);
}

TEST_F(KernelObjectsTest, FolderOthersCanEnterIsRefused) {
  for (mode_t mode : {0750, 0705, 0777}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(chmod(device_.runtime_dir().c_str(), mode), 0);
    Mutex mutex;
    EXPECT_FALSE(mutex.Create(u"M"));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_FALSE(ObjectExists(u"M"));
  }
  ASSERT_EQ(chmod(device_.runtime_dir().c_str(), 0700), 0);
  Mutex mutex;
  EXPECT_TRUE(mutex.Create(u"M"));
}

// A namespace folder that others could reach, or that holds files others made or may use, is
// refused, and the reason is told in words with the folder's path. Cases marked `foreign` give a
// file to another user, which needs the right to change owners.
TEST_F(KernelObjectsTest, ForeignOrOpenNamespaceIsRefusedWithItsReason) {
  const struct {
    const char* name;
    bool foreign;
    std::function<void(const std::string& folder)> spoil;
    const char* reason;
  } cases[] = {
      {"folder of another user", true,
       [](const std::string& folder) { ASSERT_EQ(chown(folder.c_str(), 65534, -1), 0); },
       "belongs to another user (uid 65534)"},
      {"folder open to others", false,
       [](const std::string& folder) { ASSERT_EQ(chmod(folder.c_str(), 0777), 0); },
       "may be entered by group or others (mode 0777; it must be 0700)"},
      {"object file of another user", true,
       [](const std::string& folder) {
         const std::string file = folder + "/M";
         ASSERT_EQ(close(open(file.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
         ASSERT_EQ(chown(file.c_str(), 65534, -1), 0);
       },
       "holds 'M', which belongs to another user (uid 65534)"},
      {"lock file of another user", true,
       [](const std::string& folder) {
         const std::string file = folder + "/.lock";
         ASSERT_EQ(close(open(file.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
         ASSERT_EQ(chown(file.c_str(), 65534, -1), 0);
       },
       "holds '.lock', which belongs to another user (uid 65534)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.foreign && geteuid() != 0) continue;  // giving a file away needs the right to
    const std::string folder = device_.root() + "/ns-" + std::to_string(&c - cases);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    setenv("KOLVAR_RUNTIME_DIR", folder.c_str(), 1);
    EXPECT_EQ(NamespaceFolderProblem(), "");
    c.spoil(folder);
    Mutex mutex;
    EXPECT_FALSE(mutex.Create(u"M"));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_EQ(NamespaceFolderProblem(), "the folder of named objects '" + folder + "' " +
                                            c.reason +
                                            "; remove it, or name a folder of your own in "
                                            "KOLVAR_RUNTIME_DIR");
  }
  setenv("KOLVAR_RUNTIME_DIR", device_.runtime_dir().c_str(), 1);
}

TEST_F(KernelObjectsTest, ObjectExistsExactlyWhileAHandleIsOpen) {
  EXPECT_FALSE(ObjectExists(u"@_KVMIPCSRV_@"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  {
    Event presence;
    bool existed = true;
    ASSERT_TRUE(presence.Create(u"@_KVMIPCSRV_@", false, false, &existed));
    EXPECT_FALSE(existed);
    EXPECT_EQ(GetLastError(), kErrorSuccess);
    EXPECT_TRUE(ObjectExists(u"@_KVMIPCSRV_@"));
    EXPECT_TRUE(fs::exists(FileOf(device_, u"@_KVMIPCSRV_@")));
  }
  EXPECT_FALSE(ObjectExists(u"@_KVMIPCSRV_@"));
  EXPECT_TRUE(ObjectFiles(device_.runtime_dir()).empty());
}

TEST_F(KernelObjectsTest, SecondCreateReportsAlreadyExistedUntilAllHandlesClose) {
  Mutex first;
  Mutex second;
  bool existed = false;
  ASSERT_TRUE(first.Create(u"_@KVMAVGEN_MAIN@_", false, &existed));
  EXPECT_FALSE(existed);
  ASSERT_TRUE(second.Create(u"_@KVMAVGEN_MAIN@_", false, &existed));
  EXPECT_TRUE(existed);
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_NE(first.Id(), second.Id());
  first.Close();
  EXPECT_TRUE(ObjectExists(u"_@KVMAVGEN_MAIN@_"));
  second.Close();
  ASSERT_TRUE(first.Create(u"_@KVMAVGEN_MAIN@_", false, &existed));
  EXPECT_FALSE(existed);
}

TEST_F(KernelObjectsTest, OpenFindsOnlyExistingObjects) {
  Mutex mutex;
  Event event;
  SharedMemory memory;
  EXPECT_FALSE(mutex.Open(u"missing"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(event.Open(u"missing"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(memory.Open(u"missing", 8));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(mutex.IsValid());
  EXPECT_TRUE(ObjectFiles(device_.runtime_dir()).empty());
  EXPECT_FALSE(mutex.Open(u""));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);

  Event creator;
  ASSERT_TRUE(creator.Create(u"E", true, true));
  ASSERT_TRUE(event.Open(u"E"));
  EXPECT_EQ(event.Wait(0), WaitResult::kSignaled);
}

TEST_F(KernelObjectsTest, OneNamespaceForEveryKind) {
  Mutex mutex;
  ASSERT_TRUE(mutex.Create(u"shared name"));
  Event event;
  EXPECT_FALSE(event.Create(u"shared name", true, false));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_FALSE(event.Open(u"shared name"));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  SharedMemory memory;
  EXPECT_FALSE(memory.Create(u"shared name", 16));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_TRUE(ObjectExists(u"shared name"));
  mutex.Close();
  EXPECT_TRUE(event.Create(u"shared name", true, false));
}

TEST_F(KernelObjectsTest, OddNamesAreDistinctObjects) {
  const std::u16string names[] = {u"a/b",        u"a%002Fb",    u".lock", u"..", u"\u00E9\u20AC",
                                  u"\U0001D11E", u"with space", u"A",     u"a"};
  std::vector<std::unique_ptr<Event>> events;
  for (const auto& name : names) {
    events.push_back(std::make_unique<Event>());
    bool existed = true;
    ASSERT_TRUE(events.back()->Create(name, true, false, &existed));
    EXPECT_FALSE(existed);
    EXPECT_TRUE(ObjectExists(name));
  }
  ASSERT_TRUE(events[0]->Set());
  Event other;
  ASSERT_TRUE(other.Open(u"a%002Fb"));
  EXPECT_EQ(other.Wait(0), WaitResult::kTimeout);
  ASSERT_TRUE(other.Open(u"a/b"));
  EXPECT_EQ(other.Wait(0), WaitResult::kSignaled);
  other.Close();
  events.clear();
  EXPECT_TRUE(ObjectFiles(device_.runtime_dir()).empty());
}

TEST_F(KernelObjectsTest, LeftoverWithoutHolderCountsAsAbsentAndIsReset) {
  // What a process killed while holding the block leaves: the file and its record, no holder.
  {
    SharedMemory memory;
    ASSERT_TRUE(memory.Create(u"SHD_store", 8));
  }
  const std::string file = FileOf(device_, u"SHD_store");
  std::ofstream(file, std::ios::binary) << "garbage!";
  std::ofstream(device_.runtime_dir() + "/.SHD_store.kind") << "junk";
  EXPECT_TRUE(fs::exists(file));
  EXPECT_FALSE(ObjectExists(u"SHD_store"));
  EXPECT_FALSE(fs::exists(file));

  std::ofstream(file, std::ios::binary) << "garbage!";
  SharedMemory memory;
  bool existed = true;
  ASSERT_TRUE(memory.Create(u"SHD_store", 8, &existed));
  EXPECT_FALSE(existed);
  EXPECT_EQ(std::string(static_cast<char*>(memory.data()), 8), std::string(8, '\0'));

  std::ofstream(FileOf(device_, u"M"), std::ios::binary) << "no record";
  Mutex mutex;
  EXPECT_FALSE(mutex.Open(u"M"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(fs::exists(FileOf(device_, u"M")));
}

TEST_F(KernelObjectsTest, SharedMemoryFileHoldsExactlyItsBytes) {
  SharedMemory writer;
  bool existed = true;
  ASSERT_TRUE(writer.Create(u"KVCIPCSHMEM", 101472, &existed));
  EXPECT_FALSE(existed);
  ASSERT_NE(writer.data(), nullptr);
  EXPECT_EQ(writer.size(), 101472u);
  auto* bytes = static_cast<unsigned char*>(writer.data());
  for (size_t i = 0; i < writer.size(); ++i) ASSERT_EQ(bytes[i], 0) << i;
  std::memcpy(bytes + 101472 - 5, "tail", 5);
  std::memcpy(bytes, "head", 4);

  const std::string file = FileOf(device_, u"KVCIPCSHMEM");
  EXPECT_EQ(fs::file_size(file), 101472u);
  std::ifstream in(file, std::ios::binary);
  std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(contents.substr(0, 4), "head");
  EXPECT_EQ(contents.substr(101472 - 5), std::string("tail", 5));

  SharedMemory reader;
  ASSERT_TRUE(reader.Create(u"KVCIPCSHMEM", 101472, &existed));
  EXPECT_TRUE(existed);
  EXPECT_EQ(std::memcmp(reader.data(), "head", 4), 0);
  SharedMemory whole;
  ASSERT_TRUE(whole.Open(u"KVCIPCSHMEM", 0));
  EXPECT_EQ(whole.size(), 101472u);
  SharedMemory part;
  ASSERT_TRUE(part.Open(u"KVCIPCSHMEM", 96));
  EXPECT_EQ(part.size(), 96u);
}

TEST_F(KernelObjectsTest, SharedMemoryIsZeroAgainAfterEveryHolderClosed) {
  SharedMemory first;
  ASSERT_TRUE(first.Create(u"SHD_cfg", 8));
  std::memcpy(first.data(), "\x01\x02\x03\x04\x05\x06\x07\x08", 8);
  SharedMemory second;
  ASSERT_TRUE(second.Open(u"SHD_cfg", 8));
  first.Close();
  EXPECT_EQ(std::memcmp(second.data(), "\x01\x02\x03\x04\x05\x06\x07\x08", 8), 0);
  second.Close();
  bool existed = true;
  ASSERT_TRUE(first.Create(u"SHD_cfg", 8, &existed));
  EXPECT_FALSE(existed);
  EXPECT_EQ(std::memcmp(first.data(), std::string(8, '\0').data(), 8), 0);
}

TEST_F(KernelObjectsTest, SharedMemorySmallerThanAskedIsRefused) {
  SharedMemory small;
  ASSERT_TRUE(small.Create(u"block", 8));
  SharedMemory larger;
  EXPECT_FALSE(larger.Create(u"block", 9));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(larger.Open(u"block", 4096));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(larger.IsValid());
  EXPECT_FALSE(larger.Create(u"other", 0));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

TEST_F(KernelObjectsTest, SharedMemoryThatCannotBeBackedFailsAtCreate) {
  // A file size limit stands in for a full tmpfs: the pages are reserved at create, so the
  // failure shows there rather than as SIGBUS on a later store.
  struct sigaction ignore {
  }, saved{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &saved);
  rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit limit = old_limit;
  limit.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  SharedMemory memory;
  const bool created = memory.Create(u"huge", 1 << 20);
  const uint32_t error = GetLastError();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  sigaction(SIGXFSZ, &saved, nullptr);
  EXPECT_FALSE(created);
  EXPECT_EQ(error, kErrorDiskFull);
  EXPECT_FALSE(ObjectExists(u"huge"));
  EXPECT_TRUE(ObjectFiles(device_.runtime_dir()).empty());
}

TEST_F(KernelObjectsTest, MutexIsRecursiveForItsOwningThread) {
  for (const std::u16string name : {u"_@KVMAVGENCFG@_", u""}) {
    SCOPED_TRACE(name.empty() ? "unnamed" : "named");
    Mutex mutex;
    ASSERT_TRUE(mutex.Create(name, /*initially_owned=*/true));
    EXPECT_EQ(mutex.Wait(), WaitResult::kSignaled);
    EXPECT_EQ(mutex.Wait(0), WaitResult::kSignaled);
    std::thread([&] { EXPECT_EQ(mutex.Wait(0), WaitResult::kTimeout); }).join();
    EXPECT_TRUE(mutex.Release());
    EXPECT_TRUE(mutex.Release());
    std::thread([&] { EXPECT_EQ(mutex.Wait(0), WaitResult::kTimeout); }).join();
    EXPECT_TRUE(mutex.Release());
    EXPECT_FALSE(mutex.Release());
    EXPECT_EQ(GetLastError(), kErrorNotOwner);
    std::thread([&] {
      EXPECT_EQ(mutex.Wait(0), WaitResult::kSignaled);
      EXPECT_TRUE(mutex.Release());
    }).join();
  }
}

TEST_F(KernelObjectsTest, MutexReleaseByAnotherThreadFails) {
  Mutex mutex;
  ASSERT_TRUE(mutex.Create(u"M"));
  ASSERT_EQ(mutex.Wait(), WaitResult::kSignaled);
  std::thread([&] {
    EXPECT_FALSE(mutex.Release());
    EXPECT_EQ(GetLastError(), kErrorNotOwner);
  }).join();
  EXPECT_TRUE(mutex.Release());
}

TEST_F(KernelObjectsTest, HandlesOfOneNameShareOwnership) {
  Mutex first;
  Mutex second;
  ASSERT_TRUE(first.Create(u"M", true));
  ASSERT_TRUE(second.Open(u"M"));
  EXPECT_EQ(second.Wait(0), WaitResult::kSignaled);  // the same thread already owns it
  EXPECT_TRUE(first.Release());
  std::thread([&] { EXPECT_EQ(second.Wait(0), WaitResult::kTimeout); }).join();
  EXPECT_TRUE(second.Release());
  std::thread([&] {
    EXPECT_EQ(second.Wait(0), WaitResult::kSignaled);
    EXPECT_TRUE(second.Release());
  }).join();
}

TEST_F(KernelObjectsTest, InitialOwnershipOnlyWhenCreated) {
  Mutex creator;
  ASSERT_TRUE(creator.Create(u"M"));
  std::thread([&] {
    Mutex late;
    bool existed = false;
    ASSERT_TRUE(late.Create(u"M", /*initially_owned=*/true, &existed));
    EXPECT_TRUE(existed);
    EXPECT_FALSE(late.Release());
  }).join();
  EXPECT_EQ(creator.Wait(0), WaitResult::kSignaled);
  EXPECT_TRUE(creator.Release());
}

TEST_F(KernelObjectsTest, ThreadEndingWhileOwningLeavesMutexAbandoned) {
  for (const std::u16string name : {u"M", u""}) {
    SCOPED_TRACE(name.empty() ? "unnamed" : "named");
    Mutex mutex;
    ASSERT_TRUE(mutex.Create(name));
    std::thread([&] { ASSERT_EQ(mutex.Wait(), WaitResult::kSignaled); }).join();
    EXPECT_EQ(mutex.Wait(5000), WaitResult::kAbandoned);
    EXPECT_TRUE(mutex.Release());
    EXPECT_EQ(mutex.Wait(0), WaitResult::kSignaled);
    EXPECT_TRUE(mutex.Release());
  }
}

TEST_F(KernelObjectsTest, ClosingOneOfSeveralHandlesKeepsOwnership) {
  Mutex mutex;
  ASSERT_TRUE(mutex.Create(u"M", true));
  Mutex other;
  std::thread opener([&] { ASSERT_TRUE(other.Open(u"M")); });
  opener.join();
  mutex.Close();  // `other` still holds the object, so ownership stays with this thread
  std::thread([&] { EXPECT_EQ(other.Wait(0), WaitResult::kTimeout); }).join();
  EXPECT_EQ(other.Wait(0), WaitResult::kSignaled);
  EXPECT_TRUE(other.Release());
  EXPECT_TRUE(other.Release());
  std::thread([&] {
    EXPECT_EQ(other.Wait(0), WaitResult::kSignaled);
    EXPECT_TRUE(other.Release());
  }).join();
}

TEST_F(KernelObjectsTest, MutexOwnedByAnotherThreadOutlivesItsLastHandle) {
  for (const std::u16string name : {u"M", u""}) {
    SCOPED_TRACE(name.empty() ? "unnamed" : "named");
    auto mutex = std::make_unique<Mutex>();
    ASSERT_TRUE(mutex->Create(name));
    std::atomic<bool> owned{false};
    std::atomic<bool> closed{false};
    std::thread owner([&] {
      ASSERT_EQ(mutex->Wait(), WaitResult::kSignaled);
      owned = true;
      while (!closed.load()) std::this_thread::yield();
      // Locking another robust mutex walks this thread's robust list, which links through the
      // first mutex: its mapping must still be there.
      Mutex other;
      ASSERT_TRUE(other.Create(u"", true));
      EXPECT_TRUE(other.Release());
      // Ends while owning: the kernel marks the mutex abandoned through the same list.
    });
    while (!owned.load()) std::this_thread::yield();
    mutex.reset();
    closed = true;
    owner.join();
    if (name.empty()) continue;
    EXPECT_TRUE(ObjectExists(name));
    Mutex again;
    bool existed = false;
    ASSERT_TRUE(again.Create(name, false, &existed));
    EXPECT_TRUE(existed);
    EXPECT_EQ(again.Wait(5000), WaitResult::kAbandoned);
    EXPECT_TRUE(again.Release());
    again.Close();
    EXPECT_FALSE(ObjectExists(name));
  }
}

TEST_F(KernelObjectsTest, WaitsTimeOutAfterTheirTime) {
  Mutex mutex;
  ASSERT_TRUE(mutex.Create(u"M", true));
  Event event;
  ASSERT_TRUE(event.Create(u"E", false, false));
  std::thread([&] {
    for (uint32_t timeout : {0u, 15u, 100u}) {
      auto start = steady_clock::now();
      EXPECT_EQ(mutex.Wait(timeout), WaitResult::kTimeout);
      EXPECT_EQ(event.Wait(timeout), WaitResult::kTimeout);
      EXPECT_GE(steady_clock::now() - start, milliseconds(2 * timeout));
    }
  }).join();
}

// Each step: 'S' set, 'R' reset, '+' a wait that must succeed at once, '-' one that must time out.
struct ResetCase {
  const char* label;
  bool manual;
  bool initial;
  const char* steps;
};
void PrintTo(const ResetCase& param, std::ostream* out) { *out << param.label; }

class EventResetTest : public KernelObjectsTest, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(EventResetTest, FollowsResetKind) {
  const ResetCase& c = GetParam();
  for (const std::u16string name : {u"E", u""}) {
    SCOPED_TRACE(name.empty() ? "unnamed" : "named");
    Event event;
    ASSERT_TRUE(event.Create(name, c.manual, c.initial));
    Event opened;
    if (!name.empty()) {
      ASSERT_TRUE(opened.Create(name, !c.manual, !c.initial));
    }
    Event& other = name.empty() ? event : opened;  // a second handle keeps the creator's kind
    int i = 0;
    for (const char* step = c.steps; *step; ++step, ++i) {
      SCOPED_TRACE(i);
      Event& handle = (i % 2 == 0) ? event : other;
      switch (*step) {
        case 'S':
          ASSERT_TRUE(handle.Set());
          break;
        case 'R':
          ASSERT_TRUE(handle.Reset());
          break;
        case '+':
          EXPECT_EQ(handle.Wait(0), WaitResult::kSignaled);
          break;
        case '-':
          EXPECT_EQ(handle.Wait(0), WaitResult::kTimeout);
          break;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EventResetTest,
    ::testing::Values(ResetCase{"AutoInitiallySetServesOneWait", false, true, "+-"},
                      ResetCase{"AutoStartsClear", false, false, "-"},
                      ResetCase{"AutoSetServesOneWait", false, false, "S+-"},
                      ResetCase{"AutoSetTwiceStillOneWait", false, false, "SS+-"},
                      ResetCase{"AutoResetClears", false, false, "SR-"},
                      ResetCase{"AutoSetAfterConsumeServesAgain", false, false, "S+-S+-"},
                      ResetCase{"ManualInitiallySetStaysSet", true, true, "+++"},
                      ResetCase{"ManualStartsClear", true, false, "--"},
                      ResetCase{"ManualStaysSetUntilReset", true, false, "S+++R--"},
                      ResetCase{"ManualResetTwiceIsHarmless", true, true, "RR-S+"}),
    [](const ::testing::TestParamInfo<ResetCase>& info) { return info.param.label; });

TEST_F(KernelObjectsTest, ManualSetReleasesEveryWaiter) {
  Event event;
  ASSERT_TRUE(event.Create(u"KVCIPCSYNC", true, false));
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  std::vector<pid_t> tids(4);
  std::atomic<int> started{0};
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&, i] {
      Event mine;
      ASSERT_TRUE(mine.Open(u"KVCIPCSYNC"));
      tids[i] = static_cast<pid_t>(syscall(SYS_gettid));
      started.fetch_add(1);
      if (mine.Wait(30000) == WaitResult::kSignaled) released.fetch_add(1);
    });
  }
  while (started.load() < 4) std::this_thread::yield();
  for (pid_t tid : tids) ASSERT_TRUE(BlockedInFutex(tid));
  ASSERT_TRUE(event.Set());
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 4);
  EXPECT_EQ(event.Wait(0), WaitResult::kSignaled);
}

TEST_F(KernelObjectsTest, ManualSetThenResetStillReleasesThoseWaiting) {
  Event event;
  ASSERT_TRUE(event.Create(u"E", true, false));
  std::atomic<pid_t> tid{0};
  WaitResult result = WaitResult::kFailed;
  std::thread waiter([&] {
    tid = static_cast<pid_t>(syscall(SYS_gettid));
    result = event.Wait(30000);
  });
  while (tid.load() == 0) std::this_thread::yield();
  ASSERT_TRUE(BlockedInFutex(tid.load()));
  ASSERT_TRUE(event.Set());
  ASSERT_TRUE(event.Reset());
  waiter.join();
  EXPECT_EQ(result, WaitResult::kSignaled);
  EXPECT_EQ(event.Wait(0), WaitResult::kTimeout);
}

TEST_F(KernelObjectsTest, AutoSetReleasesExactlyOneWaiterPerSet) {
  Event event;
  ASSERT_TRUE(event.Create(u"@_KVMIPCSRV_@", false, false));
  constexpr int kWaiters = 4;
  std::atomic<int> released{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> waiters;
  std::vector<std::atomic<pid_t>> tids(kWaiters);
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&, i] {
      tids[i] = static_cast<pid_t>(syscall(SYS_gettid));
      while (!stop.load()) {
        if (event.Wait(30000) == WaitResult::kSignaled && !stop.load()) {
          released.fetch_add(1);
          return;
        }
      }
    });
  }
  for (auto& tid : tids) {
    while (tid.load() == 0) std::this_thread::yield();
    ASSERT_TRUE(BlockedInFutex(tid.load()));
  }
  for (int set = 1; set <= kWaiters; ++set) {
    ASSERT_TRUE(event.Set());
    auto deadline = steady_clock::now() + std::chrono::seconds(30);
    while (released.load() < set && steady_clock::now() < deadline)
      std::this_thread::sleep_for(milliseconds(1));
    // Nobody else may be released by the same Set; give extra wake-ups time to go wrong.
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(released.load(), set);
    EXPECT_EQ(event.Wait(0), WaitResult::kTimeout);
  }
  stop = true;
  for (auto& t : waiters) t.join();
}

// A watcher of three events (a named manual-reset one that is set, a named auto-reset one that is
// clear, an unnamed one) and who changes one of them while it sleeps.
struct WatchCase {
  const char* label;
  int event;           // 0, 1 or 2 as above
  const char* change;  // "set" or "reset"
  bool other_program;  // else another thread of this one
};
void PrintTo(const WatchCase& param, std::ostream* out) { *out << param.label; }

class EventWatchTest : public KernelObjectsTest, public ::testing::WithParamInterface<WatchCase> {};

TEST_P(EventWatchTest, AChangeOfAnyWatchedEventEndsTheSleep) {
  const WatchCase& param = GetParam();
  const char16_t* names[] = {u"KVCMSICEV00", u"KVCMSOGEV00", u""};
  Event events[3];
  ASSERT_TRUE(events[0].Create(names[0], /*manual_reset=*/true, /*initial_state=*/true));
  ASSERT_TRUE(events[1].Create(names[1], /*manual_reset=*/false, /*initial_state=*/false));
  ASSERT_TRUE(events[2].Create(names[2], /*manual_reset=*/false, /*initial_state=*/false));
  const std::u16string child_program =
      param.other_program ? test_child::Install(device_) : std::u16string();

  EventWatch watch;
  EXPECT_TRUE(watch.Add(events[0]));
  EXPECT_FALSE(watch.Add(events[1]));
  EXPECT_FALSE(watch.Add(events[2]));
  std::atomic<pid_t> tid{0};
  std::atomic<bool> woke{false};
  std::thread watcher([&] {
    tid = static_cast<pid_t>(syscall(SYS_gettid));
    // Far longer than the test may take: only the change can end the sleep in time.
    watch.Wait(120000);
    woke = true;
  });
  while (tid.load() == 0) std::this_thread::yield();
  ASSERT_TRUE(BlockedInFutex(tid.load()));
  const auto since = steady_clock::now();
  const bool set = std::string(param.change) == "set";
  if (param.other_program) {
    Process child;
    ASSERT_TRUE(test_child::Start(child_program,
                                  std::string("event ") + param.change + " " +
                                      (param.event == 0 ? "KVCMSICEV00" : "KVCMSOGEV00"),
                                  &child));
    ASSERT_EQ(child.Wait(60000), WaitResult::kSignaled);
    uint32_t code = 1;
    ASSERT_TRUE(child.GetExitCode(&code));
    ASSERT_EQ(code, 0u);
  } else {
    ASSERT_TRUE(set ? events[param.event].Set() : events[param.event].Reset());
  }
  watcher.join();
  EXPECT_TRUE(woke.load());
  EXPECT_LT(steady_clock::now() - since, std::chrono::seconds(60));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, EventWatchTest,
    ::testing::Values(WatchCase{"NamedSetByAnotherProgram", 1, "set", true},
                      WatchCase{"NamedResetByAnotherProgram", 0, "reset", true},
                      WatchCase{"NamedResetByAnotherThread", 0, "reset", false},
                      WatchCase{"UnnamedSetByAnotherThread", 2, "set", false}),
    [](const ::testing::TestParamInfo<WatchCase>& info) { return info.param.label; });

TEST_F(KernelObjectsTest, EventWatchSeesChangesMadeBeforeItsSleepAndOnlyThose) {
  Event manual;
  Event automatic;
  ASSERT_TRUE(manual.Create(u"M", /*manual_reset=*/true, /*initial_state=*/false));
  ASSERT_TRUE(automatic.Create(u"A", /*manual_reset=*/false, /*initial_state=*/false));
  EventWatch watch;
  watch.Add(manual);
  watch.Add(automatic);
  // A reset of a clear event changes nothing: the watch sleeps out its time.
  ASSERT_TRUE(manual.Reset());
  auto since = steady_clock::now();
  watch.Wait(200);
  EXPECT_GE(steady_clock::now() - since, milliseconds(190));
  // A set, and a set consumed by a waiter, between the look and the sleep end it at once.
  ASSERT_TRUE(automatic.Set());
  ASSERT_EQ(automatic.Wait(0), WaitResult::kSignaled);
  since = steady_clock::now();
  watch.Wait(120000);
  EXPECT_LT(steady_clock::now() - since, std::chrono::seconds(60));
  // Watching consumes nothing.
  ASSERT_TRUE(automatic.Set());
  watch.Clear();
  EXPECT_TRUE(watch.Add(automatic));
  watch.Wait(0);
  EXPECT_EQ(automatic.Wait(0), WaitResult::kSignaled);
}

TEST_F(KernelObjectsTest, UnnamedObjectsAreIndependent) {
  Mutex a;
  Mutex b;
  ASSERT_TRUE(a.Create(u"", true));
  ASSERT_TRUE(b.Create(u""));
  std::thread([&] {
    EXPECT_EQ(a.Wait(0), WaitResult::kTimeout);
    EXPECT_EQ(b.Wait(0), WaitResult::kSignaled);
    EXPECT_TRUE(b.Release());
  }).join();
  Event e1;
  Event e2;
  ASSERT_TRUE(e1.Create(u"", true, false));
  ASSERT_TRUE(e2.Create(u"", true, false));
  ASSERT_TRUE(e1.Set());
  EXPECT_EQ(e2.Wait(0), WaitResult::kTimeout);
  SharedMemory m1;
  SharedMemory m2;
  ASSERT_TRUE(m1.Create(u"", 64));
  ASSERT_TRUE(m2.Create(u"", 64));
  EXPECT_NE(m1.data(), m2.data());
  EXPECT_TRUE(ObjectFiles(device_.runtime_dir()).empty());
  EXPECT_TRUE(a.Release());
}

TEST_F(KernelObjectsTest, InvalidHandlesFailCleanly) {
  Mutex mutex;
  Event event;
  SharedMemory memory;
  EXPECT_EQ(mutex.Wait(0), WaitResult::kFailed);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_FALSE(mutex.Release());
  EXPECT_FALSE(event.Set());
  EXPECT_FALSE(event.Reset());
  EXPECT_EQ(event.Wait(0), WaitResult::kFailed);
  EXPECT_EQ(memory.data(), nullptr);
  EXPECT_EQ(memory.size(), 0u);
  EXPECT_EQ(mutex.Id(), 0u);
  mutex.Close();
  event.Close();
  memory.Close();
}

TEST_F(KernelObjectsTest, ManyThreadsCreatingAndClosingTheSameNamesLeaveNothing) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::atomic<int> failures{0};
  std::atomic<long> counted{0};
  long* counter = nullptr;
  SharedMemory keeper;  // keeps the counter alive across rounds
  ASSERT_TRUE(keeper.Create(u"counter", sizeof(long)));
  counter = static_cast<long*>(keeper.data());
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const std::u16string suffix = std::u16string(1, static_cast<char16_t>(u'0' + round % 3));
        Mutex mutex;
        Event event;
        SharedMemory memory;
        if (!mutex.Create(u"M" + suffix) || !event.Create(u"E" + suffix, (t & 1) != 0, false) ||
            !memory.Create(u"S" + suffix, 4096)) {
          failures.fetch_add(1);
          continue;
        }
        Mutex guard;
        if (!guard.Open(u"M" + suffix) || guard.Wait() == WaitResult::kFailed) {
          failures.fetch_add(1);
          continue;
        }
        SharedMemory count;
        if (!count.Open(u"counter", sizeof(long))) failures.fetch_add(1);
        Mutex global;
        if (global.Create(u"global") && global.Wait() == WaitResult::kSignaled) {
          long* value = static_cast<long*>(count.data());
          long seen = *value;
          std::this_thread::yield();
          *value = seen + 1;
          counted.fetch_add(1);
          global.Release();
        }
        event.Set();
        ObjectExists(u"E" + suffix);
        guard.Release();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(*counter, counted.load());
  EXPECT_EQ(counted.load(), kThreads * kRounds);
  keeper.Close();
  EXPECT_TRUE(ObjectFiles(device_.runtime_dir()).empty());
}

}  // namespace
}  // namespace kolvar::platform
