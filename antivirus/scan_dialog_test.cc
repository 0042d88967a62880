// The scan dialog over a scripted scan driver: the menus and their greying, the plug-in place of
// the commands served by other dialogs, the states with their buttons, texts and timers, the
// clock and the animation, the stop question, the folder picker, the end of a scan, and a
// detection put to the user from the client's thread.
#include "antivirus/scan_dialog.h"

#include <gtest/gtest.h>

#include <thread>

#include "antivirus/command_ids.h"
#include "antivirus/folder_picker_dialog.h"
#include "antivirus/string_table.h"
#include "antivirus/testing/fake_scan_driver.h"
#include "antivirus/virus_detected_dialog.h"
#include "platform/message_box.h"
#include "scan_engine/virus_details.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

using namespace commands;

using testing::DriverLog;

class ScanDialogTest : public ::testing::Test {
 protected:
  ScanDialogTest() : dialog_(Services()) { host_.Show(dialog_); }

  ScanDialogServices Services() {
    ScanDialogServices services;
    services.paths = InstallPathsOf(u"\\Program Files\\Kolvar");
    services.background_scanning = [this] { return background_; };
    services.folder_selection = [this] { return folder_selection_; };
    services.make_driver = testing::FakeScanDrivers(log_);
    services.list_folders = [](std::u16string_view) { return std::vector<std::u16string>{}; };
    return services;
  }

  bool background_ = false;
  bool folder_selection_ = false;
  DriverLog log_;
  ui::testing::RecordingHost host_;
  ScanDialog dialog_;
};

std::vector<std::u16string> MenuShape(const ui::Menu& menu) {
  std::vector<std::u16string> shape;
  for (const ui::MenuItem& item : menu.items()) shape.push_back(item.separator ? u"-" : item.text);
  return shape;
}

TEST_F(ScanDialogTest, MenusCarryTheirItemsInOrderWithSeparators) {
  EXPECT_EQ(dialog_.title(), u"Kolvar AV");
  EXPECT_EQ(dialog_.soft_keys().left.text, u"Options");
  EXPECT_EQ(dialog_.soft_keys().right.text, u"Tools");
  EXPECT_EQ(MenuShape(dialog_.soft_keys().left.menu),
            (std::vector<std::u16string>{u"Scan Now", u"-", u"Configuration", u"Repository Files",
                                         u"-", u"Online Update", u"Update History", u"-", u"About",
                                         u"-", u"Exit Antivirus"}));
  EXPECT_EQ(MenuShape(dialog_.soft_keys().right.menu),
            (std::vector<std::u16string>{u"Processes Manager", u"-", u"System Information", u"-",
                                         u"Registry Viewer", u"-", u"Kolvar Scheduler"}));
  std::vector<uint32_t> ids;
  for (const ui::MenuItem& item : dialog_.soft_keys().left.menu.items()) {
    if (!item.separator) ids.push_back(item.id);
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{40130, 40006, 40018, 40019, 40184, 40005, 40028}));
  EXPECT_EQ(dialog_.status_text(), u"Program Started.");
}

TEST_F(ScanDialogTest, ToolsAreGreyWhileAScanRuns) {
  const uint32_t tools[] = {kProcessesManager, kSystemInformation, kRegistryViewer};
  dialog_.OnMenuOpening(ui::SoftKeySide::kRight);
  for (uint32_t id : tools) EXPECT_FALSE(dialog_.soft_keys().right.menu.IsGreyed(id));
  dialog_.OnCommand(kScanNow);
  dialog_.OnMenuOpening(ui::SoftKeySide::kLeft);
  for (uint32_t id : tools) EXPECT_TRUE(dialog_.soft_keys().right.menu.IsGreyed(id)) << id;
  EXPECT_FALSE(dialog_.soft_keys().right.menu.IsGreyed(kKolvarScheduler));
  dialog_.OnCommand(kRegistryViewer);
  EXPECT_TRUE(host_.boxes().empty()) << "a grey tool does nothing";
  dialog_.Stop(false);
  dialog_.OnMenuOpening(ui::SoftKeySide::kRight);
  for (uint32_t id : tools) EXPECT_FALSE(dialog_.soft_keys().right.menu.IsGreyed(id));
}

TEST_F(ScanDialogTest, CommandsOfOtherDialogsSayTheyAreNotAvailableUntilPluggedIn) {
  const uint32_t unplugged[] = {
      kConfiguration,    kRepositoryFiles,   kOnlineUpdate,   kUpdateHistory,   kAbout,
      kProcessesManager, kSystemInformation, kRegistryViewer, kKolvarScheduler, kAboutButton};
  for (uint32_t id : unplugged) dialog_.OnCommand(id);
  const std::vector<ui::MessageBoxRequest> boxes = host_.boxes();
  ASSERT_EQ(boxes.size(), std::size(unplugged));
  EXPECT_EQ(boxes[0].caption, u"Kolvar AV");
  EXPECT_NE(boxes[0].text.find(u"\"Configuration\""), std::u16string::npos);
  EXPECT_NE(boxes.back().text.find(u"\"About\""), std::u16string::npos) << "\"?\" is About";
  int ran = 0;
  dialog_.Plug(kRepositoryFiles, [&] { ++ran; });
  dialog_.OnCommand(kRepositoryFiles);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(host_.boxes().size(), std::size(unplugged));
}

TEST_F(ScanDialogTest, StatesSetTheirTextButtonsFocusAndTimers) {
  dialog_.OnCommand(kStartButton);
  EXPECT_EQ(dialog_.state(), ScanState::kScanning);
  EXPECT_EQ(log_.folder, u"\\");
  EXPECT_EQ(dialog_.status_text(), u"Scanning File:");
  EXPECT_EQ(host_.TimerPeriod(dialog_, kAnimationTimer), 100u);
  EXPECT_EQ(host_.TimerPeriod(dialog_, kClockTimer), 1000u);
  EXPECT_FALSE(dialog_.IsButtonEnabled(kStartButton));
  EXPECT_TRUE(dialog_.IsButtonEnabled(kPauseButton));
  EXPECT_TRUE(dialog_.IsButtonEnabled(kStopButton));
  EXPECT_FALSE(dialog_.IsButtonEnabled(kReportButton));
  EXPECT_EQ(dialog_.focus(), kStopButton);
  EXPECT_EQ(dialog_.ButtonIcon(kStopButton, true), 146u);
  EXPECT_EQ(dialog_.ButtonIcon(kStartButton, false), 139u);

  dialog_.OnCommand(kStartButton);  // "S" while scanning does nothing
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"start"}));

  host_.FireTimer(dialog_, kClockTimer);
  dialog_.OnCommand(kPauseButton);
  EXPECT_EQ(dialog_.state(), ScanState::kPaused);
  EXPECT_EQ(dialog_.status_text(), u"Scanning Paused.");
  EXPECT_EQ(host_.TimerPeriod(dialog_, kClockTimer), 0u);
  EXPECT_EQ(dialog_.focus(), kStartButton);
  EXPECT_TRUE(dialog_.IsButtonEnabled(kReportButton));

  dialog_.OnCommand(ui::kCommandOk);  // the action key presses the focused "S": resume
  EXPECT_EQ(dialog_.state(), ScanState::kScanning);
  EXPECT_EQ(dialog_.ElapsedText(), u"00:00:01") << "resuming keeps the clock";
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"start", "pause", "resume"}));
}

TEST_F(ScanDialogTest, StopQuestionCancelResumesAndOkCancels) {
  dialog_.OnCommand(kScanNow);
  dialog_.ShowProgress({12, 3, 1, 345, u"\\Docs\\a.txt"});
  host_.FireTimer(dialog_, kClockTimer);
  host_.AnswerBoxes({platform::kIdCancel, platform::kIdOk});
  dialog_.OnCommand(kStopButton);
  EXPECT_EQ(dialog_.state(), ScanState::kScanning);
  EXPECT_EQ(dialog_.files_tested_text(), u"12");
  dialog_.OnCommand(kStopButton);
  ASSERT_EQ(host_.boxes().size(), 2u);
  EXPECT_EQ(host_.boxes()[0].text, LoadString(string_ids::kConfirmStop));
  EXPECT_EQ(host_.boxes()[0].style, platform::kMbOkCancel | platform::kMbIconQuestion);
  EXPECT_EQ(dialog_.state(), ScanState::kCancelled);
  EXPECT_EQ(dialog_.status_text(), u"Scanning Canceled.");
  EXPECT_EQ(dialog_.files_tested_text(), u"0");
  EXPECT_EQ(dialog_.infected_text(), u"0");
  EXPECT_EQ(dialog_.bytes_tested_text(), u"0");
  EXPECT_EQ(dialog_.ElapsedText(), u"00:00:00");
  EXPECT_EQ(log_.calls,
            (std::vector<std::string>{"start", "pause", "resume", "pause", "resume", "stop"}));
}

TEST_F(ScanDialogTest, StopQuestionNamesTheBackgroundScanner) {
  background_ = true;
  dialog_.Start(true);
  EXPECT_EQ(dialog_.status_text(), u"Scanning File (background):");
  EXPECT_EQ(dialog_.ButtonIcon(kStopButton, true), 230u);
  host_.AnswerBoxes({platform::kIdCancel});
  dialog_.Stop(true);
  EXPECT_EQ(host_.box_texts(),
            (std::vector<std::u16string>{LoadString(string_ids::kConfirmStopBackground)}));
}

TEST_F(ScanDialogTest, ClockRollsOverAndTheAnimationCyclesTenFrames) {
  dialog_.Start(false);
  for (int tick = 0; tick < 3599; ++tick) host_.FireTimer(dialog_, kClockTimer);
  EXPECT_EQ(dialog_.ElapsedText(), u"00:59:59");
  host_.FireTimer(dialog_, kClockTimer);
  EXPECT_EQ(dialog_.ElapsedText(), u"01:00:00");
  std::vector<int> frames;
  for (int tick = 0; tick < 12; ++tick) {
    host_.FireTimer(dialog_, kAnimationTimer);
    frames.push_back(dialog_.animation_picture());
  }
  EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1}));
  dialog_.Stop(false);
  EXPECT_EQ(dialog_.animation_picture(), 0);
}

TEST_F(ScanDialogTest, FolderPickerOnlyWithSelectionOnAndBackgroundScanningOff) {
  folder_selection_ = true;
  host_.DriveModals([](ui::Dialog& modal) {
    auto& picker = dynamic_cast<FolderPickerDialog&>(modal);
    picker.OnCommand(kCancelFolder);
  });
  dialog_.OnCommand(kScanNow);
  EXPECT_EQ(host_.modal_titles(), (std::vector<std::u16string>{u"Select a folder"}));
  EXPECT_EQ(log_.folder, u"\\") << "a cancelled picker scans everything";
  dialog_.Stop(false);
  dialog_.Start(true);  // automatic: no picker
  dialog_.Stop(false);
  background_ = true;
  dialog_.Start(false);
  EXPECT_EQ(host_.modal_titles().size(), 1u);
}

TEST(ScanDialogBackTest, BackEndsTheProgramOnASmartphoneOnly) {
  for (uint32_t kind : {1u, 2u}) {
    ui::testing::RecordingHost host;
    DriverLog log;
    ScanDialogServices services;
    services.make_driver = testing::FakeScanDrivers(log);
    services.platform_kind = kind;
    ScanDialog dialog(std::move(services));
    host.Show(dialog);
    dialog.Start(false);
    dialog.OnBack();
    EXPECT_EQ(dialog.ended(), kind == 1) << kind;
    // The Back key skips the stop of closing: the client is only ended.
    EXPECT_EQ(log.calls.back(), kind == 1 ? "quit" : "start") << kind;
  }
}

TEST_F(ScanDialogTest, AFailedStartLeavesTheDialogIdle) {
  for (const ScanStartResult result :
       {ScanStartResult::kScannerAbsent, ScanStartResult::kOtherDevice}) {
    SCOPED_TRACE(static_cast<int>(result));
    log_.start_result = result;
    dialog_.Start(false);
    EXPECT_EQ(dialog_.state(), ScanState::kComplete);
    EXPECT_TRUE(dialog_.IsButtonEnabled(kStartButton));
    EXPECT_EQ(host_.TimerPeriod(dialog_, kClockTimer), 0u);
  }
  // Only the scanner of another device is told: the user has to give the devices their own
  // namespaces.
  ASSERT_EQ(host_.boxes().size(), 1u);
  EXPECT_NE(host_.boxes()[0].text.find(u"does not say which device it serves"),
            std::u16string::npos);
  EXPECT_EQ(host_.boxes()[0].style, platform::kMbOk | platform::kMbIconError);
}

TEST_F(ScanDialogTest, EndOfAScanTellsNothingFoundOrOpensTheReport) {
  dialog_.Start(false);
  dialog_.OnScanComplete({});
  host_.RunPosted();
  EXPECT_EQ(dialog_.state(), ScanState::kComplete);
  ASSERT_EQ(host_.boxes().size(), 1u);
  EXPECT_EQ(host_.boxes()[0].caption, u"Scanning Complete.");
  EXPECT_EQ(host_.boxes()[0].text, u"No virus was found on your device.");
  EXPECT_EQ(host_.boxes()[0].style, platform::kMbOk | platform::kMbIconInformation);

  dialog_.Start(false);
  InfectionList list;
  dialog_.OnScanComplete({list.Append(u"\\Docs", u"a.exe", 0, 7, kActionNone).record});
  host_.RunPosted();
  EXPECT_EQ(host_.modal_titles(), (std::vector<std::u16string>{u"Report"}));
  EXPECT_EQ(dialog_.state(), ScanState::kComplete);
  EXPECT_TRUE(dialog_.infections().empty());
  EXPECT_EQ(dialog_.focus(), kStartButton);
}

TEST_F(ScanDialogTest, InfectionsCountedWithoutTheirListAreNoCleanDevice) {
  dialog_.Start(false);
  log_.progress.infected_files = 2;
  dialog_.OnScanComplete({});
  host_.RunPosted();
  ASSERT_EQ(host_.boxes().size(), 1u);
  EXPECT_EQ(host_.boxes()[0].text,
            u"The scan found 2 infected files, but their list could not be read. Please scan "
            u"again.");
  EXPECT_EQ(host_.boxes()[0].style, platform::kMbOk | platform::kMbIconError);
  EXPECT_EQ(dialog_.state(), ScanState::kComplete);
}

TEST_F(ScanDialogTest, TheClientsBoxesNeverHoldItsThreads) {
  dialog_.Start(false);
  // From a client thread while nobody serves the user-interface thread: it returns at once.
  std::thread client([&] { dialog_.ShowMessage(u"Kolvar AV", u"From the client.", 0); });
  client.join();
  EXPECT_TRUE(host_.boxes().empty());
  host_.RunPosted();
  EXPECT_EQ(host_.box_texts(), (std::vector<std::u16string>{u"From the client."}));
}

TEST_F(ScanDialogTest, ADetectionFromTheClientThreadIsPutToTheUser) {
  testing::TestDevice device;
  host_.DriveModals([](ui::Dialog& modal) {
    auto& virus = dynamic_cast<VirusDetectedDialog&>(modal);
    EXPECT_EQ(virus.path(), u"\\Docs\\x.exe");
    virus.OnCommand(kMoveToRepository);
  });
  dialog_.Start(false);
  DetectionRecord detection = ZeroRecord<DetectionRecord>();
  const std::u16string path = u"\\Docs\\x.exe";
  std::copy(path.begin(), path.end(), detection.path);
  detection.virus_id = 66;
  uint8_t answer = 0xFF;
  std::thread client([&] { answer = dialog_.OnDetection(detection); });
  EXPECT_TRUE(host_.RunPostedUntil([&] { return !host_.modal_titles().empty(); }, 30000));
  client.join();
  EXPECT_EQ(answer, kActionMove);
  EXPECT_EQ(host_.modal_titles(), (std::vector<std::u16string>{u"Virus Detected"}));
}

TEST_F(ScanDialogTest, ADetectionWaitingWhenTheDialogGoesIsAnsweredWithNoAction) {
  dialog_.Start(false);
  DetectionRecord detection = ZeroRecord<DetectionRecord>();
  uint8_t answer = 0xFF;
  std::thread client([&] { answer = dialog_.OnDetection(detection); });
  // Nobody runs the posted task: the user-interface thread is busy ending the dialog.
  dialog_.Exit();
  client.join();
  EXPECT_EQ(answer, kActionNone);
  EXPECT_TRUE(dialog_.ended());
  EXPECT_EQ(log_.calls.back(), "quit");
}

}  // namespace
}  // namespace kolvar
