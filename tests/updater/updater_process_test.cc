// KVUpdater over real processes: a package built by kvupdpack replaces the signature database so
// that the next scan finds a file only the new database knows; every refusal (signatures, unsafe
// cabinets, a failing rules library) leaves the install folder and the Windows folder byte for byte
// as they were; and an applier killed at random moments leaves each installed file old or new.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "common/registry_key.h"
#include "platform/cabinet.h"
#include "platform/crypto.h"
#include "platform/kernel_objects.h"
#include "platform/text.h"
#include "scan_engine/scan_channel.h"
#include "tests/updater/updater_test_support.h"
#include "updater/applier_texts.h"
#include "updater/update_package.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

std::string ReadHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A new file in place of the old: the installed programs and data are hard links to the build's.
void WriteHost(const std::string& path, const std::string& bytes) {
  fs::remove(path);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::u16string UpdatesText(const char* key) {
  std::unique_ptr<ConfigurationFile> configuration;
  OpenConfiguration(/*keep_as_is=*/true, &configuration);
  std::u16string text;
  ReadTextValue(configuration->store(), config_keys::kUpdates, key, &text);
  return text;
}

bool UpdatesNumber(const char* key, uint32_t* value) {
  std::unique_ptr<ConfigurationFile> configuration;
  OpenConfiguration(/*keep_as_is=*/true, &configuration);
  return ReadIntegerValue(configuration->store(), config_keys::kUpdates, key, value);
}

class UpdaterProcessTest : public UpdaterTest {
 protected:
  // The files that a database update ships, from a fresh database folder.
  std::vector<std::string> DatabaseFiles(const std::string& database) {
    return {database + "/KVVirusDB.dat=#program#", database + "/KVVirusDBDet.dat=#program#"};
  }
  std::string RulesLibrary() { return device_.Host(folder_) + "/kvmupdrules.so"; }

  // Signs `cabinet` with the publisher key into a package folder beside a built kvmupdi.dat.
  std::string PackageWithCabinet(const std::vector<uint8_t>& cabinet) {
    const std::string package = BuildPackage(
        {"--id", "KVUPD-V30-0002", "--date", "2026-12-01", DatabaseFiles(database_)[0]});
    std::vector<uint8_t> signature;
    std::string error;
    EXPECT_TRUE(platform::SignDetached(cabinet, ReadHost(publisher_key_), &signature, &error))
        << error;
    WriteHost(package + "/kvupdate.cab", std::string(cabinet.begin(), cabinet.end()));
    WriteHost(package + "/kvupdate.cab.sig", std::string(signature.begin(), signature.end()));
    return package;
  }

  std::vector<uint8_t> Cabinet(const std::string& manifest,
                               const std::vector<platform::CabinetFile>& files) {
    std::vector<platform::CabinetFile> all = files;
    all.push_back({updater::kManifestName, {manifest.begin(), manifest.end()}});
    std::vector<uint8_t> cabinet;
    std::string error;
    EXPECT_TRUE(platform::WriteCabinet(all, &cabinet, &error)) << error;
    return cabinet;
  }

  std::string database_ = BuildFreshDatabase();
};

TEST_F(UpdaterProcessTest, PackageReplacesTheDatabaseAndTheNextScanFindsTheNewVirus) {
  device_.WriteFile(u"\\My Documents\\fresh.txt", std::string("head ") + kFreshVirusBytes);
  RunResult before = Kolvar({"scan"});
  EXPECT_EQ(before.exit_status, 0) << before.out << before.err;

  std::vector<std::string> arguments = {"--id",         "KVUPD-V30-0002",
                                        "--date",       "2026-12-01",
                                        "--rules",      RulesLibrary(),
                                        "--set-number", "UPDATES.RequireSignedUpdates=1",
                                        "--history",    "2026-12-01 fresh signatures",
                                        "--history",    "2026-11-01 older signatures"};
  for (const std::string& file : DatabaseFiles(database_)) arguments.push_back(file);
  StagePackage(BuildPackage(arguments));
  // The scan left the background scanner running with the old database; the applier ends it.
  EXPECT_TRUE(platform::ObjectExists(kScannerEventName));
  RunResult applied = Applier();
  EXPECT_FALSE(platform::ObjectExists(kScannerEventName));
  EXPECT_EQ(applied.exit_status, 0) << applied.err;
  EXPECT_TRUE(Boxes().empty()) << Boxes().front();
  EXPECT_NE(applied.err.find("100% Finishing process..."), std::string::npos) << applied.err;

  EXPECT_EQ(device_.ReadFile(folder_ + u"\\KVVirusDB.dat"), ReadHost(database_ + "/KVVirusDB.dat"));
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\KVHistory.upd"),
            "2026-12-01 fresh signatures\n2026-11-01 older signatures\n");
  EXPECT_EQ(UpdatesText(config_keys::kLastUpdateId), u"KVUPD-V30-0002");
  EXPECT_EQ(UpdatesText(config_keys::kLastReleaseDate), u"2026-12-01");
  EXPECT_EQ(UpdatesText(config_keys::kLastUpdateTime), u"Dec 10, 2026 17h:50m");
  uint32_t flag = 1;
  uint32_t required = 0;
  uint32_t size = 0;
  EXPECT_TRUE(UpdatesNumber(config_keys::kFlagUpdateAvailable, &flag));
  EXPECT_EQ(flag, 0u);
  EXPECT_TRUE(UpdatesNumber(config_keys::kRequireSignedUpdates, &required)) << "set by the rules";
  EXPECT_EQ(required, 1u);
  EXPECT_TRUE(UpdatesNumber(config_keys::kLastUpdateFileSize, &size));
  EXPECT_GT(size, 0u);
  // Nothing of the package is left: the download folder is empty, the extraction gone, the
  // package's registration removed.
  EXPECT_TRUE(Snapshot(device_.Host(folder_) + "/_updates_").empty());
  EXPECT_FALSE(device_.Exists(u"\\Temp\\KVUpdate"));
  RegistryKey apps(kRegistryPathRoot, kRegistryRootLocalMachine);
  EXPECT_FALSE(apps.OpenKey(u"SOFTWARE\\Apps\\Kolvar Update Package", false, false));
  EXPECT_FALSE(device_.Exists(u"\\Windows\\AppMgr\\Kolvar Update Package.kvm"));

  RunResult after = Kolvar({"scan"});
  EXPECT_EQ(after.exit_status, 1) << after.out << after.err;
  EXPECT_NE(after.out.find(kFreshVirusName), std::string::npos) << after.out;
}

// A publisher's fresh release folder is made with the folders above it; where a file stands in
// the way the tool names the folder and the cause, and the file stays as it was.
TEST_F(UpdaterProcessTest, KvupdpackMakesAMissingOutputFolderOrSaysWhyItCannot) {
  const std::string base = PublisherFolder("releases");
  const std::string in_the_way = base + "/notes.txt";
  WriteHost(in_the_way, "not a folder");
  const struct {
    std::string out;
    bool made;
  } cases[] = {
      {base + "/2026/12/KVUPD-V30-0002", true},
      {base, true},  // an existing folder, as before
      {in_the_way, false},
      {in_the_way + "/below", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    const RunResult built =
        Tool("kvupdpack", {"build", "--key", publisher_key_, "--id", "KVUPD-V30-0002", "--date",
                           "2026-12-01", "--out", c.out, DatabaseFiles(database_)[0]});
    if (c.made) {
      EXPECT_EQ(built.exit_status, 0) << built.err;
      for (const char* name :
           {"kvupdate.cab", "kvupdate.cab.sig", "kvmupdi.dat", "kvmupdi.dat.sig"}) {
        EXPECT_TRUE(fs::is_regular_file(c.out + "/" + name)) << name;
      }
    } else {
      EXPECT_EQ(built.exit_status, 1);
      EXPECT_NE(built.err.find("kvupdpack: " + c.out + ": the output folder cannot be made: "),
                std::string::npos)
          << built.err;
    }
  }
  EXPECT_EQ(ReadHost(in_the_way), "not a folder");
}

TEST_F(UpdaterProcessTest, EveryRefusalLeavesTheInstalledSuiteAsItWas) {
  const std::string outside = device_.root() + "/outside";
  fs::create_directories(outside);
  fs::create_directories(device_.Host(u"\\Temp"));
  fs::create_directory_symlink(outside, device_.Host(u"\\Temp\\escape"));
  const std::vector<platform::CabinetFile> database = {{"KVVirusDB.dat", {'n', 'e', 'w'}}};
  const std::string header = std::string(updater::kManifestHeader) + "\n";
  const std::string other_key = PublisherFolder("otherkey") + "/other.key";
  ASSERT_EQ(Tool("kvupdpack", {"keygen", other_key}).exit_status, 0);

  struct Case {
    std::string name;
    std::function<std::string()> package;  // returns the package folder
    std::string box;                       // a part of the one error box
  } cases[] = {
      {"flipped signature bit",
       [&] {
         std::string p =
             BuildPackage({"--id", "A-KVUPD-V30", "--date", "d1", DatabaseFiles(database_)[0]});
         std::string sig = ReadHost(p + "/kvupdate.cab.sig");
         sig[5] ^= 0x10;
         WriteHost(p + "/kvupdate.cab.sig", sig);
         return p;
       },
       "does not match any of the publisher keys"},
      {"missing signature",
       [&] {
         std::string p =
             BuildPackage({"--id", "A-KVUPD-V30", "--date", "d1", DatabaseFiles(database_)[0]});
         fs::remove(p + "/kvupdate.cab.sig");
         return p;
       },
       "kvupdate.cab.sig"},
      {"signed by an unknown key",
       [&] {
         return BuildPackage({"--id", "A-KVUPD-V30", "--date", "d1", DatabaseFiles(database_)[0]},
                             other_key);
       },
       "does not match any of the publisher keys"},
      {"traversal in the manifest",
       [&] {
         return PackageWithCabinet(
             Cabinet(header + "KVVirusDB.dat\t#program#\\..\\..\\Windows\n", database));
       },
       "Error 1 installing"},
      {"absolute host folder",
       [&] { return PackageWithCabinet(Cabinet(header + "KVVirusDB.dat\t/etc\n", database)); },
       "Error 1 installing"},
      {"link out of the device",
       [&] {
         return PackageWithCabinet(Cabinet(header + "KVVirusDB.dat\t#temp#\\escape\n", database));
       },
       "Error 1 installing"},
      {"path in a cabinet name",
       [&] {
         return PackageWithCabinet(
             Cabinet(header + "KVVirusDB.dat\t#temp#\\KVUpdate\n", {{"..\\KVVirusDB.dat", {'x'}}}));
       },
       "Error 1 installing"},
      {"unreadable cabinet",
       [&] {
         const std::string junk = "MSCF this is no cabinet that anything can read";
         return PackageWithCabinet(std::vector<uint8_t>(junk.begin(), junk.end()));
       },
       "Error 1 installing"},
      {"rules library refuses in action 1",
       [&] {
         return BuildPackage({"--id", "A-KVUPD-V30", "--date", "d1", "--rules", RulesLibrary(),
                              "--set", "NoSectionDot=1", DatabaseFiles(database_)[0]});
       },
       "Error 13 executing rules dll. Update aborted."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(box_log_);
    StagePackage(c.package());
    const std::map<std::string, std::string> before = InstallSnapshot();
    RunResult refused = Applier();
    EXPECT_EQ(refused.exit_status, 0) << refused.err;
    const std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << refused.err;
    EXPECT_NE(boxes[0].find(c.box), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("Kolvar Updater"), std::string::npos) << boxes[0];
    EXPECT_TRUE(before == InstallSnapshot()) << "the installed suite changed";
    EXPECT_TRUE(Snapshot(outside).empty());
    RegistryKey apps(kRegistryPathRoot, kRegistryRootLocalMachine);
    EXPECT_FALSE(apps.OpenKey(u"SOFTWARE\\Apps\\Kolvar Update Package", false, false));
  }
}

TEST_F(UpdaterProcessTest, TheExtractionFolderNeverCostsAnInstalledFile) {
  const std::string header = std::string(updater::kManifestHeader) + "\n";
  const std::string fresh = ReadHost(database_ + "/KVVirusDB.dat");
  const std::vector<platform::CabinetFile> database = {
      {"KVVirusDB.dat", std::vector<uint8_t>(fresh.begin(), fresh.end())}};
  const struct {
    const char* name;
    std::string manifest_folder;
    std::u16string extracted;
    bool installed;  // the new database is in place afterwards; else the suite is as it was
  } cases[] = {
      // Emptied at the end of the run, a folder that climbs out would take the installed files.
      {"climbs out of the temporary folder", "#temp#\\KVUpdate", u"#temp#\\.." + folder_, false},
      // A package may extract straight to the destination; its files are then the update.
      {"is the destination itself", "#program#", u"#program#", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(box_log_);
    StagePackage(PackageWithCabinet(Cabinet(header + "KVVirusDB.dat\t" + c.manifest_folder + "\n",
                                            database)));
    {
      std::unique_ptr<ConfigurationFile> information;
      ASSERT_TRUE(OpenUpdateInformation(folder_ + u"\\_updates_\\kvmupdi.dat", &information));
      std::u16string value = c.extracted;
      value.push_back(u'\0');
      ASSERT_TRUE(information->store().SetValue(
          updater::kExtracted, 1, static_cast<uint32_t>(value.size() * sizeof(char16_t)),
          value.data(), updater::kRulesInformation));
      ASSERT_TRUE(information->Save());
    }
    const std::map<std::string, std::string> before = InstallSnapshot();
    RunResult run = Applier();
    EXPECT_EQ(run.exit_status, 0) << run.err;
    if (c.installed) {
      EXPECT_EQ(device_.ReadFile(folder_ + u"\\KVVirusDB.dat"), fresh);
    } else {
      EXPECT_TRUE(before == InstallSnapshot()) << "the installed suite changed";
      const std::vector<std::string> boxes = Boxes();
      ASSERT_FALSE(boxes.empty()) << run.err;
      EXPECT_NE(boxes[0].find("Error reading kvmupdi.dat"), std::string::npos) << boxes[0];
    }
  }
}

TEST_F(UpdaterProcessTest, AnApplierKilledAtAnyMomentLeavesEveryFileOldOrNew) {
  const std::string package = BuildPackage([&] {
    std::vector<std::string> arguments = {"--id",       "KVUPD-V30-0002", "--date",
                                          "2026-12-01", "--rules",        RulesLibrary()};
    for (const std::string& file : DatabaseFiles(database_)) arguments.push_back(file);
    return arguments;
  }());
  const std::string install = device_.Host(folder_);
  const std::map<std::string, std::string> old_files = {
      {"KVVirusDB.dat", ReadHost(install + "/KVVirusDB.dat")},
      {"KVVirusDBDet.dat", ReadHost(install + "/KVVirusDBDet.dat")},
      {"kvmavcfg.dat", ReadHost(device_.Host(u"\\Windows\\kvmavcfg.dat"))}};
  const std::map<std::string, std::string> new_files = {
      {"KVVirusDB.dat", ReadHost(database_ + "/KVVirusDB.dat")},
      {"KVVirusDBDet.dat", ReadHost(database_ + "/KVVirusDBDet.dat")}};
  std::mt19937 random(20261210);
  std::uniform_int_distribution<int> moment_ms(0, 3000);
  int completed = 0;
  int replaced = 0;  // files found new after a kill
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    for (const auto& [name, bytes] : old_files) {
      WriteHost(
          name == "kvmavcfg.dat" ? device_.Host(u"\\Windows\\kvmavcfg.dat") : install + "/" + name,
          bytes);
    }
    StagePackage(package);
    std::unique_ptr<RunningKolvar> applier = StartApplier();
    std::this_thread::sleep_for(std::chrono::milliseconds(moment_ms(random)));
    kill(applier->pid(), SIGKILL);
    if (applier->Wait(60).exit_status == 0) ++completed;
    device_.KillDeviceProcesses();  // an installer it left running
    for (const auto& [name, bytes] : new_files) {
      const std::string now = ReadHost(install + "/" + name);
      EXPECT_TRUE(now == old_files.at(name) || now == bytes) << name << " is torn";
      if (now == bytes) ++replaced;
    }
    std::unique_ptr<ConfigurationFile> configuration;
    EXPECT_TRUE(OpenConfiguration(/*keep_as_is=*/true, &configuration)) << "configuration whole";
    EXPECT_TRUE(configuration->damage_notice().empty());
  }
  RecordProperty("completed_rounds", completed);
  RecordProperty("files_found_new", replaced);
}

TEST_F(UpdaterProcessTest, UnsignedPackagesPassOnlyWhenAnAdministratorAllowsThem) {
  std::vector<std::string> arguments = {"--id", "KVUPD-V30-0002", "--date", "2026-12-01"};
  for (const std::string& file : DatabaseFiles(database_)) arguments.push_back(file);
  const std::string package = BuildPackage(arguments);
  fs::remove(package + "/kvupdate.cab.sig");
  for (const bool required : {true, false}) {
    SCOPED_TRACE(required ? "required" : "allowed");
    fs::remove(box_log_);
    StagePackage(package);
    {
      std::unique_ptr<ConfigurationFile> configuration;
      OpenConfiguration(/*keep_as_is=*/true, &configuration);
      const uint32_t value = required ? 1 : 0;
      ConfigStore& store = configuration->store();
      if (!store.SetValue(config_keys::kRequireSignedUpdates, 2, sizeof value, &value,
                          config_keys::kUpdates)) {
        ASSERT_TRUE(store.SelectSection(config_keys::kUpdates));
        ASSERT_TRUE(store.AddValue(config_keys::kRequireSignedUpdates, 2, sizeof value, &value));
      }
      ASSERT_TRUE(configuration->Save());
    }
    RunResult run = Applier();
    EXPECT_EQ(run.exit_status, 0) << run.err;
    const std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << run.err;
    EXPECT_NE(boxes[0].find(required ? "not signed by the publisher" : "RequireSignedUpdates is 0"),
              std::string::npos)
        << boxes[0];
    EXPECT_EQ(
        device_.ReadFile(folder_ + u"\\KVVirusDB.dat") == ReadHost(database_ + "/KVVirusDB.dat"),
        !required);
  }
}

TEST_F(UpdaterProcessTest, TheInstallerIsStartedFromTheWindowsFolderUnderItsRegisteredName) {
  std::vector<std::string> arguments = {"--id", "KVUPD-V30-0002", "--date", "2026-12-01"};
  for (const std::string& file : DatabaseFiles(database_)) arguments.push_back(file);
  const std::string package = BuildPackage(arguments);
  const std::string installer = device_.Host(folder_) + "/wceload";
  const std::string windows = device_.Host(u"\\Windows");
  // Only the Windows folder holds an installer, so a run that installs found it there.
  fs::copy_file(installer, device_.root() + "/installer");
  fs::remove(installer);
  const struct {
    const char* name;
    std::u16string command;    // registered; empty: nothing registered
    std::string windows_name;  // the installer's name in the Windows folder
    std::string box;           // empty: the update is installed
  } cases[] = {
      {"nothing registered", u"", "wceload", ""},
      {"as setup registers it", config_keys::kInstallerCommand, "wceload", ""},
      {"another registered name", u"kvinstall \"%1\"", "kvinstall", ""},
      {"registered name missing", u"kvinstall \"%1\"", "wceload",
       "Error 2 startig kvinstall. Update aborted."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(box_log_);
    for (const char* name : {"wceload", "kvinstall"}) fs::remove(windows + "/" + name);
    fs::copy_file(device_.root() + "/installer", windows + "/" + c.windows_name);
    RegistryKey classes(kRegistryPathRoot, kRegistryRootClassesRoot);
    if (classes.OpenKey(u"cabfile", false, false)) classes.DeleteSubkey(u"Shell");
    if (!c.command.empty()) {
      ASSERT_TRUE(classes.OpenKey(config_keys::kInstallerCommandKey, false, true));
      std::u16string text = c.command + u'\0';
      ASSERT_TRUE(classes.SetValue(config_keys::kInstallerCommandValue, 1, text.data(),
                                   static_cast<uint32_t>(text.size() * sizeof(char16_t))));
    }
    WriteHost(device_.Host(folder_) + "/KVVirusDB.dat", "old");
    StagePackage(package);
    RunResult run = Applier();
    EXPECT_EQ(run.exit_status, 0) << run.err;
    const std::vector<std::string> boxes = Boxes();
    if (c.box.empty()) {
      EXPECT_TRUE(boxes.empty()) << boxes.front();
      EXPECT_EQ(device_.ReadFile(folder_ + u"\\KVVirusDB.dat"),
                ReadHost(database_ + "/KVVirusDB.dat"));
    } else {
      ASSERT_EQ(boxes.size(), 1u) << run.err;
      EXPECT_NE(boxes[0].find(c.box), std::string::npos) << boxes[0];
      EXPECT_EQ(device_.ReadFile(folder_ + u"\\KVVirusDB.dat"), "old");
    }
  }
}

TEST_F(UpdaterProcessTest, TheWindowShowsTheRunAndAnUnreachableDisplayFallsBackToStandardError) {
  std::vector<std::string> arguments = {"--id", "KVUPD-V30-0002", "--date", "2026-12-01"};
  for (const std::string& file : DatabaseFiles(database_)) arguments.push_back(file);
  const std::string package = BuildPackage(arguments);
  const struct {
    const char* name;
    std::map<std::string, std::string> environment;
    bool window;
  } cases[] = {
      {"a window", {{"QT_QPA_PLATFORM", "offscreen"}}, true},
      // No X server listens on this display.
      {"a display nobody serves", {{"DISPLAY", ":4093"}}, false},
      {"no display", {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(box_log_);
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      environment_changes_[name] = "";
    }
    for (const auto& [name, value] : c.environment) environment_changes_[name] = value;
    WriteHost(device_.Host(folder_) + "/KVVirusDB.dat", "old");
    StagePackage(package);
    RunResult run = Applier();
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_TRUE(Boxes().empty()) << Boxes().front();
    EXPECT_EQ(device_.ReadFile(folder_ + u"\\KVVirusDB.dat"),
              ReadHost(database_ + "/KVVirusDB.dat"));
    EXPECT_EQ(UpdatesText(config_keys::kLastUpdateId), u"KVUPD-V30-0002");
    EXPECT_EQ(run.err.find("100% Finishing process...") == std::string::npos, c.window) << run.err;
    EXPECT_EQ(run.err.find("no display can be reached") != std::string::npos,
              c.environment.count("DISPLAY") == 1)
        << run.err;
  }
}

TEST_F(UpdaterProcessTest, ASecondApplierLeavesTheRunningOneAlone) {
  std::vector<std::string> arguments = {"--id", "KVUPD-V30-0002", "--date", "2026-12-01"};
  for (const std::string& file : DatabaseFiles(database_)) arguments.push_back(file);
  StagePackage(BuildPackage(arguments));
  std::unique_ptr<RunningKolvar> first = StartApplier();
  first->CloseInput();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!platform::ObjectExists(updater::kSingleInstanceMutex) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  RunResult second = Applier();
  EXPECT_EQ(second.exit_status, 0);
  EXPECT_NE(second.err.find("already being installed"), std::string::npos) << second.err;
  EXPECT_EQ(second.err.find("Initializing"), std::string::npos) << second.err;
  RunResult finished = first->Wait(120);
  EXPECT_EQ(finished.exit_status, 0) << finished.err;
  EXPECT_NE(finished.err.find("100% Finishing process..."), std::string::npos) << finished.err;
  EXPECT_EQ(UpdatesText(config_keys::kLastUpdateId), u"KVUPD-V30-0002");
}

}  // namespace
}  // namespace kolvar
