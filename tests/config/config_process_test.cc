// The configuration file shared by real programs: saves seen by another program, a program killed
// in the middle of a save, and the first and later starts of a program that may have moved.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/file.h"
#include "platform/process.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

namespace keys = config_keys;
using platform::Process;
using platform::WaitResult;

constexpr char16_t kConfigPath[] = u"\\Windows\\kvmavcfg.dat";

// Runs the probe from the device image to its end and returns its exit code.
uint32_t RunProbe(const std::u16string& program, const std::u16string& command_line) {
  Process process;
  EXPECT_TRUE(Process::Start(program, command_line, {}, &process));
  EXPECT_EQ(process.Wait(60000), WaitResult::kSignaled);
  uint32_t exit_code = 999;
  EXPECT_TRUE(process.GetExitCode(&exit_code));
  return exit_code;
}

uint32_t Integer(ConfigStore& store, const char* section, const char* key) {
  uint32_t value = 0xDEADBEEF, size = sizeof value;
  EXPECT_TRUE(store.GetValue(key, &size, &value, section)) << key;
  return value;
}

std::u16string Text(ConfigStore& store, const char* section, const char* key) {
  uint32_t size = 0;
  EXPECT_TRUE(store.GetValue(key, &size, nullptr, section)) << key;
  std::u16string text(size / 2, u'\0');
  EXPECT_TRUE(store.GetValue(key, &size, text.data(), section));
  return text;
}

// Every key but one, with type and bytes, for comparing two loads.
std::string DumpExcept(ConfigStore& store, const std::string& skipped_key) {
  std::string out;
  if (!store.FirstSection()) return out;
  do {
    const std::string section = store.CurrentSectionName();
    store.SelectSection(section.c_str());
    if (!store.FirstKey()) continue;
    do {
      const std::string key = store.CurrentKeyName();
      if (key == skipped_key) continue;
      uint32_t type = 0, size = 0;
      store.GetValueInfo(key.c_str(), &type, &size);
      std::string value(size, '\0');
      store.GetValue(key.c_str(), &size, value.data());
      out += section + "/" + key + ":" + std::to_string(type) + ":" + value + "\n";
    } while (store.NextKey());
  } while (store.NextSection());
  return out;
}

std::unique_ptr<ConfigurationFile> LoadConfiguration(const std::u16string& path) {
  auto file = std::make_unique<ConfigurationFile>(ConfigStore::kConfigurationName,
                                                  KeyMaterialUse::kConfiguration);
  EXPECT_TRUE(file->store().Load(path, false)) << file->store().GetStatus();
  return file;
}

class ConfigProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = device_.InstallPrograms({"config_probe"}); }
  std::u16string Probe() const { return folder_ + u"\\config_probe"; }

  testing::TestDevice device_;
  std::u16string folder_;
};

TEST_F(ConfigProcessTest, SaveByOneProgramIsSeenByAnother) {
  ConfigurationFile b(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  const uint32_t off = 0;
  ASSERT_TRUE(b.store().AddSection(keys::kConfig));
  ASSERT_TRUE(b.store().AddValue(keys::kEnableBckScan, 2, 4, &off));
  ASSERT_TRUE(b.store().Save(kConfigPath));
  EXPECT_FALSE(b.store().IsModifiedElsewhere());

  // Program A saves; its own flag stays false (exit code 0).
  EXPECT_EQ(RunProbe(Probe(), u"save \\Windows\\kvmavcfg.dat CONFIG EnableBckScan 1"), 0u);

  EXPECT_TRUE(b.store().IsModifiedElsewhere());
  EXPECT_EQ(Integer(b.store(), keys::kConfig, keys::kEnableBckScan), 0u);
  ASSERT_TRUE(b.store().Load(kConfigPath, true));
  EXPECT_EQ(Integer(b.store(), keys::kConfig, keys::kEnableBckScan), 1u);
  EXPECT_FALSE(b.store().IsModifiedElsewhere());

  // B's own save is no change for B, but one for the next program.
  ASSERT_TRUE(b.store().Save(kConfigPath));
  EXPECT_FALSE(b.store().IsModifiedElsewhere());
  EXPECT_EQ(RunProbe(Probe(), u"save \\Windows\\kvmavcfg.dat CONFIG EnableBckScan 0"), 0u);
  EXPECT_TRUE(b.store().IsModifiedElsewhere());
}

TEST_F(ConfigProcessTest, ProgramKilledDuringSaveLeavesAFileThatLoads) {
  const std::u16string path = u"\\Windows\\busy.dat";
  std::mt19937 random(12345);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    Process saver;
    ASSERT_TRUE(Process::Start(Probe(), u"saveloop \\Windows\\busy.dat", {}, &saver));
    // Let it save at least once, then kill it somewhere inside a later save.
    for (int i = 0; i < 300 && !device_.Exists(path); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(device_.Exists(path));
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 200));
    ASSERT_TRUE(saver.Terminate());
    ASSERT_EQ(saver.Wait(30000), WaitResult::kSignaled);

    std::unique_ptr<ConfigurationFile> file = LoadConfiguration(path);
    uint32_t size = 0;
    EXPECT_TRUE(file->store().GetValue("Data", &size, nullptr, "BULK"));
    EXPECT_EQ(size, 1u << 20);
    EXPECT_GE(Integer(file->store(), "CONFIG", "Saves"), 1u);
    platform::DeleteFile(path);
  }
}

TEST_F(ConfigProcessTest, FirstStartCreatesDefaultsAndLaterStartsFollowAMove) {
  ASSERT_EQ(RunProbe(Probe(), u"open"), 0u);
  ASSERT_TRUE(device_.Exists(kConfigPath));
  const std::string first_image = device_.ReadFile(kConfigPath);
  {
    std::unique_ptr<ConfigurationFile> file = LoadConfiguration(kConfigPath);
    ConfigStore& store = file->store();
    EXPECT_EQ(store.SectionCount(), 3u);
    for (const auto& [section, count] :
         {std::pair{keys::kBasic, 3}, std::pair{keys::kConfig, 5}, std::pair{keys::kUpdates, 19}}) {
      ASSERT_TRUE(store.SelectSection(section));
      EXPECT_EQ(store.KeyCount(), count) << section;
    }
    EXPECT_EQ(Text(store, keys::kBasic, keys::kInstallDir), u"\\Program Files\\Kolvar\\");
  }

  // A second start from the same folder changes nothing.
  ASSERT_EQ(RunProbe(Probe(), u"open"), 0u);
  EXPECT_TRUE(device_.ReadFile(kConfigPath) == first_image);

  // Moved: only InstallDir follows the program.
  device_.MakeFolder(u"\\Program Files\\Moved");
  std::filesystem::copy_file(testing::BinDir() + "/config_probe",
                             device_.Host(u"\\Program Files\\Moved\\config_probe"));
  ASSERT_EQ(RunProbe(u"\\Program Files\\Moved\\config_probe", u"open"), 0u);
  std::unique_ptr<ConfigurationFile> before = std::make_unique<ConfigurationFile>(
      ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  device_.WriteFile(u"\\Temp\\first.dat", first_image);
  ASSERT_TRUE(before->store().Load(u"\\Temp\\first.dat", false));
  std::unique_ptr<ConfigurationFile> after = LoadConfiguration(kConfigPath);
  EXPECT_EQ(Text(after->store(), keys::kBasic, keys::kInstallDir), u"\\Program Files\\Moved\\");
  EXPECT_EQ(DumpExcept(after->store(), keys::kInstallDir),
            DumpExcept(before->store(), keys::kInstallDir));
}

}  // namespace
}  // namespace kolvar
