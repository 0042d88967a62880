// kolvar scan over real processes: exit statuses, the JSON document against the report, the
// single copy of the user interface, the prompts, and a host folder full of entries that are no
// regular files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "antivirus/application_shell.h"
#include "common/object_names.h"
#include "platform/kernel_objects.h"
#include "platform/text.h"
#include "scan_engine/scan_channel.h"
#include "tests/antivirus/front_end_test_support.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

class KolvarScanTest : public FrontEndTest {
 protected:
  // Two documents infected with test signatures, the EICAR file, and clean files beside them.
  void PlantInfections() {
    device_.WriteFile(u"\\My Documents\\letter.txt", "Dear Sir,\nall is well.\n");
    device_.WriteFile(u"\\My Documents\\invoice.txt",
                      "Invoice\n" + SignatureBytes(kTestTextId) + "\n");
    device_.WriteFile(u"\\Storage Card\\setup.exe", "MZ" + SignatureBytes(kTestExeId));
    device_.WriteFile(u"\\My Documents\\Downloads\\eicar.com", SignatureBytes(kEicarId));
    device_.WriteFile(u"\\Storage Card\\tool.exe", "MZ clean program");
  }

  const std::set<std::string> planted_ = {"\\My Documents\\invoice.txt",
                                          "\\Storage Card\\setup.exe",
                                          "\\My Documents\\Downloads\\eicar.com"};
};

// The "infected" facts, one per entry of the report (a file listed twice gives two).
std::vector<std::string> InfectedFacts(const std::vector<std::string>& facts) {
  std::vector<std::string> infected;
  for (const std::string& fact : facts) {
    if (fact.rfind("infected\t", 0) == 0) infected.push_back(fact);
  }
  return infected;
}

std::string Fact(const std::vector<std::string>& facts, const std::string& name) {
  const std::set<std::string> values = FactsOfKind(facts, name, 1);
  return values.empty() ? "" : *values.begin();
}

TEST_F(KolvarScanTest, ExitStatusTellsCleanInfectedAndError) {
  device_.WriteFile(u"\\My Documents\\letter.txt", "nothing to see");
  RunResult clean = Kolvar({"scan"});
  EXPECT_EQ(clean.exit_status, 0) << clean.err;
  EXPECT_NE(clean.out.find("0 infected files"), std::string::npos) << clean.out;

  PlantInfections();
  RunResult infected = Kolvar({"scan", "\\My Documents"});
  EXPECT_EQ(infected.exit_status, 1) << infected.err;
  // Without a terminal the files are left alone.
  EXPECT_TRUE(device_.Exists(u"\\My Documents\\invoice.txt"));
  EXPECT_NE(infected.out.find("Kolvar.Test.Text"), std::string::npos) << infected.out;
  EXPECT_EQ(infected.out.find("setup.exe"), std::string::npos) << "outside the folder scanned";

  const struct {
    std::vector<std::string> arguments;
    std::string says;
  } errors[] = {
      {{"scan", "--action=maybe"}, "--action needs"},
      {{"scan", "\\No Such Folder"}, "there is no folder"},
      {{"scan", "/"}, "outside the device root"},
      {{"scan", "\\My Documents\\letter.txt"}, "is a file"},
      {{"launch"}, "unknown command"},
  };
  for (const auto& c : errors) {
    SCOPED_TRACE(c.arguments.back());
    RunResult result = Kolvar(c.arguments);
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
  }

  fs::remove(device_.Host(folder_ + u"\\KVVirusDB.dat"));
  RunResult no_database = Kolvar({"scan"});
  EXPECT_EQ(no_database.exit_status, 2);
  EXPECT_NE(no_database.err.find("Virus Database not found"), std::string::npos) << no_database.err;
  EXPECT_TRUE(HasBox("\\nVirus Database not found. Please contact support."));
}

// kolvar starts the service and the scanner, which outlive it; neither may keep kolvar's output
// open, or `kolvar scan | tee log` (or any reader of the pipe) would wait for them to end.
TEST_F(KolvarScanTest, OutputPipeClosesWhenKolvarEndsAlthoughItsDaemonsRun) {
  PlantInfections();
  RunResult result = KolvarThroughPipe({"scan", "\\My Documents"});
  EXPECT_EQ(result.exit_status, 1) << result.out;
  EXPECT_NE(result.out.find("Kolvar.Test.Text"), std::string::npos) << result.out;
  EXPECT_FALSE(device_.ProcessesOfDevice().empty()) << "the daemons were to outlive kolvar";
}

TEST_F(KolvarScanTest, JsonDocumentParsesAndAgreesWithTheReport) {
  PlantInfections();
  RunResult json = Kolvar({"scan", "--json"});
  ASSERT_EQ(json.exit_status, 1) << json.err;
  const std::vector<std::string> facts = JsonFacts(json.out);
  EXPECT_EQ(Fact(facts, "exit_status"), "1");
  EXPECT_EQ(Fact(facts, "completed"), "True");
  EXPECT_EQ(Fact(facts, "folder"), "\\");
  EXPECT_EQ(Fact(facts, "action_policy"), "ignore");
  EXPECT_EQ(Fact(facts, "infected_files"), "3");
  EXPECT_EQ(FactsOfKind(facts, "infected", 1), planted_);
  EXPECT_EQ(FactsOfKind(facts, "infected", 2),
            (std::set<std::string>{"EICAR-Test-File", "Kolvar.Test.Text", "Kolvar.Test.Exe"}));
  EXPECT_EQ(FactsOfKind(facts, "infected", 4), std::set<std::string>{"ignored"});

  // The report of the same scan names the same files, viruses and results.
  RunResult report = Kolvar({"scan"});
  ASSERT_EQ(report.exit_status, 1) << report.err;
  for (const std::string& fact : facts) {
    if (fact.rfind("infected\t", 0) != 0) continue;
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = fact.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(fact.substr(start, tab - start));
    }
    fields.push_back(fact.substr(start));
    const size_t line_start = report.out.find("  " + fields[1] + " ");
    ASSERT_NE(line_start, std::string::npos) << fields[1] << " missing from\n" << report.out;
    const std::string line =
        report.out.substr(line_start, report.out.find('\n', line_start) - line_start);
    EXPECT_NE(line.find(fields[2]), std::string::npos) << line;
    EXPECT_NE(line.find("ignored"), std::string::npos) << line;
  }
  // --quiet names only the infected files.
  RunResult quiet = Kolvar({"scan", "--quiet"});
  EXPECT_EQ(quiet.exit_status, 1);
  EXPECT_EQ(std::count(quiet.out.begin(), quiet.out.end(), '\n'), 3) << quiet.out;
}

TEST_F(KolvarScanTest, FastScanOfManyFilesReportsThePassesOwnCounters) {
  // Unpaced, most progress messages cannot leave the scanner in time; the report must still
  // count every file and folder of the pass.
  constexpr int kFiles = 3000;
  for (int i = 0; i < kFiles; ++i) {
    device_.WriteFile(
        u"\\My Documents\\many\\f" + platform::Utf8ToUtf16Lossy(std::to_string(i)) + u".txt",
        "clean");
  }
  device_.WriteFile(u"\\My Documents\\many\\sub\\eicar.com", SignatureBytes(kEicarId));
  const RunResult result = Kolvar({"scan", "--json", "\\My Documents\\many"}, "", 120);
  ASSERT_EQ(result.exit_status, 1) << result.err;
  const std::vector<std::string> facts = JsonFacts(result.out);
  EXPECT_EQ(Fact(facts, "files_tested"), std::to_string(kFiles + 1));
  EXPECT_EQ(Fact(facts, "infected_files"), "1");
}

TEST_F(KolvarScanTest, QuarantineActionMovesEveryFileIntoTheRepository) {
  PlantInfections();
  RunResult result = Kolvar({"scan", "--action=quarantine", "--json"});
  ASSERT_EQ(result.exit_status, 1) << result.err;
  EXPECT_EQ(FactsOfKind(JsonFacts(result.out), "infected", 4),
            std::set<std::string>{"quarantined"});
  for (const std::string& path : planted_) {
    const std::u16string device_path(path.begin(), path.end());
    EXPECT_FALSE(device_.Exists(device_path)) << path;
  }
  EXPECT_TRUE(device_.Exists(folder_ + u"\\Quarantine\\%_My Documents_Downloads%@%eicar.com.avq"));
  EXPECT_TRUE(device_.Exists(folder_ + u"\\Quarantine\\%_Storage Card%@%setup.exe.avq"));
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\KVRepository.dat").size(), 3u * 1076u);
  // The clean files stay.
  EXPECT_TRUE(device_.Exists(u"\\Storage Card\\tool.exe"));
  EXPECT_EQ(Kolvar({"scan"}).exit_status, 0) << "the repository is never scanned";
}

TEST_F(KolvarScanTest, SecondCopyWhileOneRunsSaysSoAndEndsWithTwo) {
  PlantInfections();
  // The first copy waits at its first question, holding the user interface's objects.
  std::unique_ptr<RunningKolvar> first = StartKolvar({"scan", "--action=ask"});
  const auto waiting = [&] { return first->Err().find("Action? ") != std::string::npos; };
  for (int i = 0; i < 6000 && !waiting(); ++i) usleep(10000);
  ASSERT_TRUE(waiting()) << first->Err();
  EXPECT_TRUE(platform::ObjectExists(kUserInterfaceEventName));

  RunResult second = Kolvar({"scan"});
  EXPECT_EQ(second.exit_status, 2);
  EXPECT_NE(second.err.find("already running"), std::string::npos) << second.err;

  // "M": this file and every later one to the repository.
  first->Write("v\nM\n");
  RunResult done = first->Wait();
  EXPECT_EQ(done.exit_status, 1) << done.err;
  EXPECT_TRUE(done.err.find(": Kolvar self-test marker") != std::string::npos ||
              done.err.find(": The EICAR anti-malware test file") != std::string::npos)
      << "the virus's description was shown\n"
      << done.err;
  EXPECT_NE(done.err.find("Infected file 1 of 3"), std::string::npos) << done.err;
  EXPECT_EQ(done.err.find("Infected file 2 of 3"), std::string::npos) << "one file asked about";
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\KVRepository.dat").size(), 3u * 1076u);
  EXPECT_FALSE(platform::ObjectExists(kUserInterfaceEventName));

  // The windowed program holds the same mutex.
  platform::Mutex main_program;
  ASSERT_TRUE(main_program.Create(LockName(kMainInstanceLockName)));
  RunResult refused = Kolvar({"scan"});
  EXPECT_EQ(refused.exit_status, 2);
  EXPECT_NE(refused.err.find("already running"), std::string::npos) << refused.err;
}

TEST_F(KolvarScanTest, LeavingTheQuestionsActsOnNoFile) {
  PlantInfections();
  RunResult result = Kolvar({"scan", "--action=ask"}, "d\nx\n");  // then the input ends
  EXPECT_EQ(result.exit_status, 1) << result.err;
  EXPECT_NE(result.err.find("Please answer with one of the letters"), std::string::npos);
  EXPECT_NE(result.out.find("No action was taken"), std::string::npos) << result.out;
  for (const std::string& path : planted_) {
    EXPECT_TRUE(device_.Exists(std::u16string(path.begin(), path.end()))) << path;
  }
}

TEST_F(KolvarScanTest, HostFolderWithSpecialEntriesIsScannedToTheEnd) {
  // The host profile: the device root is "/", the configuration and the registry live in the XDG
  // folders of a home of the test's own, and the programs run from wherever they lie.
  const std::string home = device_.root() + "/home";
  const std::string config_home = home + "/.config";
  fs::create_directories(config_home);
  fs::create_directories(home + "/tmp");
  environment_changes_ = {{"KOLVAR_DEVICE_ROOT", ""},
                          {"HOME", home},
                          {"XDG_CONFIG_HOME", config_home},
                          {"TMPDIR", home + "/tmp"}};
  {
    // The same configuration, written where the host profile keeps it.
    const std::string root = device_.root();
    unsetenv("KOLVAR_DEVICE_ROOT");
    setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
    setenv("HOME", home.c_str(), 1);
    SetConfig("ScanPacing", 0);
    SetConfig("EnableBckScan", 0);
    setenv("KOLVAR_DEVICE_ROOT", root.c_str(), 1);
  }

  const std::string tree = device_.root() + "/host tree";
  fs::create_directories(tree + "/sub/deeper");
  const std::string eicar = SignatureBytes(kEicarId);
  const std::vector<std::string> infected = {tree + "/a.com", tree + "/sub/b.exe",
                                             tree + "/sub/deeper/c.dat", tree + "/unreadable.txt"};
  for (const std::string& path : infected) std::ofstream(path) << eicar;
  std::ofstream(tree + "/clean.txt") << "clean";
  std::ofstream(tree + "/archive.backup.of.last.year.tar") << eicar;  // extension of 24 characters
  chmod((tree + "/unreadable.txt").c_str(), 0);
  const bool unreadable_is_readable = access((tree + "/unreadable.txt").c_str(), R_OK) == 0;
  ASSERT_EQ(mkfifo((tree + "/fifo").c_str(), 0600), 0);
  fs::create_symlink("loop", tree + "/loop");
  fs::create_symlink("a.com", tree + "/link-to-a.com");
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = tree + "/sub/socket";
  ASSERT_LT(socket_path.size(), sizeof(address.sun_path));
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(listener, 1), 0);

  RunResult result = Kolvar({"scan", tree, "--json"}, "", 300);
  close(listener);
  chmod((tree + "/unreadable.txt").c_str(), 0600);
  ASSERT_EQ(result.exit_status, 1) << result.err << result.out;
  const std::vector<std::string> facts = JsonFacts(result.out);
  EXPECT_EQ(Fact(facts, "completed"), "True");
  EXPECT_TRUE(fs::exists(config_home + "/kolvar/kvdaemons.log")) << "the host profile's folders";

  std::set<std::string> expected_infected;
  for (const std::string& path : infected) {
    if (path != tree + "/unreadable.txt" || unreadable_is_readable) expected_infected.insert(path);
  }
  // Host paths are device paths in the host profile (with "\" for "/").
  std::set<std::string> reported;
  for (std::string path : FactsOfKind(facts, "infected", 1)) {
    std::replace(path.begin(), path.end(), '\\', '/');
    reported.insert(path);
  }
  EXPECT_EQ(reported, expected_infected);

  std::set<std::string> untested;
  for (const std::string& fact : facts) {
    if (fact.rfind("untested\t", 0) != 0) continue;
    std::string path = fact.substr(9, fact.find('\t', 9) - 9);
    std::replace(path.begin(), path.end(), '\\', '/');
    untested.insert(path + " (" + fact.substr(fact.rfind('\t') + 1) + ")");
  }
  std::set<std::string> expected_untested = {
      tree + "/fifo (FIFO)", tree + "/loop (symbolic link)",
      tree + "/link-to-a.com (symbolic link)", tree + "/sub/socket (socket)",
      tree +
          "/archive.backup.of.last.year.tar (extension longer than 15 characters, never "
          "tested)"};
  if (!unreadable_is_readable) {
    expected_untested.insert(tree + "/unreadable.txt (cannot be read (error 5: access denied))");
  }
  EXPECT_EQ(untested, expected_untested);
}

}  // namespace
}  // namespace kolvar

namespace kolvar {
namespace {

TEST_F(KolvarScanTest, BackgroundDetectionsAreAnsweredByThePolicy) {
  SetConfig("EnableBckScan", 1);
  PlantInfections();
  RunResult result = Kolvar({"scan", "\\My Documents", "--action=quarantine", "--json"});
  ASSERT_EQ(result.exit_status, 1) << result.err << result.out;
  const std::vector<std::string> facts = JsonFacts(result.out);
  EXPECT_EQ(Fact(facts, "completed"), "True");
  // The scanner asked about each file of the folder and moved it into the repository itself.
  EXPECT_EQ(FactsOfKind(facts, "infected", 1),
            (std::set<std::string>{"\\My Documents\\invoice.txt",
                                   "\\My Documents\\Downloads\\eicar.com"}));
  EXPECT_EQ(FactsOfKind(facts, "infected", 3), std::set<std::string>{"quarantine"});
  EXPECT_EQ(FactsOfKind(facts, "infected", 4), std::set<std::string>{"quarantined"});
  EXPECT_NE(result.out.find("\"source\": \"background\""), std::string::npos);
  EXPECT_FALSE(device_.Exists(u"\\My Documents\\invoice.txt"));
  EXPECT_TRUE(device_.Exists(folder_ + u"\\Quarantine\\%_My Documents%@%invoice.txt.avq"));
  // Each file once: what the pass that ran before the restart at the folder found is not shown.
  EXPECT_EQ(InfectedFacts(facts).size(), 2u) << result.out;
}

// With background scanning on, the scanner outlives each kolvar: a file that a scan reported and
// left alone is reported again by every later scan, once, and a later scan can still act on it.
// Between the scans the scanner asks about the file with no kolvar there to answer (the one that
// ended stopped reading before it detached, or none runs and the stand-in main program ends at
// once); the next kolvar is not to be taken for the one that owed that answer (the scanner once
// took its answer for it and waited for ever: ScannerDetectionTest covers that hang). A detection
// that reaches the next kolvar before its attach is answered by it (with no action) after the
// attach; the scanner once forgot every owed answer at an attach, so that this answer was paired
// with the next detection of the virus, and each later answer with the detection before its own:
// the quarantine answer then went to a detection of the pass after this scan's, and was carried
// out after kolvar had judged the file (about one run in five).
TEST_F(KolvarScanTest, AReportedFileIsReportedAgainByEveryLaterBackgroundScan) {
  SetConfig("EnableBckScan", 1);
  // Between the scans the scanner goes on and finds the file again with no user interface to
  // ask: it starts the main program, here one that ends at once, and goes on.
  fs::copy_file("/bin/true", device_.Host(folder_ + u"\\KVAntivirus"));
  device_.WriteFile(u"\\My Documents\\Downloads\\eicar.com", SignatureBytes(kEicarId));
  device_.WriteFile(u"\\Storage Card\\setup.exe", "MZ" + SignatureBytes(kTestExeId));
  const std::vector<std::vector<std::string>> runs = {
      {"scan", "\\My Documents", "--json"},  // no terminal: files are left alone
      {"scan", "\\My Documents", "--action=ignore", "--json"},
      {"scan", "\\My Documents", "--json"}};
  for (size_t run = 0; run < runs.size(); ++run) {
    SCOPED_TRACE("scan " + std::to_string(run + 1));
    RunResult result = Kolvar(runs[run]);
    EXPECT_EQ(result.exit_status, 1) << result.err << result.out;
    const std::vector<std::string> infected = InfectedFacts(JsonFacts(result.out));
    ASSERT_EQ(infected.size(), 1u) << result.out;
    EXPECT_EQ(infected[0].rfind("infected\t\\My Documents\\Downloads\\eicar.com\t", 0), 0u)
        << infected[0];
    EXPECT_TRUE(device_.Exists(u"\\My Documents\\Downloads\\eicar.com"));
  }
  RunResult moved = Kolvar({"scan", "\\My Documents", "--action=quarantine", "--json"});
  EXPECT_EQ(moved.exit_status, 1) << moved.err << moved.out;
  const std::vector<std::string> infected = InfectedFacts(JsonFacts(moved.out));
  ASSERT_EQ(infected.size(), 1u) << moved.out;
  EXPECT_EQ(FactsOfKind(JsonFacts(moved.out), "infected", 4), std::set<std::string>{"quarantined"});
  EXPECT_FALSE(device_.Exists(u"\\My Documents\\Downloads\\eicar.com"));
}

}  // namespace
}  // namespace kolvar

namespace kolvar {
namespace {

// A folder of named objects that others could reach or have filled is refused, and kolvar says
// which folder and what is wrong with it. Giving files away needs the right to change owners.
TEST_F(KolvarScanTest, ForeignNamespaceFolderIsRefusedWithItsPathAndReason) {
  const struct {
    const char* name;
    bool foreign;
    mode_t folder_mode;
    const char* reason;
  } cases[] = {
      {"open to others", false, 0777, "may be entered by group or others (mode 0777"},
      {"filled by another user", true, 0700, "which belongs to another user (uid 65534)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.foreign && geteuid() != 0) continue;
    const std::string folder = device_.root() + "/names-" + std::to_string(&c - cases);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(chmod(folder.c_str(), c.folder_mode), 0);
    if (c.foreign) {
      for (const char* name : {".lock", "stray"}) {
        const std::string file = folder + "/" + name;
        ASSERT_EQ(close(open(file.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
        ASSERT_EQ(chown(file.c_str(), 65534, -1), 0);
      }
    }
    environment_changes_["KOLVAR_RUNTIME_DIR"] = folder;
    RunResult result = Kolvar({"scan", "\\My Documents"});
    EXPECT_EQ(result.exit_status, 2) << result.err;
    EXPECT_NE(result.err.find("the folder of named objects '" + folder + "' "), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
  }
  environment_changes_.erase("KOLVAR_RUNTIME_DIR");
}

TEST_F(KolvarScanTest, ScannerMessagesAreShownAndALostResultIsNoCleanScan) {
  PlantInfections();
  // The scanner cannot write its result file over a folder of that name.
  device_.MakeFolder(u"\\Temp\\inffile.lst\\held");
  RunResult result = Kolvar({"scan"});
  EXPECT_EQ(result.exit_status, 2) << result.out;
  EXPECT_NE(result.err.find("KVBkgScan: Kolvar Scanner Engine: Error creating file."),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.out.find("did not finish (the scanner's result file could not be read)"),
            std::string::npos)
      << result.out;
}

}  // namespace
}  // namespace kolvar

namespace kolvar {
namespace {

// Both the front end and the scanner it starts open the configuration; the one that finds it
// damaged puts it aside and writes the defaults, and only that one tells.
TEST_F(KolvarScanTest, DamagedConfigurationIsNamedKeptAsideAndReplacedOnce) {
  std::string garbage(3000, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 + 7);
  device_.WriteFile(u"\\Windows\\kvmavcfg.dat", garbage);
  device_.WriteFile(u"\\My Documents\\letter.txt", "nothing to see");

  RunResult first = Kolvar({"scan", "\\My Documents"});
  EXPECT_EQ(first.exit_status, 0) << first.err;
  const std::vector<std::string> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u) << first.err;
  EXPECT_NE(boxes[0].find("kvmavcfg.dat' is damaged ("), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("It was kept as '\\\\Windows\\\\kvmavcfg.dat.damaged' and replaced by "
                          "the default settings."),
            std::string::npos)
      << boxes[0];
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\kvmavcfg.dat.damaged"), garbage);

  RunResult second = Kolvar({"quarantine", "list"});
  EXPECT_EQ(second.exit_status, 0) << second.err;
  EXPECT_EQ(Boxes().size(), 1u) << "the replaced file is whole";
}

}  // namespace
}  // namespace kolvar
