// kvcfg as people and scripts run it: dumping a file that a program wrote (a second process
// reading the encrypted format), setting and deleting values, and its failures, a full disk among
// them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "common/config_store.h"
#include "common/configuration.h"
#include "tests/testing/full_file_system.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

struct Result {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class KvcfgTest : public ::testing::Test {
 protected:
  Result Kvcfg(const std::string& arguments) {
    const std::string err_file = device_.Host(u"\\Temp\\kvcfg.err");
    const std::string command =
        Quote(testing::BinDir() + "/kvcfg") + " " + arguments + " 2>" + Quote(err_file);
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = device_.ReadFile(u"\\Temp\\kvcfg.err");
    return result;
  }

  std::string File(std::u16string_view device_path) { return Quote(device_.Host(device_path)); }

  testing::TestDevice device_;
};

TEST_F(KvcfgTest, DumpsAnEncryptedFileThatAProgramSaved) {
  ConfigurationFile file(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  ConfigStore& store = file.store();
  const uint32_t one = 1;
  const std::u16string folder = u"\\Program Files\\Kolvar\\";
  ASSERT_TRUE(store.AddSection("UPDATES"));
  ASSERT_TRUE(store.AddValue("UpdateUrlFile", 1, 24, u"kvmupdi.dat"));
  ASSERT_TRUE(store.AddValue("UpdateUrl", 1, 0, nullptr));
  ASSERT_TRUE(store.AddSection("BASIC"));
  ASSERT_TRUE(store.AddValue("InstallDir", 1, folder.size() * 2, folder.data()));
  ASSERT_TRUE(store.AddValue("Platform", 2, 4, &one));
  ASSERT_TRUE(store.AddValue("Blob", 3, 3, "\x01\xab\xff"));
  ASSERT_TRUE(store.AddSection("EMPTY"));
  ASSERT_TRUE(store.Save(u"\\Windows\\kvmavcfg.dat"));

  const Result result = Kvcfg("dump " + File(u"\\Windows\\kvmavcfg.dat"));
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out,
            "BASIC\tBlob\t3\t3\t01abff\n"
            "BASIC\tInstallDir\t1\t44\t\\Program Files\\Kolvar\\\n"
            "BASIC\tPlatform\t2\t4\t1\n"
            "UPDATES\tUpdateUrl\t1\t0\t\n"
            "UPDATES\tUpdateUrlFile\t1\t24\tkvmupdi.dat\n");
}

TEST_F(KvcfgTest, SetCreatesChangesAndSavesPlainOnRequest) {
  const std::u16string path = u"\\Windows\\kvmavcfg.dat";
  Result result = Kvcfg("set " + File(path) + " CONFIG EnableBckScan 2 1");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(device_.ReadFile(path).substr(8, 4), std::string("\x01\0\0\0", 4));

  result = Kvcfg("set --plain " + File(path) + " CONFIG EnableBckScan 2 0");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  result = Kvcfg("set --plain " + File(path) + " BASIC Version 1 " + Quote("3.0"));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::string image = device_.ReadFile(path);
  EXPECT_EQ(image.substr(8, 8), std::string("\0\0\0\0\x02\0\0\0", 8)) << "plain, two sections";

  // Read back in this process, as a program would.
  ConfigurationFile file(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  ASSERT_TRUE(file.store().Load(path, false));
  uint32_t value = 7, size = 4;
  ASSERT_TRUE(file.store().GetValue("EnableBckScan", &size, &value, "CONFIG"));
  EXPECT_EQ(value, 0u);
  char16_t version[8] = {};
  size = sizeof version;
  ASSERT_TRUE(file.store().GetValue("Version", &size, version, "BASIC"));
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(std::u16string(version, 4), std::u16string(u"3.0\0", 4));

  result = Kvcfg("del " + File(path) + " CONFIG EnableBckScan");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  result = Kvcfg("dump " + File(path));
  EXPECT_EQ(result.out, "BASIC\tVersion\t1\t8\t3.0\n");
}

TEST_F(KvcfgTest, UpdateInformationKeyFollowsTheFileName) {
  const std::u16string path = u"\\Temp\\kvmupdi.dat";
  ASSERT_EQ(Kvcfg("set " + File(path) + " UPDATE_INFORMATION UpdateID 1 KVUPD-V30-0042").exit_code,
            0);
  EXPECT_EQ(Kvcfg("dump " + File(path)).out,
            "UPDATE_INFORMATION\tUpdateID\t1\t30\tKVUPD-V30-0042\n");
  std::unique_ptr<ConfigurationFile> information;
  ASSERT_TRUE(OpenUpdateInformation(path, &information));

  // The other key fails on the padding, or (when the garbage happens to end like padding) on the
  // body that it cannot hold together.
  const Result wrong = Kvcfg("--key config dump " + File(path));
  EXPECT_EQ(wrong.exit_code, 1);
  EXPECT_TRUE(wrong.err.find("status 91: decryption failed") != std::string::npos ||
              wrong.err.find("status 88: ") != std::string::npos)
      << wrong.err;
  EXPECT_EQ(wrong.out, "");
}

TEST_F(KvcfgTest, FailuresExitWithOneAndTheStatusMeaning) {
  const std::u16string path = u"\\Windows\\kvmavcfg.dat";
  struct Case {
    const char* what;
    std::string arguments;
    std::string message;
  };
  device_.WriteFile(u"\\Windows\\bad.dat", std::string(20, 'x'));
  ASSERT_EQ(Kvcfg("set " + File(path) + " CONFIG SplashScreen 2 1").exit_code, 0);
  const Case cases[] = {
      {"missing file", "dump " + File(u"\\Windows\\none.dat"),
       "status 53: the file cannot be opened"},
      {"damaged file", "dump " + File(u"\\Windows\\bad.dat"), "status 89: wrong magic numbers"},
      {"missing key", "del " + File(path) + " CONFIG Nothing", "status 16: key not found"},
      {"missing section", "del " + File(path) + " NOPE SplashScreen",
       "status 82: section not found"},
      {"long name", "set " + File(path) + " CONFIG " + std::string(32, 'k') + " 2 1",
       "status 1: bad argument"},
      {"bad number", "set " + File(path) + " CONFIG SplashScreen 2 many", "a number from"},
      {"bad hex", "set " + File(path) + " CONFIG Blob 3 abc", "even number of hex digits"},
      {"no command", "", "usage: kvcfg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result result = Kvcfg(c.arguments);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  // The damaged file is left as it was; a set on it refuses to write over it.
  EXPECT_EQ(Kvcfg("set " + File(u"\\Windows\\bad.dat") + " A B 2 1").exit_code, 1);
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\bad.dat"), std::string(20, 'x'));
}

TEST_F(KvcfgTest, SaveOnAFullDiskSaysSoAndKeepsTheFileAsItWas) {
  testing::FullFileSystem disk(device_.Host(u"\\Windows"), 1 << 20);
  if (!disk.usable()) GTEST_SKIP() << "mounting a small file system needs the right to mount";
  const std::u16string path = u"\\Windows\\kvmavcfg.dat";
  ASSERT_EQ(Kvcfg("set " + File(path) + " CONFIG SplashScreen 2 1").exit_code, 0);
  const std::string before = device_.ReadFile(path);
  disk.Fill(0);
  const Result result = Kvcfg("set " + File(path) + " CONFIG SplashScreen 2 0");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("system error 112"), std::string::npos) << result.err;
  EXPECT_TRUE(device_.ReadFile(path) == before);
  EXPECT_FALSE(device_.Exists(path + u".new"));
}

}  // namespace
}  // namespace kolvar
