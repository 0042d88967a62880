// Two device images on one machine: a scanner serves only the device whose root it was started
// for. Sharing a namespace folder, the second device's kolvar meets the first device's scanner and
// must refuse it rather than have the other tree scanned; with the default namespace folders each
// device gets its own programs and both find their infected file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/config_keys.h"
#include "tests/antivirus/front_end_test_support.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

bool RunsScanner(const testing::TestDevice& device) {
  for (const pid_t pid : device.ProcessesOfDevice()) {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    if (!ec && exe.filename() == "KVBkgScan") return true;
  }
  return false;
}

class KolvarDeviceTest : public FrontEndTest {
 protected:
  KolvarDeviceTest() {
    // The second device: installed and configured as the fixture's, through its own environment,
    // after which this process is in the fixture's device again.
    const std::u16string folder = other_.InstallPrograms(
        {"kolvar", "KVBkgScan", "kvipcsrv", "KVVirusDB.dat", "KVVirusDBDet.dat"});
    SetConfig(config_keys::kEnableBckScan, 0);
    SetConfig("ScanPacing", 0);
    other_.WriteFile(u"\\My Documents\\second\\eicar.com", SignatureBytes(kEicarId));
    other_programs_ = other_.Host(folder);
    setenv("KOLVAR_DEVICE_ROOT", device_.root().c_str(), 1);
    setenv("KOLVAR_RUNTIME_DIR", device_.runtime_dir().c_str(), 1);
    device_.WriteFile(u"\\My Documents\\first\\eicar.com", SignatureBytes(kEicarId));
    runtime_base_ = (fs::temp_directory_path() / "kolvar-xdg-XXXXXX").string();
    EXPECT_NE(mkdtemp(runtime_base_.data()), nullptr);
  }

  ~KolvarDeviceTest() override {
    // The programs first, then the folders they kept their objects in.
    other_.KillDeviceProcesses();
    device_.KillDeviceProcesses();
    std::error_code ignored;
    fs::remove_all(runtime_base_, ignored);
  }

  RunResult ScanFirst() {
    program_folder_.clear();
    environment_changes_.erase("KOLVAR_DEVICE_ROOT");
    return Kolvar({"scan", "\\My Documents"});
  }
  RunResult ScanSecond() {
    program_folder_ = other_programs_;
    environment_changes_["KOLVAR_DEVICE_ROOT"] = other_.root();
    return Kolvar({"scan", "\\My Documents\\second"});
  }

  testing::TestDevice other_;
  std::string other_programs_;
  std::string runtime_base_;  // private stand-in for $XDG_RUNTIME_DIR
};

TEST_F(KolvarDeviceTest, ScannerOfAnotherDeviceInTheSameNamespaceIsRefused) {
  const RunResult first = ScanFirst();
  ASSERT_EQ(first.exit_status, 1) << first.err;
  EXPECT_NE(first.out.find("\\My Documents\\first\\eicar.com"), std::string::npos) << first.out;

  // The first device's scanner still runs in the namespace that both devices name.
  ASSERT_TRUE(RunsScanner(device_));
  const RunResult second = ScanSecond();
  EXPECT_EQ(second.exit_status, 2) << second.out << second.err;
  EXPECT_NE(
      second.err.find("serves another device (" + fs::canonical(device_.root()).string() + ")"),
      std::string::npos)
      << second.err;
  EXPECT_NE(second.err.find(fs::canonical(other_.root()).string()), std::string::npos)
      << second.err;
  EXPECT_EQ(second.out.find("0 infected"), std::string::npos) << second.out;
  EXPECT_TRUE(fs::exists(other_.root() + "/My Documents/second/eicar.com"));
  EXPECT_FALSE(RunsScanner(other_)) << "the second device started no programs of its own";
}

TEST_F(KolvarDeviceTest, DefaultNamespacesKeepDevicesApart) {
  environment_changes_ = {{"KOLVAR_RUNTIME_DIR", ""}, {"XDG_RUNTIME_DIR", runtime_base_}};
  // In turn and again, while the other device's programs go on running.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    const RunResult first = ScanFirst();
    EXPECT_EQ(first.exit_status, 1) << first.out << first.err;
    EXPECT_NE(first.out.find("\\My Documents\\first\\eicar.com"), std::string::npos) << first.out;
    const RunResult second = ScanSecond();
    EXPECT_EQ(second.exit_status, 1) << second.out << second.err;
    EXPECT_NE(second.out.find("\\My Documents\\second\\eicar.com"), std::string::npos)
        << second.out;
  }
  // One private folder per device below the default one, and nothing in the default one itself.
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(runtime_base_ + "/kolvar")) {
    if (entry.path().filename() == ".lock") continue;
    EXPECT_TRUE(entry.is_directory()) << entry.path();
    EXPECT_EQ(entry.status().permissions() & fs::perms::all, fs::perms::owner_all);
    folders.push_back(entry.path());
  }
  EXPECT_EQ(folders.size(), 2u);
}

}  // namespace
}  // namespace kolvar
