// Detections during background scanning, with a real scanner: the type 25 status with the last
// progress counters and the DetectionRecord, the scanner waiting for the answer, each action of
// the answer carried out (and 3 and 4 remembered for the virus), the main program started with
// "VIRUSDETECTED" when no user interface runs (and the scanner's end when it cannot be started),
// a main program that leaves without answering, a restart while a detection waits, and a
// detection that reached a program before its attach.
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "bkgscan/scanner_texts.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_channel.h"
#include "tests/bkgscan/scanner_test_support.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

bool SameExceptType(ScanStatus a, ScanStatus b) {
  a.type = 0;
  b.type = 0;
  return std::memcmp(&a, &b, sizeof(a)) == 0;
}

class ScannerDetectionTest : public ScannerTest {
 protected:
  // Background scanning on with the user interface attached to \Fix; returns once the first pass
  // has ended, so that every later pass walks \Fix.
  void AttachToBackgroundScan(std::optional<uint32_t> pacing) {
    // The scanner starts with background scanning off and finds it on at the attach (another
    // program saved it meanwhile), so its first pass is one of \Fix: a first pass of the whole
    // device, paced, would read the installed programs at a few megabytes a second, for minutes
    // on a busy machine.
    WriteConfiguration(/*background=*/0, pacing);
    device_.WriteFile(u"\\Fix\\a.txt", CleanBytes(100));
    device_.WriteFile(u"\\Fix\\b.txt", CleanBytes(100));
    StartService();
    ConnectAs();
    scanner_ = StartConnectedScanner();
    WriteConfiguration(/*background=*/1, pacing);
    ASSERT_TRUE(Attach(u"\\Fix").has_value());
    ASSERT_TRUE(NextStatusOfType(kMessagePassFinished).has_value());
  }

  struct Detection {
    ScanStatus status;         // the type 25 before the record
    ScanStatus last_progress;  // the last progress before it
    DetectionRecord record;
    std::u16string sender;
  };

  // Takes messages until a type 25 and the record after it.
  std::optional<Detection> NextDetection(double seconds = 120) {
    Detection detection{};
    detection.last_progress = ZeroRecord<ScanStatus>();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      std::optional<Message> message = Next(1);
      if (!message) continue;
      EXPECT_FALSE(message->IsDetection()) << "a DetectionRecord without a type 25 before it";
      if (message->StatusType() == kMessageProgress) detection.last_progress = message->status();
      if (message->StatusType() != kMessageVirusDetected) continue;
      detection.status = message->status();
      std::optional<Message> record = Next(60);
      if (!record) return std::nullopt;
      EXPECT_TRUE(record->IsDetection());
      detection.record = record->detection();
      detection.sender = record->sender;
      return detection;
    }
    return std::nullopt;
  }

  // Counts the detections among the messages (answering each with "ignore all") until `last`
  // says a message is the last one to take.
  int DetectionsUntil(const std::function<bool(const Message&)>& last) {
    int detections = 0;
    for (;;) {
      std::optional<Message> message = Next(120);
      if (!message) {
        ADD_FAILURE() << "the scanner did not go on";
        return detections;
      }
      if (message->StatusType() == kMessageVirusDetected) ++detections;
      if (message->IsDetection()) Send(MakeActionCommand(message->detection().virus_id, 4));
      if (last(*message)) return detections;
    }
  }

  // The same until `passes` passes have finished.
  int DetectionsOverPasses(int passes) {
    return DetectionsUntil([&](const Message& message) {
      return message.StatusType() == kMessagePassFinished && --passes == 0;
    });
  }

  std::string InstallHostPath(std::u16string_view name) const {
    return device_.Host(platform::JoinPath(kInstallFolder, name));
  }

  platform::Process scanner_;
};

TEST_F(ScannerDetectionTest, DetectionSendsTheLastProgressThenTheRecordAndWaitsForTheAnswer) {
  AttachToBackgroundScan(std::nullopt);  // paced, so that no progress is dropped
  device_.WriteFile(u"\\Fix\\Sub\\x.exe", InfectedBytes(2000, kVirusA));
  std::optional<Detection> detection = NextDetection();
  ASSERT_TRUE(detection.has_value());
  EXPECT_EQ(detection->status.type, kMessageVirusDetected);
  EXPECT_NE(detection->last_progress.type, 0u) << "no progress before the detection";
  EXPECT_TRUE(SameExceptType(detection->status, detection->last_progress))
      << "the detection's status must carry the counters of the last progress message";
  EXPECT_EQ(detection->sender, u"IPC_SCAN");
  EXPECT_EQ(Narrow(WideField(detection->record.path)), "\\Fix\\Sub\\x.exe");
  EXPECT_EQ(detection->record.virus_id, kVirusA);

  EXPECT_TRUE(QuietFor(1.5)) << "the scanner went on before the answer";
  EXPECT_TRUE(device_.Exists(u"\\Fix\\Sub\\x.exe"));
  Send(MakeActionCommand(kVirusA, kActionDelete));
  EXPECT_TRUE(WaitUntil([&] { return !device_.Exists(u"\\Fix\\Sub\\x.exe"); }));
  EXPECT_TRUE(NextStatusOfType(kMessagePassFinished).has_value());
}

// A restart (type 16) while a detection waits for its answer: the cut pass's detection is followed
// by a type 24 whose active flag is 0, and only then comes the new pass; the answer to the cut
// pass's detection, arriving late, is not taken for the answer to the new pass's detection.
TEST_F(ScannerDetectionTest, RestartMarksTheNewPassAndALateAnswerStaysWithTheCutPass) {
  AttachToBackgroundScan(std::nullopt);
  const std::u16string infected = u"\\Fix\\Sub\\x.exe";
  device_.WriteFile(infected, InfectedBytes(2000, kVirusA));
  std::optional<Detection> cut = NextDetection();
  ASSERT_TRUE(cut.has_value());
  Send(MakeScanCommand(kCommandStart));

  std::optional<Message> marker = Next(60);
  ASSERT_TRUE(marker.has_value());
  ASSERT_EQ(marker->StatusType(), kMessagePassFinished) << "the restart was not marked";
  EXPECT_EQ(marker->status().state, 0u);
  EXPECT_EQ(marker->status().files_tested, 0u);
  // The new pass finds the file again and waits for its own answer.
  std::optional<Detection> again = NextDetection();
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(Narrow(WideField(again->record.path)), "\\Fix\\Sub\\x.exe");

  Send(MakeActionCommand(kVirusA, kActionDelete));  // the late answer to the cut pass
  EXPECT_TRUE(QuietFor(1.5)) << "the late answer resumed the new pass's detection";
  EXPECT_TRUE(device_.Exists(infected));
  Send(MakeActionCommand(kVirusA, kActionMove));  // the answer to the new pass's detection
  EXPECT_TRUE(WaitUntil([&] {
    return device_.Exists(ProtectedPath(kQuarantine, u"\\Fix\\Sub", u"x.exe")) &&
           !device_.Exists(infected);
  }));
  EXPECT_TRUE(NextStatusOfType(kMessagePassFinished).has_value());
  EXPECT_TRUE(scanner_.IsAlive());
}

// A detection that a program left unanswered when it detached (a front end whose scan had ended
// stops reading before it detaches) is given up when the next program attaches, even when that
// comes before the scanner could see the channel gone: the next program's restart does not leave
// an answer owed for it, so its own answer to the new pass's detection is the one acted on. (The
// scanner used to count the cut detection as owing a late answer, take the new program's answer
// for it, and wait for ever.)
TEST_F(ScannerDetectionTest, ADetachedProgramsUnansweredDetectionOwesNoAnswerToTheNextProgram) {
  AttachToBackgroundScan(std::nullopt);
  // Files come before subfolders: the paced bulk keeps the pass going after the detection, so
  // that the scanner finds no file to ask about while no program is registered.
  for (int i = 0; i < 300; ++i) {
    device_.WriteFile(u"\\Fix\\Bulk\\f" + platform::Utf8ToUtf16Lossy(std::to_string(i)) + u".txt",
                      CleanBytes(100));
  }
  ASSERT_TRUE(NextStatusOfType(kMessagePassFinished).has_value());
  const std::u16string infected = u"\\Fix\\x.exe";
  device_.WriteFile(infected, InfectedBytes(2000, kVirusA));
  ASSERT_TRUE(NextDetection().has_value());
  Send(MakeScanCommand(kCommandDetach));
  ASSERT_TRUE(WaitUntilSent(channel(), kScannerChannel, nullptr));
  Disconnect();
  ConnectAs();
  ASSERT_TRUE(Attach(u"\\Fix").has_value());
  Send(MakeScanCommand(kCommandStart));
  // Whatever the scanner sends before the restart marker is the old pass's; then the new pass
  // finds the file and waits for this program's answer.
  std::optional<ScanStatus> marker;
  ASSERT_TRUE(WaitUntil([&] {
    marker = NextStatusOfType(kMessagePassFinished);
    return !marker || marker->state == 0;
  }));
  ASSERT_TRUE(marker.has_value());
  std::optional<Detection> detection = NextDetection();
  ASSERT_TRUE(detection.has_value());
  EXPECT_EQ(Narrow(WideField(detection->record.path)), "\\Fix\\x.exe");
  Send(MakeActionCommand(kVirusA, kActionMove));
  EXPECT_TRUE(WaitUntil([&] {
    return device_.Exists(ProtectedPath(kQuarantine, u"\\Fix", u"x.exe")) &&
           !device_.Exists(infected);
  }));
  EXPECT_TRUE(scanner_.IsAlive());
}

// A detection that reaches a program before its attach is still that program's to answer after
// the attach (a front end answers what it takes while it waits for the reply to its attach): the
// scanner keeps waiting for it, and pairs the answer with it rather than with the next detection.
// The program here is registered anew in the same process after an earlier registration left a
// detection unanswered, so only the registration tells the two apart. (The scanner used to give
// every owed answer up at an attach: the late answer then went to the next detection, and each
// answer after it to the detection before its own.)
TEST_F(ScannerDetectionTest, ADetectionThatReachedAProgramBeforeItsAttachIsStillItsToAnswer) {
  AttachToBackgroundScan(std::nullopt);
  const std::u16string infected = u"\\Fix\\x.exe";
  device_.WriteFile(infected, InfectedBytes(2000, kVirusA));
  ASSERT_TRUE(NextDetection().has_value());  // never answered by this registration
  Disconnect();
  ConnectAs();
  // Once the first registration is seen gone its answer is given up, the scan goes on, and the
  // next pass asks the new registration, which has not attached yet.
  std::optional<Detection> before_attach = NextDetection();
  ASSERT_TRUE(before_attach.has_value());
  ASSERT_EQ(Narrow(WideField(before_attach->record.path)), "\\Fix\\x.exe");
  ASSERT_TRUE(Attach(u"\\Fix").has_value());
  EXPECT_TRUE(QuietFor(1.5)) << "the attach gave up the detection that waits for its answer";
  Send(MakeActionCommand(kVirusA, kActionNone));
  // That answer leaves the file alone; the next pass asks again, and its answer is carried out.
  std::optional<Detection> next = NextDetection();
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(Narrow(WideField(next->record.path)), "\\Fix\\x.exe");
  EXPECT_TRUE(device_.Exists(infected));
  Send(MakeActionCommand(kVirusA, kActionMove));
  EXPECT_TRUE(WaitUntil([&] {
    return device_.Exists(ProtectedPath(kQuarantine, u"\\Fix", u"x.exe")) &&
           !device_.Exists(infected);
  }));
  EXPECT_TRUE(scanner_.IsAlive());
}

struct ActionCase {
  const char* name;
  uint8_t action;
  bool file_stays;
  bool quarantined;
  bool later_detection_reported;
};

// Test names and failure messages show the case's name.
void PrintTo(const ActionCase& c, std::ostream* os) { *os << c.name; }

class ScannerActionTest : public ScannerDetectionTest,
                          public ::testing::WithParamInterface<ActionCase> {};

TEST_P(ScannerActionTest, AnswerIsCarriedOutAndRememberedWhereItSaysSo) {
  const ActionCase& c = GetParam();
  AttachToBackgroundScan(/*pacing=*/0);
  const std::u16string infected = u"\\Fix\\Sub\\x.exe";
  device_.WriteFile(infected, InfectedBytes(2000, kVirusA));
  std::optional<Detection> detection = NextDetection();
  ASSERT_TRUE(detection.has_value());
  ASSERT_EQ(Narrow(WideField(detection->record.path)), "\\Fix\\Sub\\x.exe");
  Send(MakeActionCommand(kVirusA, c.action));

  const std::u16string avq = ProtectedPath(kQuarantine, u"\\Fix\\Sub", u"x.exe");
  if (c.quarantined) {
    EXPECT_TRUE(WaitUntil([&] { return device_.Exists(avq) && !device_.Exists(infected); }));
    // The index is appended once the protected copy exists.
    std::vector<RepositoryRecord> index;
    ASSERT_TRUE(
        WaitUntil([&] { return ReadRepositoryIndex(kRepositoryIndex, &index) && !index.empty(); }));
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].virus_id, kVirusA);
    EXPECT_EQ(Narrow(WideField(index[0].folder)), "\\Fix\\Sub");
    EXPECT_EQ(Narrow(WideField(index[0].file_name)), "x.exe");
  } else if (!c.file_stays) {
    EXPECT_TRUE(WaitUntil([&] { return !device_.Exists(infected); }));
  }

  // The file was the pass's last: the pass ends as soon as the answer lets the thread go on, and
  // its end is told as the end of a pass that ran to its end (active flag 1), not as a restart.
  std::optional<ScanStatus> end = NextStatusOfType(kMessagePassFinished);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->state, 1u);

  // A second file of the same virus, planted once the answer has been carried out.
  device_.WriteFile(u"\\Fix\\Sub\\y.exe", InfectedBytes(2000, kVirusA));
  if (c.later_detection_reported) {
    std::optional<Detection> later = NextDetection();
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ(later->record.virus_id, kVirusA);
    Send(MakeActionCommand(kVirusA, kActionIgnoreAll));
  } else {
    // The passes counted must come after the planting, but the reader may lag many passes
    // behind the scanner: the reply to an attach sent now comes after everything sent before it,
    // and the second pass that ends after the reply began after the planting.
    Send(MakeAttachCommand(u"\\Fix"));
    int detections = DetectionsUntil([](const Message& message) {
      return message.IsCommand() && message.command().type == kCommandAttachReply;
    });
    detections += DetectionsOverPasses(2);
    EXPECT_EQ(detections, 0);
    EXPECT_EQ(device_.Exists(u"\\Fix\\Sub\\y.exe"), c.file_stays);
    if (c.quarantined) {
      EXPECT_TRUE(device_.Exists(ProtectedPath(kQuarantine, u"\\Fix\\Sub", u"y.exe")));
    }
  }
  EXPECT_EQ(device_.Exists(infected), c.file_stays);
  EXPECT_TRUE(scanner_.IsAlive());
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ScannerActionTest,
    ::testing::Values(ActionCase{"NoneStillResumes", kActionNone, true, false, true},
                      ActionCase{"Delete", kActionDelete, false, false, true},
                      ActionCase{"Move", kActionMove, false, true, true},
                      ActionCase{"MoveAll", kActionMoveAll, false, true, false},
                      ActionCase{"IgnoreAll", kActionIgnoreAll, true, false, false}),
    [](const ::testing::TestParamInfo<ActionCase>& info) { return info.param.name; });

TEST_F(ScannerDetectionTest, WithoutUserInterfaceTheMainProgramIsStartedAndGetsOnlyTheRecord) {
  fs::copy_file(fs::path(testing::BinDir()) / "bkgscan_test_antivirus",
                InstallHostPath(u"KVAntivirus"));
  const std::string report = device_.root() + "/antivirus-report.txt";
  setenv("KOLVAR_TEST_REPORT", report.c_str(), 1);
  setenv("KOLVAR_TEST_ANSWER", "2", 1);
  WriteConfiguration(/*background=*/1, /*pacing=*/0);
  device_.WriteFile(u"\\Fix\\x.exe", InfectedBytes(2000, kVirusB));
  platform::Process scanner = StartScanner();  // it starts the IPC service itself

  auto report_text = [&] {
    std::ifstream in(report);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  ASSERT_TRUE(WaitUntil([&] { return report_text().find("done\n") != std::string::npos; }))
      << report_text();
  EXPECT_EQ(report_text(), "command=VIRUSDETECTED\nfirst=524\npath=\\Fix\\x.exe\nvirus=66\ndone\n");
  EXPECT_TRUE(WaitUntil([&] {
    return device_.Exists(ProtectedPath(kQuarantine, u"\\Fix", u"x.exe")) &&
           !device_.Exists(u"\\Fix\\x.exe");
  }));
  EXPECT_TRUE(scanner.IsAlive());
  unsetenv("KOLVAR_TEST_REPORT");
  unsetenv("KOLVAR_TEST_ANSWER");
}

TEST_F(ScannerDetectionTest, MainProgramThatCannotBeStartedEndsTheScannerWithItsMessage) {
  WriteConfiguration(/*background=*/1, /*pacing=*/0);
  device_.WriteFile(u"\\Fix\\x.exe", InfectedBytes(2000, kVirusA));
  platform::Process scanner = StartScanner();
  EXPECT_EQ(ExitCodeWithin(scanner, 120), 0u);
  EXPECT_TRUE(WaitForBox(ScannerBox(kMainProgramStartFailedMessage)));
  EXPECT_TRUE(device_.Exists(u"\\Fix\\x.exe"));
}

TEST_F(ScannerDetectionTest, MainProgramLeavingWithoutAnAnswerLetsTheScanGoOn) {
  AttachToBackgroundScan(std::nullopt);
  // Files come before subfolders: the bulk keeps the pass going after the detection.
  for (int i = 0; i < 300; ++i) {
    device_.WriteFile(u"\\Fix\\Bulk\\f" + platform::Utf8ToUtf16Lossy(std::to_string(i)) + u".txt",
                      CleanBytes(100));
  }
  ASSERT_TRUE(NextStatusOfType(kMessagePassFinished).has_value());
  device_.WriteFile(u"\\Fix\\x.exe", InfectedBytes(2000, kVirusA));
  ASSERT_TRUE(NextDetection().has_value());

  Disconnect();
  EXPECT_TRUE(scanner_.Wait(2000) == platform::WaitResult::kTimeout);
  ConnectAs();
  ASSERT_TRUE(Attach(u"\\Fix").has_value());
  std::optional<Message> message;
  ASSERT_TRUE(WaitUntil([&] {
    message = Next(1);
    return message && (message->StatusType() == kMessageProgress ||
                       message->StatusType() == kMessagePassFinished);
  })) << "the scan thread stayed parked for an answer that could no longer come";
}

}  // namespace
}  // namespace kolvar
