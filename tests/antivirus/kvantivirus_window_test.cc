// The windowed main program KVAntivirus over real processes, on a private X display (Xvfb) and
// driven by real key presses (xdotool), in each case's own device image with KVBkgScan and
// kvipcsrv beside it: a scan from "Scan Now" to the report and into the repository; a detection
// of the background scanner answered in the program the scanner starts; a second start handing
// over to the running copy; and the start-up failures, each told in its box.
//
// The keys are the user's: F1 and F2 open the left and right soft-key menus (Down from the top
// of a menu reaches its first item, Up its last; separators and greyed items are skipped), Enter
// is the action key, Escape the Back key. Every wait is for a condition, with a generous deadline:
// a dialog by its window's title, a menu by its popup window, which the test waits to see open
// and closed again, so that no key reaches a menu that is just closing.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "antivirus/install_paths.h"
#include "common/config_keys.h"
#include "ipc/ipc_channel.h"
#include "platform/desktop_windows.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_records.h"
#include "tests/antivirus/front_end_test_support.h"
#include "tests/antivirus/x_display.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The program's window titles: the main dialog's, and the dialogs stacked over it.
constexpr char kMainTitle[] = "^Kolvar AV$";
constexpr char kReportTitle[] = "^Report$";
constexpr char kVirusDetectedTitle[] = "^Virus Detected$";
constexpr char kRepositoryTitle[] = "^Repository$";
constexpr char kHistoryTitle[] = "^History$";
constexpr char kConfigurationTitle[] = "^Configuration$";
constexpr char kUpdateTitle[] = "^Update$";
// The popup window of an open soft-key menu: of the program's window class, named with the
// program's name (in its _NET_WM_NAME; its WM_NAME is empty).
constexpr char kProgramClass[] = "^KVAntivirus$";
constexpr char kMenuName[] = "KVAntivirus";

// Generous bounds for a busy 2-core machine running the sanitizer build.
constexpr double kWindowSeconds = 120;
constexpr double kScanSeconds = 300;

bool WaitFor(const std::function<bool()>& condition, double seconds) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

// Whether `pid` (a child of the test) still runs; it is not reaped here.
bool Running(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

std::string ProgramOf(pid_t pid) {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
  return error ? std::string() : exe.filename().string();
}

// The arguments of a running process, the program by its file name.
std::vector<std::string> CommandLineOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::vector<std::string> words;
  std::string word;
  while (std::getline(in, word, '\0')) words.push_back(word);
  if (!words.empty()) words[0] = fs::path(words[0]).filename().string();
  return words;
}

class KVAntivirusWindowTest : public testing::WithXDisplay<FrontEndTest> {
 protected:
  KVAntivirusWindowTest() {
    device_.InstallPrograms({"KVAntivirus"});
    // The splash would take the first keys of a test.
    SetConfig(config_keys::kSplashScreen, 0);
    paths_ = InstallPathsOf(folder_);
  }

  // Two documents infected with test signatures and the EICAR file, clean files beside them.
  void PlantInfections() {
    device_.WriteFile(u"\\My Documents\\letter.txt", "Dear Sir,\nall is well.\n");
    device_.WriteFile(u"\\My Documents\\invoice.txt",
                      "Invoice\n" + SignatureBytes(kTestTextId) + "\n");
    device_.WriteFile(u"\\Storage Card\\setup.exe", "MZ" + SignatureBytes(kTestExeId));
    device_.WriteFile(u"\\My Documents\\Downloads\\eicar.com", SignatureBytes(kEicarId));
    device_.WriteFile(u"\\Storage Card\\tool.exe", "MZ clean program");
  }

  // Pids of the device's running KVAntivirus copies.
  std::vector<pid_t> RunningCopies() const {
    std::vector<pid_t> copies;
    for (pid_t pid : device_.ProcessesOfDevice()) {
      if (ProgramOf(pid) == "KVAntivirus") copies.push_back(pid);
    }
    return copies;
  }

  std::vector<RepositoryRecord> RepositoryIndex() const {
    std::vector<RepositoryRecord> records;
    Repository repository(paths_.quarantine_folder, paths_.repository_index);
    if (device_.Exists(paths_.repository_index)) {
      EXPECT_TRUE(repository.ReadIndex(&records));
    }
    return records;
  }

  // True when the file has left its place and sits in the repository: its protected ".avq"
  // copy in the quarantine folder and its record in the index.
  bool InRepository(std::u16string_view folder, std::u16string_view name) const {
    if (device_.Exists(platform::JoinPath(folder, name))) return false;
    Repository repository(paths_.quarantine_folder, paths_.repository_index);
    for (const RepositoryRecord& record : RepositoryIndex()) {
      if (WideField(record.folder) == folder && WideField(record.file_name) == name) {
        const std::u16string copy = repository.ProtectedPathOf(record);
        return copy.size() > 4 && copy.substr(copy.size() - 4) == u".avq" && device_.Exists(copy);
      }
    }
    return false;
  }

  bool MenuOpen() const {
    for (const std::string& window : display_.WindowsOfClass(kProgramClass)) {
      if (display_.Title(window) == kMenuName) return true;
    }
    return false;
  }

  // Opens the menu of `soft_key` ("F1" or "F2") and chooses an item by the keys that reach it.
  void Choose(const std::string& window, const char* soft_key,
              const std::vector<std::string>& to_item) {
    display_.Keys(window, {soft_key});
    ASSERT_TRUE(WaitFor([&] { return MenuOpen(); }, kWindowSeconds)) << "the menu did not open";
    display_.Press(to_item);
    display_.Press({"Return"});
    ASSERT_TRUE(WaitFor([&] { return !MenuOpen(); }, kWindowSeconds)) << "the menu stayed open";
  }

  // Ends the program as the user does: "Exit Antivirus", the last item of "Options".
  void ExitThroughMenu(RunningKolvar& program, const std::string& window) {
    Choose(window, "F1", {"Up"});
    const RunResult ended = program.Wait(kWindowSeconds);
    EXPECT_EQ(ended.exit_status, 0) << ended.err;
  }

  InstallPaths paths_;
};

// "Scan Now" from the Options menu scans the device; the scan's end opens the report, where
// "Move All" and "Close" move every infected file into the repository: each leaves its place,
// its protected copy lies in the quarantine folder and the index lists it.
TEST_F(KVAntivirusWindowTest, ScanNowToReportMovesEveryFileToTheRepository) {
  PlantInfections();
  std::unique_ptr<RunningKolvar> program = StartProgram("KVAntivirus", {});
  const std::string window = display_.WaitForWindow(kMainTitle, kWindowSeconds);
  ASSERT_FALSE(window.empty()) << program->Err();

  Choose(window, "F1", {"Down"});  // Options: "Scan Now"
  ASSERT_TRUE(display_.WaitForTitle(window, kReportTitle, kScanSeconds)) << program->Err();
  // The report of a finished scan: the files are still in place until an action is carried out.
  EXPECT_TRUE(device_.Exists(u"\\My Documents\\invoice.txt"));
  // Options: "Delete Infected File", "Move to Repository", "Ignore Threat", "Delete All",
  // "Move All": the fifth item.
  Choose(window, "F1", {"Down", "Down", "Down", "Down", "Down"});
  display_.Keys(window, {"F2"});  // "Close": the actions are carried out
  ASSERT_TRUE(display_.WaitForTitle(window, kMainTitle, kScanSeconds)) << program->Err();

  const std::set<std::pair<std::u16string, std::u16string>> planted = {
      {u"\\My Documents", u"invoice.txt"},
      {u"\\Storage Card", u"setup.exe"},
      {u"\\My Documents\\Downloads", u"eicar.com"}};
  EXPECT_TRUE(WaitFor(
      [&] {
        for (const auto& [folder, name] : planted) {
          if (!InRepository(folder, name)) return false;
        }
        return true;
      },
      kWindowSeconds));
  for (const auto& [folder, name] : planted) {
    EXPECT_TRUE(InRepository(folder, name)) << platform::Utf16ToUtf8(name);
  }
  EXPECT_EQ(RepositoryIndex().size(), planted.size());
  EXPECT_TRUE(device_.Exists(u"\\My Documents\\letter.txt"));
  EXPECT_TRUE(device_.Exists(u"\\Storage Card\\tool.exe"));
  EXPECT_TRUE(Boxes().empty()) << Boxes().front();

  ExitThroughMenu(*program, window);
}

// Background scanning with no user interface running: the scanner finds a planted file and
// starts KVAntivirus with "VIRUSDETECTED"; the virus-detected dialog is answered with "Move to
// Repository", the program ends without ever showing its main dialog, and the scanner moves the
// file into the repository itself.
TEST_F(KVAntivirusWindowTest, DetectionInTheBackgroundIsAnsweredInTheStartedProgram) {
  SetConfig(config_keys::kEnableBckScan, 1);
  device_.WriteFile(u"\\My Documents\\invoice.txt",
                    "Invoice\n" + SignatureBytes(kTestTextId) + "\n");
  std::unique_ptr<RunningKolvar> scanner = StartProgram("KVBkgScan", {});

  const std::string window = display_.WaitForWindow(kVirusDetectedTitle, kScanSeconds);
  ASSERT_FALSE(window.empty()) << scanner->Err();
  const std::vector<pid_t> copies = RunningCopies();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(CommandLineOf(copies[0]), std::vector<std::string>({"KVAntivirus", "VIRUSDETECTED"}));
  // Options: "Delete Infected File", "Move to Repository" (the greyed "All" items are skipped).
  Choose(window, "F1", {"Down", "Down"});

  EXPECT_TRUE(WaitFor([&] { return RunningCopies().empty(); }, kWindowSeconds))
      << "the started program did not end after the answer";
  EXPECT_TRUE(display_.Windows(kMainTitle).empty()) << "the main dialog was shown";
  EXPECT_TRUE(
      WaitFor([&] { return InRepository(u"\\My Documents", u"invoice.txt"); }, kScanSeconds));
  EXPECT_TRUE(Running(scanner->pid())) << "the scanner ended: " << scanner->Err();
  EXPECT_TRUE(Boxes().empty()) << Boxes().front();
}

// A second start while the program runs: the running copy cancels the dialog stacked over its
// main dialog and stays the only copy; the second one ends with 0 and its command word is
// dropped.
TEST_F(KVAntivirusWindowTest, SecondStartCancelsTheStackedDialogOfTheRunningCopy) {
  std::unique_ptr<RunningKolvar> first = StartProgram("KVAntivirus", {});
  const std::string window = display_.WaitForWindow(kMainTitle, kWindowSeconds);
  ASSERT_FALSE(window.empty()) << first->Err();
  // The report from the "R" button (the focus moves from "S" over the greyed "P" and "T").
  display_.Keys(window, {"Tab", "Return"});
  ASSERT_TRUE(display_.WaitForTitle(window, kReportTitle, kWindowSeconds));

  const RunResult second = StartProgram("KVAntivirus", {"DOSCAN"})->Wait(kWindowSeconds);
  EXPECT_EQ(second.exit_status, 0) << second.err;
  EXPECT_TRUE(display_.WaitForTitle(window, kMainTitle, kWindowSeconds));
  EXPECT_TRUE(Running(first->pid()));
  EXPECT_EQ(RunningCopies(), std::vector<pid_t>{first->pid()});
  EXPECT_EQ(display_.Windows(kMainTitle).size(), 1u);
  EXPECT_TRUE(Boxes().empty()) << Boxes().front();

  ExitThroughMenu(*first, window);
}

// The process manager's window list finds the program's window by its process, as "Bring To
// Front" needs it; a display without a window manager gives no program a way to raise another's
// window, and the tool says so rather than pretend. The tool opens from "Tools" and closes again.
TEST_F(KVAntivirusWindowTest, TheProgramsWindowIsFoundByItsProcess) {
  std::unique_ptr<RunningKolvar> program = StartProgram("KVAntivirus", {});
  const std::string window = display_.WaitForWindow(kMainTitle, kWindowSeconds);
  ASSERT_FALSE(window.empty()) << program->Err();
  bool found = false;
  for (const platform::TopWindow& top : platform::ListTopWindows()) {
    found |=
        top.pid == static_cast<uint32_t>(program->pid()) && std::to_string(top.window) == window;
  }
  EXPECT_TRUE(found) << "window " << window << " of " << program->pid();
  EXPECT_FALSE(platform::CanActivateWindows()) << "Xvfb runs no window manager";

  Choose(window, "F2", {"Down"});  // "Processes Manager"
  ASSERT_TRUE(display_.WaitForTitle(window, "^Proc Manager$", kWindowSeconds));
  display_.Keys(window, {"Escape"});
  ASSERT_TRUE(display_.WaitForTitle(window, kMainTitle, kWindowSeconds));
  ExitThroughMenu(*program, window);
}

// A file quarantined by `kolvar scan` is listed in the repository dialog ("Repository Files") and
// restored by keys: it is back byte for byte and its entry has left the index. A file that
// another process quarantines while the dialog is open keeps its entry, and the list shows it.
TEST_F(KVAntivirusWindowTest, RepositoryDialogRestoresAFileTheFrontEndQuarantined) {
  const std::string invoice =
      std::string("Invoice\r\n\0\xff", 11) + SignatureBytes(kTestTextId) + "\n";
  device_.WriteFile(u"\\My Documents\\invoice.txt", invoice);
  const RunResult scan = Kolvar({"scan", "--action=quarantine", "\\My Documents"});
  ASSERT_EQ(scan.exit_status, 1) << scan.err << scan.out;
  ASSERT_TRUE(InRepository(u"\\My Documents", u"invoice.txt"));
  device_.WriteFile(u"\\Storage Card\\setup.exe", "MZ" + SignatureBytes(kTestExeId));

  std::unique_ptr<RunningKolvar> program = StartProgram("KVAntivirus", {});
  const std::string window = display_.WaitForWindow(kMainTitle, kWindowSeconds);
  ASSERT_FALSE(window.empty()) << program->Err();
  Choose(window, "F1", {"Down", "Down", "Down"});  // Options: "Repository Files"
  ASSERT_TRUE(display_.WaitForTitle(window, kRepositoryTitle, kWindowSeconds)) << program->Err();

  // Another process moves a file into the repository while the dialog is open.
  const pid_t other = fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    Repository repository(paths_.quarantine_folder, paths_.repository_index);
    _exit(repository.Quarantine(u"\\Storage Card", u"setup.exe", kTestExeId, nullptr) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(other, &status, 0), other);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  Choose(window, "F1", {"Down", "Down"});  // Options: "Restore File" (of the first row)
  ASSERT_TRUE(
      WaitFor([&] { return device_.Exists(u"\\My Documents\\invoice.txt"); }, kWindowSeconds));
  EXPECT_TRUE(device_.ReadFile(u"\\My Documents\\invoice.txt") == invoice);
  EXPECT_TRUE(WaitFor([&] { return RepositoryIndex().size() == 1; }, kWindowSeconds));
  const std::vector<RepositoryRecord> index = RepositoryIndex();
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(WideField(index[0].file_name), u"setup.exe");
  EXPECT_TRUE(InRepository(u"\\Storage Card", u"setup.exe"));

  // The list now shows the other process's file: deleting it (the one row) empties the index.
  Choose(window, "F1", {"Down"});  // Options: "Delete File"
  EXPECT_TRUE(WaitFor([&] { return !device_.Exists(paths_.repository_index); }, kWindowSeconds));
  EXPECT_FALSE(device_.Exists(u"\\Storage Card\\setup.exe"));
  display_.Keys(window, {"F2"});  // "Done"
  ASSERT_TRUE(display_.WaitForTitle(window, kMainTitle, kWindowSeconds));
  EXPECT_TRUE(Boxes().empty()) << Boxes().front();
  ExitThroughMenu(*program, window);
}

// "UPDATED" (the update applier's word) opens the history before the main dialog; "Done" shows
// the main dialog.
TEST_F(KVAntivirusWindowTest, UpdatedOpensTheHistoryFirst) {
  device_.WriteFile(paths_.history, "3.0.1 installed\n");
  std::unique_ptr<RunningKolvar> program = StartProgram("KVAntivirus", {"UPDATED"});
  const std::string window = display_.WaitForWindow(kHistoryTitle, kWindowSeconds);
  ASSERT_FALSE(window.empty()) << program->Err();
  display_.Keys(window, {"F2"});  // "Done"
  ASSERT_TRUE(display_.WaitForTitle(window, kMainTitle, kWindowSeconds)) << program->Err();
  EXPECT_TRUE(Boxes().empty()) << Boxes().front();
  ExitThroughMenu(*program, window);
}

// "Update Now" of the history opens the update dialog over it, waiting for "Update!"; its "Cancel"
// shows the history again, and the history's "Done" the main dialog.
TEST_F(KVAntivirusWindowTest, UpdateNowOfTheHistoryOpensTheUpdateDialogOverIt) {
  device_.WriteFile(paths_.history, "3.0.1 installed\n");
  std::unique_ptr<RunningKolvar> program = StartProgram("KVAntivirus", {"UPDATED"});
  const std::string window = display_.WaitForWindow(kHistoryTitle, kWindowSeconds);
  ASSERT_FALSE(window.empty()) << program->Err();
  Choose(window, "F1", {"Down"});  // Options: "Update Now"
  ASSERT_TRUE(display_.WaitForTitle(window, kUpdateTitle, kWindowSeconds)) << program->Err();
  display_.Keys(window, {"F2"});  // "Cancel"
  ASSERT_TRUE(display_.WaitForTitle(window, kHistoryTitle, kWindowSeconds)) << program->Err();
  display_.Keys(window, {"F2"});  // "Done"
  ASSERT_TRUE(display_.WaitForTitle(window, kMainTitle, kWindowSeconds)) << program->Err();
  EXPECT_TRUE(Boxes().empty()) << Boxes().front();
  ExitThroughMenu(*program, window);
}

// Background scanning ticked by keys in the configuration dialog and confirmed: the box says it
// takes effect with the next scan, and the next "Scan Now" is a background pass, which asks about
// a planted file at once in the virus-detected dialog instead of ending with the report.
TEST_F(KVAntivirusWindowTest, ConfirmedBackgroundScanningMakesTheNextScanABackgroundPass) {
  SetConfig(config_keys::kEnableBckScan, 0);
  environment_changes_["KOLVAR_MSGBOX_ANSWERS"] = "OK";
  std::unique_ptr<RunningKolvar> program = StartProgram("KVAntivirus", {});
  const std::string window = display_.WaitForWindow(kMainTitle, kWindowSeconds);
  ASSERT_FALSE(window.empty()) << program->Err();

  Choose(window, "F1", {"Down", "Down"});  // Options: "Configuration"
  ASSERT_TRUE(display_.WaitForTitle(window, kConfigurationTitle, kWindowSeconds)) << program->Err();
  // The focus starts on "Show Splash Screen"; the background box is the third.
  display_.Keys(window, {"Tab", "Tab", "Return", "F1"});  // tick it, "Confirm"
  ASSERT_TRUE(display_.WaitForTitle(window, kMainTitle, kWindowSeconds)) << program->Err();
  EXPECT_TRUE(WaitFor([&] { return HasBox("take effect the next time you start a scan"); },
                      kWindowSeconds));

  device_.WriteFile(u"\\My Documents\\invoice.txt",
                    "Invoice\n" + SignatureBytes(kTestTextId) + "\n");
  Choose(window, "F1", {"Down"});  // Options: "Scan Now"
  ASSERT_TRUE(display_.WaitForTitle(window, kVirusDetectedTitle, kScanSeconds)) << program->Err();
  // Options: "Delete Infected File", "Move to Repository" (the greyed "All" items are skipped).
  Choose(window, "F1", {"Down", "Down"});
  EXPECT_TRUE(
      WaitFor([&] { return InRepository(u"\\My Documents", u"invoice.txt"); }, kScanSeconds));
  ASSERT_TRUE(display_.WaitForTitle(window, kMainTitle, kWindowSeconds)) << program->Err();
  EXPECT_FALSE(display_.Title(window) == "Report");
  ExitThroughMenu(*program, window);
}

// "EnableBckScan" that cannot be read is told in its box, counts as off, and the program runs on.
TEST_F(KVAntivirusWindowTest, UnreadableBackgroundSettingIsToldAndCountsAsOff) {
  SetConfig(config_keys::kEnableBckScan, std::nullopt);
  environment_changes_["KOLVAR_MSGBOX_ANSWERS"] = "OK";
  std::unique_ptr<RunningKolvar> program = StartProgram("KVAntivirus", {});
  const std::string window = display_.WaitForWindow(kMainTitle, kWindowSeconds);
  ASSERT_FALSE(window.empty()) << program->Err();
  EXPECT_TRUE(WaitFor([&] { return HasBox("\"program\":\"KVAntivirus\""); }, kWindowSeconds));
  // The scanner, which reads the setting too, tells it in a box of its own.
  bool told = false;
  for (const std::string& box : Boxes()) {
    if (box.find("\"program\":\"KVAntivirus\"") == std::string::npos) continue;
    told = true;
    EXPECT_NE(box.find("\"caption\":\"Kolvar AV\""), std::string::npos) << box;
    EXPECT_NE(box.find("Cannot load configuration value (Enable Background)"), std::string::npos)
        << box;
    EXPECT_NE(box.find("\"style\":16"), std::string::npos) << box;
  }
  EXPECT_TRUE(told);
  ExitThroughMenu(*program, window);
}

// The start-up failures: each is told in a box captioned "Kolvar AV" with the error icon, and the
// program ends with 0 without a window. (A missing virus database or detail database, a file in
// the quarantine folder's place and a missing scanner are cases of
// antivirus/views/tests/kvantivirus_process_test.cc; these are the ones that need the IPC service
// broken in other ways, or a file system that refuses.)
class StartupFailureTest;

struct StartupFailure {
  const char* name;
  // Breaks the device image before the start; false when this machine cannot (the case skips).
  std::function<bool(StartupFailureTest&)> breakage;
  const char* text;  // a part of the box's text, as the JSON log writes it
};

// Test names and failure messages show the case by its name.
void PrintTo(const StartupFailure& failure, std::ostream* out) { *out << failure.name; }

class StartupFailureTest : public KVAntivirusWindowTest,
                           public ::testing::WithParamInterface<StartupFailure> {
 public:
  ~StartupFailureTest() override {
    if (!read_only_.empty()) umount2(read_only_.c_str(), MNT_DETACH);
  }

  void Remove(std::u16string_view name) {
    fs::remove(device_.Host(platform::JoinPath(folder_, name)));
  }

  // The install folder read-only (a read-only bind mount over itself), so that the quarantine
  // folder cannot be created. Needs the right to mount.
  bool MakeInstallFolderReadOnly() {
    const std::string folder = device_.Host(folder_);
    if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    read_only_ = folder;
    return mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

  // Another program holds the channel "ANTIVIRUS" (without the program's single-instance
  // objects): the service runs from the device, started here, and this test registers the name.
  bool TakeMainChannel() {
    service_ = StartProgram("kvipcsrv", {});
    const bool up = WaitFor(
        [&] {
          holder_ = std::make_unique<IpcChannel>(/*start_service=*/false, /*private_heaps=*/false);
          return holder_->GetStatus() == kStatusOk;
        },
        kWindowSeconds);
    return up && holder_->Register(u"ANTIVIRUS");
  }

  // A scanner that ends at once without registering its channel.
  void ScannerThatNeverRegisters() {
    Remove(u"KVBkgScan");
    const std::string path = device_.Host(platform::JoinPath(folder_, u"KVBkgScan"));
    device_.WriteFile(platform::JoinPath(folder_, u"KVBkgScan"), "#!/bin/sh\nexit 0\n");
    fs::permissions(path, fs::perms::owner_all);
  }

 private:
  std::string read_only_;
  std::unique_ptr<RunningKolvar> service_;
  std::unique_ptr<IpcChannel> holder_;
};

TEST_P(StartupFailureTest, IsToldInABoxAndEndsWithZero) {
  const StartupFailure& failure = GetParam();
  if (!failure.breakage(*this)) GTEST_SKIP() << "this machine cannot break the image that way";
  environment_changes_["KOLVAR_MSGBOX_ANSWERS"] = "OK";

  const RunResult run = StartProgram("KVAntivirus", {})->Wait(kWindowSeconds);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  bool told = false;
  for (const std::string& box : Boxes()) {
    told = told || (box.find("\"caption\":\"Kolvar AV\"") != std::string::npos &&
                    box.find(failure.text) != std::string::npos &&
                    box.find("\"style\":16") != std::string::npos);
  }
  EXPECT_TRUE(told) << "no box telling \"" << failure.text << "\"; boxes:\n"
                    << [&] {
                         std::string all;
                         for (const std::string& box : Boxes()) all += box + "\n";
                         return all;
                       }();
  EXPECT_TRUE(RunningCopies().empty());
  EXPECT_TRUE(display_.Windows(kMainTitle).empty());
}

INSTANTIATE_TEST_SUITE_P(
    FailuresOfTheStart, StartupFailureTest,
    ::testing::Values(
        StartupFailure{"QuarantineFolderCannotBeCreated",
                       [](StartupFailureTest& test) { return test.MakeInstallFolderReadOnly(); },
                       "\\nCannot create quarantine directory. Please contact support."},
        StartupFailure{"ServiceCannotBeStarted",
                       [](StartupFailureTest& test) {
                         test.Remove(u"kvipcsrv");
                         return true;
                       },
                       "IPC Service communication failed: please restart device.\\nIf the "
                       "problem persists, reinstall Kolvar AV."},
        StartupFailure{"MainChannelTaken",
                       [](StartupFailureTest& test) { return test.TakeMainChannel(); },
                       "register channel: please restart device... \\nIf the problem persists, "
                       "reinstall Kolvar AV."},
        StartupFailure{"ScannerChannelNeverAppears",
                       [](StartupFailureTest& test) {
                         test.ScannerThatNeverRegisters();
                         return true;
                       },
                       "\"IPC communication failed: please restart device.\""}),
    [](const ::testing::TestParamInfo<StartupFailure>& info) { return info.param.name; });

}  // namespace
}  // namespace kolvar
