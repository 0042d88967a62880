// The update dialog's logic against a real HTTP server on 127.0.0.1, driven through a recording
// host: the scheduled start, the boxes of each outcome, cancel, and closing while the worker runs.
#include "antivirus/update/update_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "antivirus/update/update_texts.h"
#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/text.h"
#include "tests/testing/http_server.h"
#include "tests/testing/test_device.h"
#include "tests/testing/update_publisher.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

namespace keys = config_keys;

constexpr char16_t kInstallFolder[] = u"\\Program Files\\Kolvar\\";
constexpr char16_t kServerFolder[] = u"\\Temp\\www";

class UpdateDialogTest : public ::testing::Test {
 protected:
  UpdateDialogTest() : publisher_(device_, kServerFolder) {
    device_.MakeFolder(u"\\Program Files\\Kolvar");
    device_.WriteFile(std::u16string(kInstallFolder) + keys::kUpdateKeysFileName,
                      publisher_.public_key());
    publisher_.Publish();
    server_ = std::make_unique<testing::TestHttpServer>(device_.Host(kServerFolder));
    configuration_ = std::make_unique<ConfigurationFile>(ConfigStore::kConfigurationName,
                                                         KeyMaterialUse::kConfiguration);
    EXPECT_TRUE(CreateDefaultConfiguration(&configuration_->store(), kInstallFolder));
    configuration_->set_path(u"\\Windows\\kvmavcfg.dat");
    const uint32_t off = 0;
    ConfigStore& store = configuration_->store();
    EXPECT_TRUE(store.SelectSection(keys::kConfig));
    EXPECT_TRUE(store.AddValue(keys::kScanPacing, kConfigTypeInteger, 4, &off));
    const std::u16string url = platform::Utf8ToUtf16Lossy(server_->Url());
    EXPECT_TRUE(store.SetValue(keys::kUpdateUrl, kConfigTypeText,
                               static_cast<uint32_t>(url.size() * 2), url.data(), keys::kUpdates));
    EXPECT_TRUE(configuration_->Save());
  }

  UpdateDialogServices Services(bool automatic) {
    UpdateDialogServices services;
    services.configuration = configuration_.get();
    services.title = u"Update";
    services.caption = u"Kolvar AV";
    services.install_folder = kInstallFolder;
    services.history_path = std::u16string(kInstallFolder) + u"KVHistory.upd";
    services.automatic = automatic;
    services.start_updater = [this](const std::u16string& program, const std::u16string& line) {
      started_.push_back(program + u" " + line);
      return true;
    };
    services.end_program = [this] { ++ended_program_; };
    return services;
  }

  // Runs posted tasks until the dialog's worker has ended and its last status was handled.
  void RunUntilIdle(UpdateDialog& dialog) {
    ASSERT_TRUE(
        host_.RunPostedUntil([&] { return !dialog.running() && dialog.update_enabled(); }, 60000));
    host_.RunPosted();
  }

  testing::TestDevice device_;
  testing::UpdatePublisher publisher_;
  std::unique_ptr<testing::TestHttpServer> server_;
  std::unique_ptr<ConfigurationFile> configuration_;
  ui::testing::RecordingHost host_;
  std::vector<std::u16string> started_;
  int ended_program_ = 0;
};

TEST_F(UpdateDialogTest, ScheduledStartDownloadsAndStartsTheUpdater) {
  UpdateDialog dialog(Services(/*automatic=*/true));
  host_.Show(dialog);
  EXPECT_EQ(dialog.last_id(), u"(none)");
  EXPECT_EQ(dialog.last_size(), u"0.00 KB");
  RunUntilIdle(dialog);
  EXPECT_EQ(host_.box_texts(),
            std::vector<std::u16string>{u"Download successful.\nClick 'OK' to apply updates."});
  EXPECT_EQ(dialog.total_size(), u"19.53 KB");
  EXPECT_EQ(dialog.transferred(), u"19.53 KB");
  EXPECT_EQ(dialog.status_line(), u" ");
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0],
            u"\\Program Files\\Kolvar\\KVUpdater \\Program Files\\Kolvar\\_updates_"
            u"\\kvupd0007.cab");
  EXPECT_EQ(ended_program_, 1);
  EXPECT_TRUE(dialog.updater_started());
}

TEST_F(UpdateDialogTest, OutcomesAreToldInTheirBoxes) {
  const struct {
    std::string rule;
    std::u16string box_start;
    uint32_t icon;
  } cases[] = {
      {"status kvmupdi.dat 404\n",
       u"Unable to contact download site. Please check your Internet connection.",
       platform::kMbIconError},
      {"stop kvupd0007.cab 9000\n", u"Error downloading data.", platform::kMbIconError},
      {"status kvupd0007.cab.sig 404\n", u"The update was refused: 'kvupd0007.cab' carries no",
       platform::kMbIconError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    // A fresh server for every case: one told to stop may close its connection before its
    // process has ended, so asking whether it still runs can come too early.
    server_ = std::make_unique<testing::TestHttpServer>(device_.Host(kServerFolder));
    const std::u16string url = platform::Utf8ToUtf16Lossy(server_->Url());
    ASSERT_TRUE(configuration_->store().SetValue(keys::kUpdateUrl, kConfigTypeText,
                                                 static_cast<uint32_t>(url.size() * 2),
                                                 url.data(), keys::kUpdates));
    server_->SetRules(c.rule);
    host_.ClearBoxes();
    UpdateDialog dialog(Services(false));
    host_.Show(dialog);
    dialog.OnCommand(update_controls::kUpdateCommand);
    EXPECT_FALSE(dialog.update_enabled());
    RunUntilIdle(dialog);
    const auto boxes = host_.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.substr(0, c.box_start.size()), c.box_start);
    EXPECT_EQ(boxes[0].style & 0xF0, c.icon);
    EXPECT_EQ(boxes[0].caption, u"Kolvar AV");
    EXPECT_TRUE(started_.empty());
    EXPECT_EQ(ended_program_, 0);
  }
}

TEST_F(UpdateDialogTest, CancelDuringTheDownloadLeavesCancelledAndUpdateEnabled) {
  server_->SetRules("slow kvupd0007.cab 100\n");
  UpdateDialog dialog(Services(false));
  host_.Show(dialog);
  dialog.OnCommand(update_controls::kUpdateCommand);
  ASSERT_TRUE(host_.RunPostedUntil(
      [&] { return dialog.status_line().starts_with(u"Downloading updates"); }, 60000));
  dialog.OnCommand(update_controls::kCancelCommand);
  EXPECT_EQ(dialog.status_line(), u"Canceling ... Please wait ...");
  RunUntilIdle(dialog);
  EXPECT_EQ(dialog.status_line(), u"Cancelled.");
  EXPECT_TRUE(dialog.update_enabled());
  EXPECT_FALSE(dialog.ended());
  EXPECT_TRUE(started_.empty());
  // Cancel once idle closes the dialog.
  dialog.OnCommand(update_controls::kCancelCommand);
  EXPECT_TRUE(dialog.ended());
}

TEST_F(UpdateDialogTest, ClosingWhileTheWorkerRunsStopsItFirst) {
  server_->SetRules("slow kvupd0007.cab 100\n");
  {
    UpdateDialog dialog(Services(false));
    host_.Show(dialog);
    dialog.OnCommand(update_controls::kUpdateCommand);
    ASSERT_TRUE(host_.RunPostedUntil(
        [&] { return dialog.status_line().starts_with(u"Downloading updates"); }, 60000));
    dialog.OnBack();
    EXPECT_TRUE(dialog.ended());
    EXPECT_FALSE(dialog.running());
  }
  // Statuses posted before the end find no dialog and do nothing.
  host_.RunPosted();
  EXPECT_TRUE(started_.empty());
  EXPECT_FALSE(device_.Exists(u"\\Program Files\\Kolvar\\_updates_\\kvupd0007.cab"));
}

}  // namespace
}  // namespace kolvar
