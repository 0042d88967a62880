// `kolvar update` over real processes: kolvar in a device image against a real HTTP server on
// 127.0.0.1, the publisher's files signed in the test, and a stand-in updater installed as
// KVUpdater. What a person at a terminal sees (the exit status, the lines), what the updater is
// given, and that every refusal leaves the installation folder and the configuration as they
// were.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/path.h"
#include "platform/text.h"
#include "tests/antivirus/front_end_test_support.h"
#include "tests/testing/http_server.h"
#include "tests/testing/update_publisher.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;
namespace keys = config_keys;

constexpr char16_t kServerFolder[] = u"\\Temp\\www";
constexpr char16_t kConfigPath[] = u"\\Windows\\kvmavcfg.dat";
constexpr char16_t kRunsFile[] = u"\\Temp\\updater-runs.txt";

class KolvarUpdateTest : public FrontEndTest {
 protected:
  KolvarUpdateTest() : publisher_(device_, kServerFolder) {
    environment_changes_["no_proxy"] = "127.0.0.1,localhost";
    environment_changes_["NO_PROXY"] = "127.0.0.1,localhost";
    device_.WriteFile(platform::JoinPath(folder_, keys::kUpdateKeysFileName),
                      publisher_.public_key());
    publisher_.Publish();
    server_ = std::make_unique<testing::TestHttpServer>(device_.Host(kServerFolder));
    SetUpdatesText(keys::kUpdateUrl, platform::Utf8ToUtf16Lossy(server_->Url()));
    SetUpdatesText(keys::kLastReleaseDate, u"2026-11-01");
    device_.WriteFile(platform::JoinPath(folder_, u"KVHistory.upd"), "L000 first update\n");
  }

  void InstallStandInUpdater() {
    fs::copy_file(testing::BinDir() + "/update_test_updater",
                  device_.Host(platform::JoinPath(folder_, u"KVUpdater")));
  }

  void SetUpdatesText(const char* key, std::u16string_view text) {
    std::unique_ptr<ConfigurationFile> configuration;
    OpenConfiguration(/*keep_as_is=*/false, &configuration);
    ConfigStore& store = configuration->store();
    const uint32_t size = static_cast<uint32_t>(text.size() * 2);
    if (!store.SetValue(key, kConfigTypeText, size, text.data(), keys::kUpdates)) {
      ASSERT_TRUE(store.SelectSection(keys::kUpdates));
      ASSERT_TRUE(store.AddValue(key, kConfigTypeText, size, text.data()));
    }
    ASSERT_TRUE(configuration->Save());
  }

  std::u16string UpdatesText(const char* key) {
    std::unique_ptr<ConfigurationFile> configuration;
    OpenConfiguration(/*keep_as_is=*/true, &configuration);
    std::u16string text;
    ReadTextValue(configuration->store(), keys::kUpdates, key, &text);
    return text;
  }

  // Every file of the installation folder (its download folder included) and the configuration,
  // by name, with its bytes. The verified information file that a run keeps in the download
  // folder is the run's own trace, not part of the installation.
  std::map<std::string, std::string> Installation() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(device_.Host(folder_))) {
      if (!entry.is_regular_file()) continue;
      if (entry.path().parent_path().filename() == "_updates_" &&
          entry.path().filename() == "kvmupdi.dat") {
        continue;
      }
      std::ifstream in(entry.path(), std::ios::binary);
      std::string bytes(static_cast<size_t>(entry.file_size()), '\0');
      in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      files[entry.path().string()] = std::move(bytes);
    }
    files["config"] = device_.ReadFile(kConfigPath);
    return files;
  }

  // Runs kolvar once so that it records its installation folder, as an installed suite has.
  void SettleInstallation() {
    const RunResult result = Kolvar({"quarantine", "list"});
    ASSERT_EQ(result.exit_status, 0) << result.err;
  }

  testing::UpdatePublisher publisher_;
  std::unique_ptr<testing::TestHttpServer> server_;
};

TEST_F(KolvarUpdateTest, UpdateDownloadsStartsTheUpdaterAndTellsWhatWasInstalled) {
  InstallStandInUpdater();
  const RunResult result = Kolvar({"update"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, "Installed update KVUPD-V30-0007 of 2026-12-01 (19.53 KB).\n");
  EXPECT_NE(result.err.find("Download successful"), std::string::npos) << result.err;
  // The updater was given the cabinet's full device path, with the cabinet and its signature.
  EXPECT_EQ(device_.ReadFile(kRunsFile),
            platform::Utf16ToUtf8(folder_) + "\\_updates_\\kvupd0007.cab\t1\t1\n");
  EXPECT_EQ(UpdatesText(keys::kLastUpdateId), u"KVUPD-V30-0007");
  EXPECT_EQ(UpdatesText(keys::kUpdateExec), u"kvupd0007.cab");
}

TEST_F(KolvarUpdateTest, CheckOnlyTellsWhatIsOfferedAndChangesNothing) {
  SettleInstallation();
  const auto before = Installation();
  RunResult result = Kolvar({"update", "--check"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, "Update offered: KVUPD-V30-0007 of 2026-12-01\n");
  EXPECT_EQ(Installation(), before);
  EXPECT_EQ(server_->Requests(), (std::vector<std::string>{"kvmupdi.dat", "kvmupdi.dat.sig"}));

  testing::UpdateOffer none;
  none.id = u"NONE";
  publisher_.Publish(none);
  result = Kolvar({"update", "--check"});
  EXPECT_EQ(result.exit_status, 1) << result.err;
  EXPECT_EQ(result.out, "No update available to download.\n");
}

// Every refusal over the terminal: its exit status and words, the updater never started, and the
// installation folder (with the download folder) and the configuration byte for byte as before.
TEST_F(KolvarUpdateTest, RefusalsLeaveTheInstallationAsItWas) {
  InstallStandInUpdater();
  SettleInstallation();
  const struct {
    const char* name;
    std::function<void()> arrange;
    int exit_status;
    std::string words;  // in the output or the messages
  } cases[] = {
      {"none offered",
       [&] {
         testing::UpdateOffer offer;
         offer.id = u"NONE";
         publisher_.Publish(offer);
       },
       0, "No update available to download."},
      {"other product line",
       [&] {
         testing::UpdateOffer offer;
         offer.id = u"KVUPD-V40-0001";
         publisher_.Publish(offer);
       },
       0, "No update available to download."},
      {"same release date",
       [&] {
         testing::UpdateOffer offer;
         offer.date = u"2026-11-01";
         publisher_.Publish(offer);
       },
       0, "has already been updated."},
      {"server stops mid-download",
       [&] {
         publisher_.Publish();
         server_->SetRules("stop kvupd0007.cab 9000\n");
       },
       2, "Error downloading data."},
      {"bad signature",
       [&] {
         publisher_.Publish();
         publisher_.Serve(u"kvupd0007.cab.sig",
                          testing::UpdatePublisher::Sign("other", publisher_.private_key()));
       },
       2, "The update was refused: 'kvupd0007.cab' is not signed by a publisher key"},
      {"missing signature",
       [&] {
         publisher_.Publish();
         server_->SetRules("status kvmupdi.dat.sig 404\n");
       },
       2, "The update was refused: 'kvmupdi.dat' carries no signature"},
      {"unknown key",
       [&] {
         publisher_.Publish();
         publisher_.Serve(
             u"kvmupdi.dat.sig",
             testing::UpdatePublisher::Sign(publisher_.information(), publisher_.stranger_key()));
       },
       2, "The update was refused: 'kvmupdi.dat' is not signed by a publisher key"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!server_->Running()) {
      server_ = std::make_unique<testing::TestHttpServer>(device_.Host(kServerFolder));
      SetUpdatesText(keys::kUpdateUrl, platform::Utf8ToUtf16Lossy(server_->Url()));
      SettleInstallation();
    }
    server_->SetRules("");
    c.arrange();
    const auto before = Installation();
    const RunResult result = Kolvar({"update"});
    EXPECT_EQ(result.exit_status, c.exit_status) << result.err;
    EXPECT_NE((result.out + result.err).find(c.words), std::string::npos)
        << result.out << result.err;
    EXPECT_EQ(Installation(), before);
    EXPECT_FALSE(device_.Exists(kRunsFile));
  }
}

TEST_F(KolvarUpdateTest, MissingUpdaterIsReportedAndTheHistoryKeptFromItsBackup) {
  const std::u16string history = platform::JoinPath(folder_, u"KVHistory.upd");
  device_.WriteFile(history + u"~", "L000 saved history\n");
  device_.WriteFile(history, "L000 half writt");
  const RunResult result = Kolvar({"update"});
  EXPECT_EQ(result.exit_status, 2) << result.err;
  EXPECT_NE(result.err.find("Error trying to execute:"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("KVUpdater. Please reinstall!"), std::string::npos) << result.err;
  EXPECT_EQ(device_.ReadFile(history), "L000 saved history\n");
  EXPECT_FALSE(device_.Exists(history + u"~"));
}

TEST_F(KolvarUpdateTest, UnsignedServerIsTakenOnlyWhenAllowedAndThenWarned) {
  InstallStandInUpdater();
  server_->SetRules("status kvmupdi.dat.sig 404\nstatus kvupd0007.cab.sig 404\n");
  RunResult result = Kolvar({"update"});
  EXPECT_EQ(result.exit_status, 2) << result.err;
  EXPECT_FALSE(device_.Exists(kRunsFile));

  std::unique_ptr<ConfigurationFile> configuration;
  OpenConfiguration(/*keep_as_is=*/false, &configuration);
  const uint32_t off = 0;
  ASSERT_TRUE(configuration->store().SelectSection(keys::kUpdates));
  ASSERT_TRUE(configuration->store().AddValue(keys::kRequireSignedUpdates, kConfigTypeInteger,
                                              sizeof off, &off));
  ASSERT_TRUE(configuration->Save());
  result = Kolvar({"update"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_NE(result.err.find("Warning: RequireSignedUpdates is 0"), std::string::npos) << result.err;
  EXPECT_TRUE(device_.Exists(kRunsFile));
}

TEST_F(KolvarUpdateTest, UsageErrorsAreNamed) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"update", "now"}, {"update", "--json"}, {"scan", "--check"}}) {
    const RunResult result = Kolvar(args);
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_NE(result.err.find("kolvar: "), std::string::npos) << result.err;
  }
}

}  // namespace
}  // namespace kolvar
