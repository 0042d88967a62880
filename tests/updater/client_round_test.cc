// The whole update round over real processes: a package built by kvupdpack and served by a real
// HTTP server on 127.0.0.1, fetched and checked by `kolvar update`, installed by the updater it
// starts, after which the next scan finds the virus that only the new database knows.
#include <gtest/gtest.h>

#include <string>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/text.h"
#include "tests/testing/http_server.h"
#include "tests/updater/updater_test_support.h"

namespace kolvar {
namespace {

class ClientRoundTest : public UpdaterTest {
 protected:
  void SetUpdateUrl(const std::string& url) {
    std::unique_ptr<ConfigurationFile> configuration;
    OpenConfiguration(/*keep_as_is=*/false, &configuration);
    const std::u16string text = platform::Utf8ToUtf16Lossy(url);
    ASSERT_TRUE(configuration->store().SetValue(config_keys::kUpdateUrl, kConfigTypeText,
                                                static_cast<uint32_t>(text.size() * 2), text.data(),
                                                config_keys::kUpdates));
    ASSERT_TRUE(configuration->Save());
  }
};

TEST_F(ClientRoundTest, UpdateInstallsThePackageAndTheNextScanFindsTheNewVirus) {
  device_.WriteFile(u"\\My Documents\\fresh.txt", std::string("head ") + kFreshVirusBytes);
  const std::string database = BuildFreshDatabase();
  const std::string package = BuildPackage(
      {"--id", "KVUPD-V30-0002", "--date", "2026-12-01", "--history", "2026-12-01 fresh signatures",
       database + "/KVVirusDB.dat=#program#", database + "/KVVirusDBDet.dat=#program#"});
  testing::TestHttpServer server(package);
  environment_changes_["no_proxy"] = "127.0.0.1,localhost";
  environment_changes_["NO_PROXY"] = "127.0.0.1,localhost";
  SetUpdateUrl(server.Url());

  const RunResult update = Kolvar({"update"}, "", 300);
  EXPECT_EQ(update.exit_status, 0) << update.out << update.err;
  EXPECT_NE(update.out.find("Installed update KVUPD-V30-0002 of 2026-12-01"), std::string::npos)
      << update.out << update.err;
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\KVHistory.upd"), "2026-12-01 fresh signatures\n");

  const RunResult after = Kolvar({"scan"});
  EXPECT_EQ(after.exit_status, 1) << after.out << after.err;
  EXPECT_NE(after.out.find(kFreshVirusName), std::string::npos) << after.out;
}

}  // namespace
}  // namespace kolvar
