// kvsetup and the setup library's hooks over real processes, each case in a device image of its
// own: installing while nothing or the suite runs, a program that ignores its stop event, the
// programs of another folder, removal after a whole session, removal without a configuration, a
// configuration that names a folder of the device, a cancelled removal and the installer's usage.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "common/configuration.h"
#include "platform/kernel_objects.h"
#include "platform/notification.h"
#include "platform/process.h"
#include "tests/setup/setup_test_support.h"

namespace kolvar::testing {
namespace {

namespace fs = std::filesystem;
using platform::RegistryRoot;

constexpr char16_t kScannerEvent[] = u"@_KVMIPCSCAN_@";
constexpr char16_t kServiceEvent[] = u"@_KVMIPCSRV_@";
// The test file of the EICAR anti-malware standard, which the sample signatures know.
constexpr char kEicar[] = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

bool Contains(const std::vector<pid_t>& pids, pid_t pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

class SetupProcessTest : public SetupDeviceTest {
 protected:
  // Starts an installed program of the suite as a daemon, as the front ends do.
  void StartSuiteProgram(std::u16string_view name, std::u16string_view command_line = u"") {
    platform::Process process;
    platform::StartOptions options;
    options.detached = true;
    ASSERT_TRUE(
        platform::Process::Start(std::u16string(kSuiteFolder) + u"\\" + std::u16string(name),
                                 command_line, options, &process));
  }

  void WaitForService() {
    ASSERT_TRUE(WaitFor([&] { return platform::ObjectExists(kServiceEvent); }));
  }

  ToolRun Kolvar(const std::vector<std::string>& arguments) {
    return Run(Installed("kolvar"), arguments);
  }

  // The configuration the front ends write at their first start.
  void MakeConfiguration() {
    const ToolRun run = Kolvar({"quarantine", "list"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_TRUE(device_.Exists(u"\\Windows\\kvmavcfg.dat"));
  }

  bool SuiteFilesRemain() const {
    for (const char* name : {"kvipcsrv", "KVBkgScan", "kvmsetup.so", "kvsetup", "kolvar",
                             "KVVirusDB.dat", "KVTasks.dat"}) {
      if (fs::exists(Installed(name))) return true;
    }
    return false;
  }
};

TEST_F(SetupProcessTest, InstallWhileNothingRunsStartsTheServiceAndRegistersTheSuite) {
  Install();
  for (const char* name : {"kvipcsrv", "KVBkgScan", "kvmsetup.so", "kvsetup", "KVVirusDB.dat"}) {
    EXPECT_TRUE(fs::exists(Installed(name))) << name;
  }
  EXPECT_TRUE(fs::is_directory(Installed("Quarantine")));
  EXPECT_EQ(access(Installed("kvipcsrv").c_str(), X_OK), 0);
  EXPECT_TRUE(WaitFor([&] { return SuitePids("kvipcsrv").size() == 1; }));

  const std::vector<std::string> boxes = BoxesWith("Installation successful!");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("\"caption\":\"Kolvar Setup\""), std::string::npos) << boxes[0];
  EXPECT_EQ(MessageBoxes().size(), 1u);

  // What the update applier and the device's start need.
  EXPECT_TRUE(
      ValueExists(RegistryRoot::kClassesRoot, u"cabfile\\Shell\\Open\\Command", u"Default"));
  EXPECT_EQ(access(device_.Host(u"\\Windows\\wceload").c_str(), X_OK), 0);
  EXPECT_TRUE(ValueExists(RegistryRoot::kLocalMachine, u"Init", u"Launch99"));
  EXPECT_TRUE(device_.Exists(u"\\Windows\\StartUp\\kolvar-kvipcsrv.lnk"));
  // The unpacked package is gone from the temporary folder.
  EXPECT_TRUE(fs::is_empty(device_.Host(u"\\Temp")));
}

TEST_F(SetupProcessTest, InstallEndsTheScannerThenTheServiceAndStartsTheNewService) {
  Install();
  WaitForService();
  StartSuiteProgram(u"KVBkgScan");
  ASSERT_TRUE(WaitFor([&] { return platform::ObjectExists(kScannerEvent); }));
  ASSERT_EQ(SuitePids("KVBkgScan").size(), 1u);
  ASSERT_EQ(SuitePids("kvipcsrv").size(), 1u);
  const pid_t scanner = SuitePids("KVBkgScan")[0];
  const pid_t service = SuitePids("kvipcsrv")[0];

  // Notes which of the two ends first while the installer runs.
  std::atomic<bool> done{false};
  std::vector<std::string> order;
  std::thread watcher([&] {
    bool scanner_seen = true, service_seen = true;
    while (!done && (scanner_seen || service_seen)) {
      if (scanner_seen && !Contains(SuitePids("KVBkgScan"), scanner)) {
        scanner_seen = false;
        order.push_back("scanner");
      }
      if (service_seen && !Contains(SuitePids("kvipcsrv"), service)) {
        service_seen = false;
        order.push_back("service");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  const ToolRun run = Kvsetup({"install", "--from", package_});
  done = true;
  watcher.join();
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(order, (std::vector<std::string>{"scanner", "service"}));
  // Both ended on their events: nobody had to be terminated.
  EXPECT_TRUE(BoxesWith("terminated").empty());
  EXPECT_TRUE(WaitFor([&] {
    const std::vector<pid_t> services = SuitePids("kvipcsrv");
    return services.size() == 1 && services[0] != service;
  }));
}

TEST_F(SetupProcessTest, ProgramIgnoringItsStopEventIsTerminatedAndTheUserIsTold) {
  Install();
  WaitForService();
  // A scanner that hangs: it holds the scanner's event and never looks at it.
  fs::copy_file(fs::path(BinDir()) / "setup_stubborn_program", Installed("KVBkgScan"),
                fs::copy_options::overwrite_existing);
  StartSuiteProgram(u"KVBkgScan", kScannerEvent);
  ASSERT_TRUE(WaitFor([&] { return platform::ObjectExists(kScannerEvent); }));
  const pid_t stubborn = SuitePids("KVBkgScan").at(0);

  const ToolRun run = Kvsetup({"install", "--from", package_});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_FALSE(Contains(SuitePids("KVBkgScan"), stubborn));
  const std::vector<std::string> boxes = BoxesWith("was terminated");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("KVBkgScan (process " + std::to_string(stubborn) + ")"),
            std::string::npos)
      << boxes[0];
  EXPECT_NE(boxes[0].find("\"caption\":\"Kolvar Setup\""), std::string::npos);
  // The real scanner is back in place.
  EXPECT_EQ(fs::file_size(Installed("KVBkgScan")), fs::file_size(fs::path(package_) / "KVBkgScan"));
}

TEST_F(SetupProcessTest, InstallLeavesTheProgramsOfAnotherFolderAlone) {
  // A service of another installation of the same user, in a namespace of its own.
  device_.MakeFolder(u"\\Program Files\\Other");
  fs::copy_file(fs::path(BinDir()) / "kvipcsrv", device_.Host(u"\\Program Files\\Other\\kvipcsrv"));
  const std::string other_namespace = work_ + "/other-namespace";
  fs::create_directory(other_namespace);
  fs::permissions(other_namespace, fs::perms::owner_all, fs::perm_options::replace);
  const std::string own_namespace = device_.runtime_dir();
  setenv("KOLVAR_RUNTIME_DIR", other_namespace.c_str(), 1);
  platform::Process other;
  platform::StartOptions options;
  options.detached = true;
  const bool started =
      platform::Process::Start(u"\\Program Files\\Other\\kvipcsrv", u"", options, &other);
  setenv("KOLVAR_RUNTIME_DIR", own_namespace.c_str(), 1);
  ASSERT_TRUE(started);
  ASSERT_TRUE(WaitFor([&] { return Pids(u"\\Program Files\\Other", "kvipcsrv").size() == 1; }));

  Install();
  Install();  // the second one finds the first one's service running
  EXPECT_TRUE(other.IsAlive());
  EXPECT_TRUE(BoxesWith("terminated").empty());
}

TEST_F(SetupProcessTest, UninstallAfterAFullSessionLeavesTheDeviceAsItWas) {
  device_.WriteFile(u"\\My Documents\\letter.txt", "Dear Sir or Madam");
  device_.WriteFile(u"\\Windows\\system.ini", "[boot]\n");
  const std::map<std::string, std::string> before = Listing();
  device_.WriteFile(u"\\My Documents\\eicar.com", kEicar);

  Install();
  ToolRun run = Kolvar({"scan", "\\My Documents", "--action=quarantine"});
  ASSERT_EQ(run.exit_code, 1) << run.out << run.err;
  ASSERT_EQ(
      std::distance(fs::directory_iterator(Installed("Quarantine")), fs::directory_iterator()), 1);
  run = Kolvar({"config", "AutoStartup", "1"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_TRUE(device_.Exists(u"\\Windows\\StartUp\\KVAntivirus.lnk"));
  run = Run(Installed("kvtasks"), {"set", Installed("KVTasks.dat"), "1", "enabled", "1"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::vector<platform::NotificationHandle> handles;
  ASSERT_TRUE(platform::ListNotifications(&handles));
  ASSERT_FALSE(handles.empty());
  ASSERT_TRUE(WaitFor([&] { return !SuitePids("kvnotifyd").empty(); }));
  ASSERT_TRUE(KeyExists(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp.\\Kolvar IPC Service"));
  ASSERT_FALSE(SuitePids("KVBkgScan").empty());

  run = Kvsetup({"uninstall"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;

  EXPECT_TRUE(device_.ProcessesOfDevice().empty());
  EXPECT_EQ(Listing(), before);
  EXPECT_FALSE(KeyExists(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp."));
  EXPECT_FALSE(ValueExists(RegistryRoot::kLocalMachine, u"Init", u"Launch99"));
  EXPECT_FALSE(ValueExists(RegistryRoot::kLocalMachine, u"Init", u"Launch991"));
  EXPECT_FALSE(KeyExists(RegistryRoot::kClassesRoot, u"cabfile"));
  ASSERT_TRUE(platform::ListNotifications(&handles));
  EXPECT_TRUE(handles.empty());
  const std::vector<std::string> boxes = BoxesWith("holds 1 quarantined file");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("\"caption\":\"Kolvar Setup\""), std::string::npos);
}

TEST_F(SetupProcessTest, UninstallAfterTheConfigurationWasDeleted) {
  Install();
  MakeConfiguration();
  device_.WriteFile(std::u16string(kSuiteFolder) + u"\\Quarantine\\kept.avq", "quarantined");
  fs::remove(device_.Host(u"\\Windows\\kvmavcfg.dat"));

  const ToolRun run = Kvsetup({"uninstall"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_FALSE(SuiteFilesRemain());
  EXPECT_TRUE(device_.ProcessesOfDevice().empty());
  // Without the configuration the setup library knows no folder to empty.
  EXPECT_EQ(device_.ReadFile(std::u16string(kSuiteFolder) + u"\\Quarantine\\kept.avq"),
            "quarantined");
  EXPECT_FALSE(ValueExists(RegistryRoot::kLocalMachine, u"Init", u"Launch99"));
  EXPECT_FALSE(KeyExists(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp."));
}

class ProtectedFolderTest : public SetupProcessTest,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(ProtectedFolderTest, AnInstallationFolderNamingAnotherFolderIsNeverEmptied) {
  device_.WriteFile(u"\\My Documents\\letter.txt", "Dear Sir or Madam");
  device_.WriteFile(u"\\My Documents\\Quarantine\\mine.txt", "my own quarantine notes");
  device_.WriteFile(u"\\Windows\\system.ini", "[boot]\n");
  device_.WriteFile(u"\\Program Files\\Other\\notes.txt", "notes");
  Install();
  MakeConfiguration();
  ToolRun run = Run(Installed("kvcfg"), {"set", device_.Host(u"\\Windows\\kvmavcfg.dat"), "BASIC",
                                         "InstallDir", "1", GetParam()});
  ASSERT_EQ(run.exit_code, 0) << run.err;

  run = Kvsetup({"uninstall"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(device_.ReadFile(u"\\My Documents\\letter.txt"), "Dear Sir or Madam");
  EXPECT_EQ(device_.ReadFile(u"\\My Documents\\Quarantine\\mine.txt"), "my own quarantine notes");
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\system.ini"), "[boot]\n");
  EXPECT_EQ(device_.ReadFile(u"\\Program Files\\Other\\notes.txt"), "notes");
  EXPECT_EQ(BoxesWith("was not emptied").size(), 1u);
  // The suite's own files still go.
  EXPECT_FALSE(SuiteFilesRemain());
}

std::string FolderCaseName(const ::testing::TestParamInfo<const char*>& info) {
  static const char* const kNames[] = {"Windows", "Root", "Documents", "FolderWithoutTheSuite"};
  return kNames[info.index];
}

INSTANTIATE_TEST_SUITE_P(Folders, ProtectedFolderTest,
                         ::testing::Values("\\Windows\\", "\\", "\\My Documents\\",
                                           "\\Program Files\\Other\\"),
                         FolderCaseName);

TEST_F(SetupProcessTest, CancelledRemovalChangesNothing) {
  device_.WriteFile(u"\\My Documents\\eicar.com", kEicar);
  Install();
  ToolRun run = Kolvar({"scan", "\\My Documents", "--action=quarantine"});
  ASSERT_EQ(run.exit_code, 1) << run.out << run.err;
  const std::vector<pid_t> service = SuitePids("kvipcsrv");
  const std::vector<pid_t> scanner = SuitePids("KVBkgScan");
  ASSERT_EQ(service.size(), 1u);
  const std::map<std::string, std::string> before = Listing();

  run = Kvsetup({"uninstall"}, {"KOLVAR_MSGBOX_ANSWERS=CANCEL"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("cancelled; nothing was changed"), std::string::npos) << run.err;
  EXPECT_EQ(Listing(), before);
  EXPECT_EQ(SuitePids("kvipcsrv"), service);
  EXPECT_EQ(SuitePids("KVBkgScan"), scanner);
  EXPECT_TRUE(ValueExists(RegistryRoot::kLocalMachine, u"Init", u"Launch99"));
}

struct UsageCase {
  std::vector<std::string> arguments;
  const char* message;
};

TEST_F(SetupProcessTest, WrongUseFailsWithAMessageAndChangesNothing) {
  fs::create_directory(work_ + "/empty");
  const UsageCase cases[] = {
      {{"uninstall"}, "no installation of Kolvar AV"},
      {{"install", "--from", work_ + "/empty"}, "holds no built Kolvar AV"},
      {{"install", "--from", package_, "/"}, "lies outside the device"},
      {{"remove"}, "usage: kvsetup"},
      {{"install", "--from"}, "usage: kvsetup"},
  };
  const std::map<std::string, std::string> before = Listing();
  for (const UsageCase& usage : cases) {
    const ToolRun run = Kvsetup(usage.arguments);
    EXPECT_EQ(run.exit_code, 2) << usage.message;
    EXPECT_NE(run.err.find(usage.message), std::string::npos) << run.err;
  }
  EXPECT_EQ(Listing(), before);
  EXPECT_TRUE(MessageBoxes().empty());
}

}  // namespace
}  // namespace kolvar::testing
