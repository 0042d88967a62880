// The applier's process test fixture (see the header).
#include "tests/updater/updater_test_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/text.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

std::string Hex(std::string_view bytes) {
  std::string out;
  char digits[4];
  for (unsigned char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02X ", c);
    out += digits;
  }
  return out;
}

std::string ReadHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void SetText(ConfigStore& store, const char* key, std::u16string text) {
  text.push_back(u'\0');
  const auto size = static_cast<uint32_t>(text.size() * sizeof(char16_t));
  if (!store.SetValue(key, 1, size, text.data(), config_keys::kUpdates)) {
    ASSERT_TRUE(store.SelectSection(config_keys::kUpdates));
    ASSERT_TRUE(store.AddValue(key, 1, size, text.data()));
  }
}

void SetNumber(ConfigStore& store, const char* key, uint32_t value) {
  if (!store.SetValue(key, 2, sizeof value, &value, config_keys::kUpdates)) {
    ASSERT_TRUE(store.SelectSection(config_keys::kUpdates));
    ASSERT_TRUE(store.AddValue(key, 2, sizeof value, &value));
  }
}

}  // namespace

UpdaterTest::UpdaterTest() {
  device_.InstallPrograms({"KVUpdater", "wceload", "kvupdpack", "kvsigtool", "kvmupdrules.so"});
  // The applier writes its progress to standard error unless a test gives it a display.
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    environment_changes_[name] = "";
  }
  // The install folder as the programs find it (the test process is not one of them).
  {
    std::unique_ptr<ConfigurationFile> configuration;
    OpenConfiguration(/*keep_as_is=*/false, &configuration);
    std::u16string install_dir = folder_ + u"\\";
    install_dir.push_back(u'\0');
    ConfigStore& store = configuration->store();
    EXPECT_TRUE(store.SetValue(config_keys::kInstallDir, 1,
                               static_cast<uint32_t>(install_dir.size() * sizeof(char16_t)),
                               install_dir.data(), config_keys::kBasic));
    EXPECT_TRUE(configuration->Save());
  }
  publisher_key_ = PublisherFolder("keys") + "/publisher.key";
  RunResult keygen = Tool("kvupdpack", {"keygen", publisher_key_});
  EXPECT_EQ(keygen.exit_status, 0) << keygen.err;
  device_.WriteFile(folder_ + u"\\kvupdate.pub", ReadHost(publisher_key_ + ".pub"));
}

RunResult UpdaterTest::Tool(const std::string& name, const std::vector<std::string>& arguments,
                            double seconds) {
  std::unique_ptr<RunningKolvar> running = StartProgram(name, arguments);
  running->CloseInput();
  return running->Wait(seconds);
}

std::string UpdaterTest::PublisherFolder(const std::string& name) {
  const std::string folder =
      device_.root() + "/publisher/" + name + "-" + std::to_string(++folders_);
  fs::create_directories(folder);
  return folder;
}

std::string UpdaterTest::BuildFreshDatabase() {
  const std::string folder = PublisherFolder("database");
  std::string source =
      ReadHost(std::string(KOLVAR_SOURCE_DIR) + "/signatures/sample_signatures.txt");
  source += std::string("\nsignature 5001 | ") + kFreshVirusName + " | any | " +
            Hex(kFreshVirusBytes) + "\ndescribe 5001 | A test file that only the update knows.\n" +
            "recommend 5001 | Delete it.\n";
  std::ofstream(folder + "/source.txt", std::ios::binary) << source;
  RunResult built = Tool("kvsigtool", {"build", folder + "/source.txt", folder});
  EXPECT_EQ(built.exit_status, 0) << built.err;
  return folder;
}

std::string UpdaterTest::BuildPackage(const std::vector<std::string>& arguments,
                                      const std::string& key) {
  const std::string folder = PublisherFolder("package");
  std::vector<std::string> command = {"build", "--key", key.empty() ? publisher_key_ : key, "--out",
                                      folder};
  command.insert(command.end(), arguments.begin(), arguments.end());
  RunResult built = Tool("kvupdpack", command);
  EXPECT_EQ(built.exit_status, 0) << built.err;
  return folder;
}

void UpdaterTest::StagePackage(const std::string& package) {
  const std::string updates = device_.Host(folder_) + "/_updates_";
  fs::create_directories(updates);
  for (const char* name : {"kvupdate.cab", "kvupdate.cab.sig", "kvmupdi.dat"}) {
    fs::remove(updates + "/" + name);
    if (fs::exists(package + "/" + name)) {
      fs::copy_file(package + "/" + name, updates + "/" + name,
                    fs::copy_options::overwrite_existing);
    }
  }
  cabinet_device_path_ = platform::Utf16ToUtf8(folder_) + "\\_updates_\\kvupdate.cab";
  std::unique_ptr<ConfigurationFile> configuration;
  OpenConfiguration(/*keep_as_is=*/true, &configuration);
  ConfigStore& store = configuration->store();
  SetText(store, config_keys::kUpdateExec, u"kvupdate.cab");
  SetText(store, config_keys::kUpdateId, u"KVUPD-V30-0002");
  SetText(store, config_keys::kReleaseDate, u"2026-12-01");
  SetText(store, config_keys::kUpdateTime, u"Dec 10, 2026 17h:50m");
  SetNumber(store, config_keys::kUpdateFileSize,
            static_cast<uint32_t>(fs::file_size(package + "/kvupdate.cab")));
  SetNumber(store, config_keys::kFlagUpdateAvailable, 1);
  ASSERT_TRUE(configuration->Save());
}

std::unique_ptr<RunningKolvar> UpdaterTest::StartApplier() {
  return StartProgram("KVUpdater", {cabinet_device_path_});
}

RunResult UpdaterTest::Applier(double seconds) {
  std::unique_ptr<RunningKolvar> running = StartApplier();
  running->CloseInput();
  return running->Wait(seconds);
}

std::map<std::string, std::string> UpdaterTest::Snapshot(const std::string& host_folder) const {
  std::map<std::string, std::string> files;
  if (!fs::exists(host_folder)) return files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(host_folder)) {
    const std::string relative = fs::relative(entry.path(), host_folder).string();
    if (entry.is_symlink()) {
      files[relative] = "->" + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      files[relative] = ReadHost(entry.path().string());
    } else if (entry.is_directory()) {
      files[relative + "/"] = "";
    }
  }
  return files;
}

std::map<std::string, std::string> UpdaterTest::InstallSnapshot() const {
  std::map<std::string, std::string> files;
  for (const auto& [path, bytes] : Snapshot(device_.Host(folder_)))
    files["install/" + path] = bytes;
  files["configuration"] = ReadHost(device_.Host(u"\\Windows\\kvmavcfg.dat"));
  return files;
}

}  // namespace kolvar
