// Device paths and host paths in both profiles: the mapping below the root, the limits of a
// device path, the way back from host paths, and the special folders of a device image and of
// the host's XDG folders.
#include "platform/path.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;

bool IsFolder(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class PathTest : public ::testing::Test {
 protected:
  testing::TestDevice device_;
};

TEST_F(PathTest, DevicePathsMapBelowTheRootAndNeverLeaveIt) {
  const std::string root = device_.root();
  const struct {
    std::u16string device;
    std::string host;
  } cases[] = {
      {u"\\", root},
      {u"\\Windows", root + "/Windows"},
      {u"\\My Documents\\a.txt", root + "/My Documents/a.txt"},
      {u"Windows\\StartUp", root + "/Windows/StartUp"},
      {u"\\Temp\\", root + "/Temp"},
      {u"\\a\\\\b", root + "/a/b"},
      {u"\\a/b", root + "/a/b"},
      {u"\\a\\.\\b", root + "/a/b"},
      {u"\\a\\..\\b", root + "/b"},
      {u"\\..\\..\\etc\\passwd", root + "/etc/passwd"},
      {u"\\caf\u00E9\\\u65E5\u672C", root + "/caf\xC3\xA9/\xE6\x97\xA5\xE6\x9C\xAC"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HostPath(c.device), c.host);
  }
}

TEST_F(PathTest, RootFromEnvironmentLosesTrailingSlashesAndDefaultsToSlash) {
  const std::string root = device_.root();
  setenv("KOLVAR_DEVICE_ROOT", (root + "//").c_str(), 1);
  EXPECT_EQ(DeviceRoot(), root);
  EXPECT_TRUE(IsDeviceImage());
  unsetenv("KOLVAR_DEVICE_ROOT");
  EXPECT_EQ(DeviceRoot(), "/");
  EXPECT_FALSE(IsDeviceImage());
  EXPECT_EQ(HostPath(u"\\etc\\hosts"), "/etc/hosts");
  EXPECT_EQ(HostPath(u"\\"), "/");
  setenv("KOLVAR_DEVICE_ROOT", "", 1);
  EXPECT_EQ(DeviceRoot(), "/");
  setenv("KOLVAR_DEVICE_ROOT", root.c_str(), 1);
}

// Programs compare canonical roots to tell whether they serve one device: every spelling of one
// folder gives one text, and another folder another.
TEST_F(PathTest, CanonicalRootIsOneSpellingPerFolder) {
  const std::string root = device_.root();
  const std::string real = fs::canonical(root).string();
  const std::string link = root + "/Temp/root-link";
  fs::create_directory_symlink(root, link);
  const std::string saved = fs::current_path();
  ASSERT_EQ(chdir((root + "/Windows").c_str()), 0);
  for (const std::string& spelling :
       {root, root + "//", link, root + "/Temp/../", std::string("..")}) {
    setenv("KOLVAR_DEVICE_ROOT", spelling.c_str(), 1);
    EXPECT_EQ(CanonicalDeviceRoot(), real) << spelling;
  }
  ASSERT_EQ(chdir(saved.c_str()), 0);
  setenv("KOLVAR_DEVICE_ROOT", (link + "/missing").c_str(), 1);
  EXPECT_EQ(CanonicalDeviceRoot(), real + "/missing");
  setenv("KOLVAR_DEVICE_ROOT", (root + "/Windows").c_str(), 1);
  EXPECT_EQ(CanonicalDeviceRoot(), real + "/Windows");
  unsetenv("KOLVAR_DEVICE_ROOT");
  EXPECT_EQ(CanonicalDeviceRoot(), "/");
  setenv("KOLVAR_DEVICE_ROOT", root.c_str(), 1);
}

TEST_F(PathTest, CheckedHostPathRefusesWhatNoDeviceBufferHolds) {
  const std::u16string longest = u"\\" + std::u16string(kMaxPath - 2, u'x');  // 259 characters
  const struct {
    const char* name;
    std::u16string path;
    uint32_t error;  // 0: accepted
  } cases[] = {
      {"259 characters", longest, 0},
      {"260 characters", longest + u"y", kErrorFilenameExcedRange},
      {"empty", u"", kErrorPathNotFound},
      {"embedded NUL", std::u16string(u"\\a\0b", 4), kErrorInvalidName},
      {"unpaired surrogate", u"\\a\xD800", kErrorInvalidName},
      {"surrogate pair", u"\\\xD83D\xDE00", 0},
      {"escaped bytes", u"\\bad\xDCFF\\back\xF05Cslash", 0},
      {"escapes that spell UTF-8", u"\\caf\xDCC3\xDCA9", kErrorInvalidName},
      {"escaped byte below 0x80", u"\\a\xDC41", kErrorInvalidName},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string host;
    SetLastError(0);
    EXPECT_EQ(CheckedHostPath(c.path, &host), c.error == 0);
    if (c.error != 0) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
}

TEST_F(PathTest, JoinPathAddsOneSeparator) {
  EXPECT_EQ(JoinPath(u"\\Windows", u"a.dat"), u"\\Windows\\a.dat");
  EXPECT_EQ(JoinPath(u"\\Windows\\", u"a.dat"), u"\\Windows\\a.dat");
  EXPECT_EQ(JoinPath(u"\\", u"a.dat"), u"\\a.dat");
  EXPECT_EQ(JoinPath(u"", u"a.dat"), u"\\a.dat");
}

TEST_F(PathTest, HostPathsBelowTheRootComeBackAsDevicePaths) {
  const std::string root = device_.root();
  std::u16string device;
  ASSERT_TRUE(DevicePathFromHost(root + "/Windows/a.dat", &device));
  EXPECT_EQ(device, u"\\Windows\\a.dat");
  ASSERT_TRUE(DevicePathFromHost(root, &device));
  EXPECT_EQ(device, u"\\");
  ASSERT_TRUE(DevicePathFromHost(root + "/Temp/../Windows/./x", &device));
  EXPECT_EQ(device, u"\\Windows\\x");

  SetLastError(0);
  EXPECT_FALSE(DevicePathFromHost("/usr/bin/true", &device));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(DevicePathFromHost(root + "-other/x", &device));  // a prefix, not a folder
  EXPECT_FALSE(DevicePathFromHost(root + "/" + std::string(300, 'x'), &device));
  EXPECT_EQ(GetLastError(), kErrorFilenameExcedRange);
}

// Every host name has a device path, whatever its bytes, and the device path leads back to the
// same host path; people see the bytes that are no text as "\xFF" in either profile.
TEST_F(PathTest, HostNamesOfAnyBytesHaveDevicePathsThatLeadBack) {
  const std::string root = device_.root();
  const struct {
    std::string host;  // below the root
    std::u16string device;
    std::string shown;  // in the device image
  } cases[] = {
      {"/bad\xFF\xFEname.com", u"\\bad\xDCFF\xDCFEname.com", "\\bad\\xFF\\xFEname.com"},
      {"/back\\slash.com", u"\\back\xF05Cslash.com", "\\back\\x5Cslash.com"},
      {"/dir\xFF/priv\xEF\x81\x9C", u"\\dir\xDCFF\\priv\xDCEF\xDC81\xDC9C",
       "\\dir\\xFF\\priv\\xEF\\x81\\x9C"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    std::u16string device;
    ASSERT_TRUE(DevicePathFromHost(root + c.host, &device));
    EXPECT_EQ(device, c.device);
    EXPECT_TRUE(IsValidDevicePath(device));
    std::string host;
    ASSERT_TRUE(CheckedHostPath(device, &host));
    EXPECT_EQ(host, root + c.host);
    EXPECT_EQ(ShownPath(device), c.shown);
    EXPECT_EQ(ShownHostPath(device), ShownHostText(root) + ShownHostText(c.host));
  }
}

TEST_F(PathTest, RelativeHostPathsAndLinkedRootsAreResolved) {
  const std::string root = device_.root();
  const std::string saved = fs::current_path();
  ASSERT_EQ(chdir((root + "/Windows").c_str()), 0);
  std::u16string device;
  EXPECT_TRUE(DevicePathFromHost("StartUp/x.lnk", &device));
  EXPECT_EQ(device, u"\\Windows\\StartUp\\x.lnk");
  ASSERT_EQ(chdir(saved.c_str()), 0);

  // The root named through a link still owns the real paths below it.
  const std::string link = root + "/Temp/root-link";
  fs::create_directory_symlink(root, link);
  setenv("KOLVAR_DEVICE_ROOT", link.c_str(), 1);
  EXPECT_TRUE(DevicePathFromHost(root + "/Windows/a.dat", &device));
  EXPECT_EQ(device, u"\\Windows\\a.dat");
  setenv("KOLVAR_DEVICE_ROOT", root.c_str(), 1);
}

TEST_F(PathTest, DeviceImageHasTheDevicesOwnFoldersAndCreatesMissingOnes) {
  fs::remove_all(device_.root() + "/Windows");
  fs::remove_all(device_.root() + "/Temp");
  const struct {
    SpecialFolder folder;
    std::u16string path;
  } cases[] = {
      {SpecialFolder::kWindows, u"\\Windows"},
      {SpecialFolder::kDocuments, u"\\My Documents"},
      {SpecialFolder::kStartup, u"\\Windows\\StartUp"},
      {SpecialFolder::kProgramFiles, u"\\Program Files"},
      {SpecialFolder::kTemp, u"\\Temp"},
  };
  for (const auto& c : cases) {
    std::u16string path;
    ASSERT_TRUE(GetSpecialFolder(c.folder, &path));
    EXPECT_EQ(path, c.path);
    EXPECT_TRUE(IsFolder(HostPath(path)));
  }
}

// The host profile, with HOME and the XDG variables pointing into the test's own folder.
class HostProfileTest : public PathTest {
 protected:
  static constexpr const char* kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR",
                                               "TMPDIR"};

  void SetUp() override {
    for (const char* name : kVariables) {
      const char* value = getenv(name);
      saved_.emplace_back(value != nullptr, value != nullptr ? value : "");
      unsetenv(name);
    }
    home_ = device_.root() + "/home/user";
    fs::create_directories(home_);
    unsetenv("KOLVAR_DEVICE_ROOT");
    setenv("HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i].first) {
        setenv(kVariables[i], saved_[i].second.c_str(), 1);
      } else {
        unsetenv(kVariables[i]);
      }
    }
    setenv("KOLVAR_DEVICE_ROOT", device_.root().c_str(), 1);
  }

  // The device path of a host folder in the host profile: "/" turned into "\".
  static std::u16string Device(const std::string& host) {
    std::u16string out;
    for (char c : host) out.push_back(c == '/' ? u'\\' : static_cast<char16_t>(c));
    return out;
  }

  std::u16string Folder(SpecialFolder folder) {
    std::u16string path;
    EXPECT_TRUE(GetSpecialFolder(folder, &path));
    EXPECT_TRUE(IsFolder(HostPath(path)));
    return path;
  }

  std::string home_;
  std::vector<std::pair<bool, std::string>> saved_;
};

TEST_F(HostProfileTest, FoldersFollowXdgDefaults) {
  ASSERT_EQ(home_.find_first_of("\\ "), std::string::npos);
  const struct {
    SpecialFolder folder;
    std::string host;
  } cases[] = {
      {SpecialFolder::kWindows, home_ + "/.config/kolvar"},
      {SpecialFolder::kDocuments, home_},
      {SpecialFolder::kStartup, home_ + "/.config/autostart"},
      {SpecialFolder::kProgramFiles, home_ + "/.local/lib"},
      {SpecialFolder::kTemp, "/tmp"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Folder(c.folder), Device(c.host));
  }
  struct stat st;
  ASSERT_EQ(stat((home_ + "/.config/kolvar").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(HostProfileTest, FoldersFollowXdgVariables) {
  const std::string config = home_ + "/cfg";
  const std::string temp = home_ + "/tmp";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  setenv("TMPDIR", temp.c_str(), 1);
  setenv("XDG_DOCUMENTS_DIR", (home_ + "/Papers").c_str(), 1);
  EXPECT_EQ(Folder(SpecialFolder::kWindows), Device(config + "/kolvar"));
  EXPECT_EQ(Folder(SpecialFolder::kStartup), Device(config + "/autostart"));
  EXPECT_EQ(Folder(SpecialFolder::kTemp), Device(temp));
  EXPECT_EQ(Folder(SpecialFolder::kDocuments), Device(home_ + "/Papers"));

  // user-dirs.dirs names the documents folder when the variable does not.
  unsetenv("XDG_DOCUMENTS_DIR");
  std::ofstream(config + "/user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                            << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                            << "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
  EXPECT_EQ(Folder(SpecialFolder::kDocuments), Device(home_ + "/Dokumente"));

  // Relative values are ignored, as XDG asks.
  setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
  setenv("TMPDIR", "relative/tmp", 1);
  EXPECT_EQ(Folder(SpecialFolder::kWindows), Device(home_ + "/.config/kolvar"));
  EXPECT_EQ(Folder(SpecialFolder::kTemp), u"\\tmp");
}

TEST_F(HostProfileTest, RunningProgramPathIsTheExecutableWithBackslashes) {
  std::u16string path;
  ASSERT_TRUE(RunningProgramPath(&path));
  EXPECT_EQ(path, Device(CurrentExecutableHostPath()));
}

TEST_F(PathTest, RunningProgramOutsideTheImageHasNoDevicePath) {
  std::u16string path;
  SetLastError(0);
  EXPECT_FALSE(RunningProgramPath(&path));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
}

}  // namespace
}  // namespace kolvar::platform
