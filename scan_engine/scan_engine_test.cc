// The scan engine on a device image with a planted signature database: what a pass counts and
// reports and in which order, stop and pause from another thread, background passes with their
// quarantine step, long paths and names, and the entries the walker must never open.
#include "scan_engine/scan_engine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "scan_engine/file_type_classes.h"
#include "scan_engine/repository.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kVirusId = 0x51;
constexpr char kSignature[] = "KOLVAR-TEST-SIGNATURE";
constexpr char16_t kInstall[] = u"\\Program Files\\Kolvar";
constexpr char16_t kDatabase[] = u"\\Program Files\\Kolvar\\KVVirusDB.dat";
constexpr char16_t kQuarantine[] = u"\\Program Files\\Kolvar\\Quarantine";
constexpr char16_t kIndex[] = u"\\Program Files\\Kolvar\\KVRepository.dat";
constexpr char16_t kResultFile[] = u"\\Temp\\inffile.lst";

std::string Clean(size_t size) { return std::string(size, 'c'); }

std::string Infected(size_t size) {
  std::string bytes = Clean(size);
  bytes.replace(size / 3, std::strlen(kSignature), kSignature);
  return bytes;
}

std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// Polls for up to 30 seconds: a failure bound, never a timing expectation.
bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Collects the status records the engine sends.
class StatusCollector {
 public:
  ScanEngine::StatusSink Sink() {
    return [this](const ScanStatus& status) {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back(status);
      return true;
    };
  }
  std::vector<ScanStatus> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
  }
  size_t CountOfType(uint32_t type) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const ScanStatus& status : messages_) n += status.type == type;
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<ScanStatus> messages_;
};

class ScanEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.MakeFolder(kInstall);
    SignatureRecord record;
    std::memset(&record, 0, sizeof(record));
    record.virus_id = kVirusId;
    std::memcpy(record.pattern, kSignature, std::strlen(kSignature));
    record.length = static_cast<int32_t>(std::strlen(kSignature));
    record.type_mask = kAnyFileClass;
    uint8_t stored[kSignatureRecordSize];
    EncodeSignatureRecord(record, stored);
    device_.WriteFile(kDatabase, std::string(reinterpret_cast<char*>(stored), sizeof(stored)));
    ASSERT_TRUE(CreateQuarantineFolder(kQuarantine));

    ASSERT_TRUE(engine_.LoadSignatures(kDatabase));
    engine_.SetQuarantineFolder(kQuarantine);
    engine_.SetRepositoryPath(kIndex);
    engine_.SetResultFilePath(kResultFile);
    engine_.SetStatusSink(collector_.Sink());
    engine_.SetUserNotice([this](std::u16string_view text, uint32_t style) {
      std::lock_guard<std::mutex> lock(mutex_);
      notices_.emplace_back(std::u16string(text), style);
    });
    engine_.SetLongPathLog([this](std::u16string_view path) {
      std::lock_guard<std::mutex> lock(mutex_);
      long_paths_.emplace_back(path);
    });
    engine_.SetPacing(false);
    engine_.SetInteractive(true);
  }

  // Runs one interactive pass to its end (message type 3).
  void RunSinglePass(std::u16string_view root) {
    engine_.SetRootFolder(root);
    engine_.StartScan();
    ASSERT_TRUE(WaitFor([&] { return collector_.CountOfType(kMessageScanComplete) == 1; }));
    ASSERT_TRUE(WaitFor([&] { return !engine_.ScanThreadExists(); }));
    EXPECT_FALSE(engine_.IsScanActive());
  }

  std::vector<std::u16string> Notices() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::u16string> texts;
    for (const auto& notice : notices_) texts.push_back(notice.first);
    return texts;
  }

  testing::TestDevice device_;
  StatusCollector collector_;
  std::mutex mutex_;
  std::vector<std::pair<std::u16string, uint32_t>> notices_;
  std::vector<std::u16string> long_paths_;
  ScanEngine engine_;  // last: its thread ends before the rest goes
};

TEST_F(ScanEngineTest, PassCountsAndReportsFilesBeforeSubfoldersAndSkipsQuarantine) {
  device_.WriteFile(u"\\Scan\\a.exe", Infected(2500));
  device_.WriteFile(u"\\Scan\\b.txt", Clean(999));
  device_.WriteFile(u"\\Scan\\c.dat", Clean(1000));
  device_.WriteFile(u"\\Scan\\Sub1\\d.exe", "");
  device_.WriteFile(u"\\Scan\\Sub2\\e.htm", Clean(1500));
  device_.WriteFile(u"\\Scan\\Sub2\\Deeper\\f.bin", Clean(3000));
  device_.WriteFile(u"\\Scan\\Quarantine\\q.exe", Infected(5000));
  device_.WriteFile(u"\\Scan\\Quarantine\\Inner\\r.exe", Infected(5000));
  engine_.SetQuarantineFolder(u"\\Scan\\Quarantine");

  RunSinglePass(u"\\Scan");

  const std::vector<ScanStatus> messages = collector_.Messages();
  ASSERT_EQ(messages.size(), 4u + 6u + 1u + 1u);  // folders, files, one infection, completion
  const ScanStatus& last = messages.back();
  EXPECT_EQ(last.type, kMessageScanComplete);
  EXPECT_EQ(last.state, 1u);
  // The end carries the pass's counters and nothing else.
  ScanStatus counted_end = ZeroRecord<ScanStatus>();
  counted_end.folders_entered = 4;
  counted_end.files_tested = 6;
  counted_end.infected_files = 1;
  // a.exe twice (2 + 2), b.txt 0, c.dat 1, d.exe 0, e.htm 1, f.bin 3.
  counted_end.kilobytes_tested = 9;
  counted_end.state = 1;
  counted_end.type = kMessageScanComplete;
  EXPECT_EQ(std::memcmp(&last, &counted_end, sizeof(last)), 0);

  const ScanStatus& final_progress = messages[messages.size() - 2];
  EXPECT_EQ(final_progress.folders_entered, 4u);
  EXPECT_EQ(final_progress.files_tested, 6u);
  EXPECT_EQ(final_progress.infected_files, 1u);
  EXPECT_EQ(final_progress.kilobytes_tested, 9u);

  // Walk order: each folder's message, then its files, then its subfolders depth first.
  std::vector<std::string> order;
  for (size_t i = 0; i + 1 < messages.size(); ++i) {
    const ScanStatus& m = messages[i];
    EXPECT_EQ(m.type, kMessageProgress);
    EXPECT_EQ(m.state, 1u);
    const std::string folder = Narrow(WideField(m.current_folder));
    const std::string item = Narrow(WideField(m.current_item));
    EXPECT_EQ(folder.find("Quarantine"), std::string::npos);
    order.push_back(item.empty() ? "[" + folder + "]" : item);
  }
  auto position = [&](const std::string& what) {
    return std::find(order.begin(), order.end(), what) - order.begin();
  };
  EXPECT_EQ(order.front(), "[\\Scan]");
  for (const char* file : {"a.exe", "b.txt", "c.dat"}) {
    EXPECT_LT(position(file), position("[\\Scan\\Sub1]"));
    EXPECT_LT(position(file), position("[\\Scan\\Sub2]"));
  }
  EXPECT_EQ(position("d.exe"), position("[\\Scan\\Sub1]") + 1);
  EXPECT_EQ(position("e.htm"), position("[\\Scan\\Sub2]") + 1);
  EXPECT_EQ(position("[\\Scan\\Sub2\\Deeper]"), position("e.htm") + 1);
  EXPECT_EQ(position("f.bin"), position("[\\Scan\\Sub2\\Deeper]") + 1);

  // The infected file: the infection first (its kilobytes with it), then the file tested.
  const size_t at = position("a.exe");
  ASSERT_LT(at + 1, messages.size());
  const ScanStatus& infection = messages[at];
  const ScanStatus& tested = messages[at + 1];
  EXPECT_EQ(infection.infected_files, 1u);
  EXPECT_EQ(tested.infected_files, 1u);
  EXPECT_EQ(tested.files_tested, infection.files_tested + 1);
  EXPECT_EQ(tested.kilobytes_tested, infection.kilobytes_tested + 2);
  EXPECT_EQ(Narrow(WideField(tested.current_item)), "a.exe");
  EXPECT_EQ(Narrow(WideField(infection.current_folder)), "\\Scan");

  const ScanCounters counters = engine_.Counters();
  EXPECT_EQ(counters.folders_entered, 4u);
  EXPECT_EQ(counters.files_tested, 6u);
  EXPECT_EQ(counters.infected_files, 1u);
  EXPECT_EQ(counters.kilobytes_tested, 9u);

  InfectionFile result;
  ASSERT_TRUE(ReadInfectionFile(kResultFile, &result));
  ASSERT_EQ(result.records.size(), 1u);
  EXPECT_EQ(result.records[0].sequence, 0u);
  EXPECT_EQ(WideField(result.records[0].folder), u"\\Scan");
  EXPECT_EQ(WideField(result.records[0].file_name), u"a.exe");
  EXPECT_EQ(result.records[0].virus_id, kVirusId);
  EXPECT_EQ(result.records[0].action, kActionNone);
  EXPECT_TRUE(Notices().empty());
}

TEST_F(ScanEngineTest, CleanPassWritesNoResultFileAndRootFolderIsWalked) {
  device_.WriteFile(u"\\My Documents\\clean.txt", Clean(10));
  RunSinglePass(u"\\");
  EXPECT_FALSE(device_.Exists(kResultFile));
  const ScanCounters counters = engine_.Counters();
  // \, Windows, StartUp, My Documents, Program Files, Kolvar, Temp; the quarantine is skipped.
  EXPECT_EQ(counters.folders_entered, 7u);
  EXPECT_EQ(counters.files_tested, 2u);  // clean.txt and the database, which is never matched
  EXPECT_EQ(counters.infected_files, 0u);
}

TEST_F(ScanEngineTest, StopAndPauseFromAnotherThreadTakeEffectBeforeTheNextFile) {
  device_.WriteFile(u"\\Many\\a.exe", Infected(100));
  for (int i = 0; i < 400; ++i) {
    device_.WriteFile(u"\\Many\\Sub\\f" + platform::Utf8ToUtf16Lossy(std::to_string(i)) + u".txt",
                      Clean(50));
  }
  engine_.SetPacing(true);
  engine_.SetBackgroundScanning(false);
  engine_.SetRootFolder(u"\\Many");
  engine_.StartScan();
  EXPECT_TRUE(engine_.IsScanActive());
  ASSERT_TRUE(WaitFor([&] { return collector_.Count() >= 10; }));

  engine_.PauseScan();
  EXPECT_FALSE(engine_.IsScanActive());
  EXPECT_TRUE(engine_.ScanThreadExists());
  const size_t paused_at = collector_.Count();
  const ScanCounters paused_counters = engine_.Counters();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(collector_.Count(), paused_at);
  EXPECT_EQ(engine_.Counters().files_tested, paused_counters.files_tested);

  engine_.ResumeScan();
  EXPECT_TRUE(engine_.IsScanActive());
  ASSERT_TRUE(WaitFor([&] { return collector_.Count() > paused_at + 5; }));

  engine_.StopScan();
  const size_t stopped_at = collector_.Count();
  EXPECT_FALSE(engine_.ScanThreadExists());
  EXPECT_FALSE(engine_.IsScanActive());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(collector_.Count(), stopped_at);
  EXPECT_EQ(collector_.CountOfType(kMessageScanComplete), 0u);
  const ScanCounters counters = engine_.Counters();  // zeroed by the stop
  EXPECT_EQ(counters.folders_entered + counters.files_tested + counters.kilobytes_tested, 0u);
  // The detection was made, but a stopped pass leaves no result file, and without background
  // scanning nothing acts on it.
  EXPECT_EQ(engine_.InfectionCount(), 1u);
  EXPECT_FALSE(device_.Exists(kResultFile));
  EXPECT_TRUE(device_.Exists(u"\\Many\\a.exe"));
}

// The read position of this process's descriptor open on `host_path`, or -1 when none is open.
long long OpenFilePosition(const std::string& host_path) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
    std::error_code link_error;
    if (fs::read_symlink(entry.path(), link_error) != host_path) continue;
    std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
    std::string key;
    long long value = -1;
    while (info >> key >> value) {
      if (key == "pos:") return value;
    }
  }
  return -1;
}

TEST_F(ScanEngineTest, StopAndPauseTakeEffectBeforeTheNextChunk) {
  const std::u16string big = u"\\Big\\big.bin";
  device_.WriteFile(big, Clean(16 * 1024 * 1024));
  const std::string host = fs::canonical(device_.Host(big)).string();
  engine_.SetPacing(true);
  engine_.SetInteractive(false);
  engine_.SetRootFolder(u"\\Big");
  engine_.StartScan();
  ASSERT_TRUE(WaitFor([&] { return OpenFilePosition(host) >= 4 * 16384; }));

  engine_.PauseScan();
  const long long paused_at = OpenFilePosition(host);
  EXPECT_GT(paused_at, 0);
  EXPECT_EQ(paused_at % 16384, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(OpenFilePosition(host), paused_at);

  engine_.ResumeScan();
  ASSERT_TRUE(WaitFor([&] { return OpenFilePosition(host) > paused_at; }));
  engine_.StopScan();
  EXPECT_EQ(OpenFilePosition(host), -1);  // the test ended with the thread
  EXPECT_EQ(engine_.Counters().files_tested, 0u);
}

TEST_F(ScanEngineTest, ThreadControlWithoutAThreadChangesOnlyFlagsAndCounters) {
  engine_.PauseScan();
  engine_.ResumeScan();
  EXPECT_FALSE(engine_.IsScanActive());
  engine_.AppendInfection(u"\\x", u"y.exe", 0, 1, kActionDelete);
  engine_.SetBackgroundScanning(true);
  device_.WriteFile(u"\\x\\y.exe", "kept");
  engine_.StopScan();  // no thread: no post-pass step
  EXPECT_TRUE(device_.Exists(u"\\x\\y.exe"));
  EXPECT_FALSE(engine_.IsScanActive());
}

TEST_F(ScanEngineTest, BackgroundPassesRepeatAndQuarantineWhatTheUserChose) {
  device_.WriteFile(u"\\Bg\\a.exe", Infected(4000));
  device_.WriteFile(u"\\Bg\\b.txt", Clean(10));
  // The user's answer arrives with the detection: move to the repository.
  engine_.SetDetectionHook(
      [this](std::u16string_view folder, std::u16string_view name, uint32_t virus_id) {
        engine_.AppendInfection(folder, name, 0, virus_id, kActionMove);
      });
  engine_.SetBackgroundScanning(true);
  engine_.SetRootFolder(u"\\Bg");
  const auto began = std::chrono::steady_clock::now();
  engine_.StartScan();
  ASSERT_TRUE(WaitFor([&] { return collector_.CountOfType(kMessagePassFinished) >= 3; }));
  // Unpaced passes of this small folder end at once and rest until their time is up: the third
  // cannot end before the first two have had theirs.
  EXPECT_GE(std::chrono::steady_clock::now() - began,
            std::chrono::milliseconds(2 * kShortestBackgroundPassMs));
  engine_.StopScan();

  const std::vector<ScanStatus> messages = collector_.Messages();
  size_t passes = 0;
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].type != kMessagePassFinished) continue;
    ++passes;
    // The pass's own counters, those of its last progress message; no item or folder.
    ASSERT_GT(i, 0u);
    const ScanStatus& last_progress = messages[i - 1];
    EXPECT_EQ(last_progress.type, kMessageProgress);
    ScanStatus expected = ZeroRecord<ScanStatus>();
    expected.folders_entered = last_progress.folders_entered;
    expected.files_tested = last_progress.files_tested;
    expected.infected_files = last_progress.infected_files;
    expected.kilobytes_tested = last_progress.kilobytes_tested;
    expected.state = 1;
    expected.type = kMessagePassFinished;
    EXPECT_EQ(std::memcmp(&messages[i], &expected, sizeof(expected)), 0);
    EXPECT_GT(expected.files_tested, 0u);
  }
  EXPECT_GE(passes, 3u);
  EXPECT_EQ(collector_.CountOfType(kMessageScanComplete), 0u);
  EXPECT_FALSE(device_.Exists(kResultFile));

  EXPECT_FALSE(device_.Exists(u"\\Bg\\a.exe"));
  EXPECT_TRUE(device_.Exists(std::u16string(kQuarantine) + u"\\%_Bg%@%a.exe.avq"));
  std::vector<RepositoryRecord> index;
  ASSERT_TRUE(ReadRepositoryIndex(kIndex, &index));
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index[0].virus_id, kVirusId);
  EXPECT_EQ(WideField(index[0].folder), u"\\Bg");
  EXPECT_EQ(WideField(index[0].file_name), u"a.exe");
  EXPECT_EQ(WideField(index[0].date), RepositoryDate(platform::CurrentUtcTime()));
  EXPECT_TRUE(Notices().empty());
}

TEST_F(ScanEngineTest, ProcessInfectionsCarriesOutEachActionOnce) {
  const std::u16string folder = u"\\Acts";
  for (const char16_t* name : {u"del.exe", u"move.exe", u"all.exe", u"ign.exe", u"none.exe"}) {
    device_.WriteFile(folder + u"\\" + name, "payload");
  }
  engine_.AppendInfection(folder, u"del.exe", 0, 1, kActionDelete);
  engine_.AppendInfection(folder, u"move.exe", 0, 2, kActionMove);
  engine_.AppendInfection(folder, u"all.exe", 0, 3, kActionMoveAll);
  engine_.AppendInfection(folder, u"ign.exe", 0, 4, kActionIgnoreAll);
  engine_.AppendInfection(folder, u"none.exe", 0, 5, kActionNone);
  engine_.AppendInfection(folder, u"gone.exe", 0, 6, kActionMove);     // the move fails
  engine_.AppendInfection(folder, u"gone2.exe", 0, 7, kActionDelete);  // the delete fails
  engine_.ProcessInfections();

  EXPECT_FALSE(device_.Exists(folder + u"\\del.exe"));
  EXPECT_FALSE(device_.Exists(folder + u"\\move.exe"));
  EXPECT_FALSE(device_.Exists(folder + u"\\all.exe"));
  EXPECT_TRUE(device_.Exists(folder + u"\\ign.exe"));
  EXPECT_TRUE(device_.Exists(folder + u"\\none.exe"));
  const std::vector<Infection> items = engine_.Infections();
  const uint8_t done[] = {1, 1, 1, 0, 0, 0, 0};
  for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].record.done, done[i]) << i;
  const std::vector<std::u16string> expected_notices = {
      u"The file '\\Acts\\gone.exe' cannot be moved to the repository (error 2: not found).",
      u"The file '\\Acts\\gone2.exe' could not be deleted.(error 2: not found)"};
  EXPECT_EQ(Notices(), expected_notices);

  // Only the files that reached the repository are listed, each as it got there.
  std::vector<RepositoryRecord> index;
  ASSERT_TRUE(ReadRepositoryIndex(kIndex, &index));
  ASSERT_EQ(index.size(), 2u);
  EXPECT_EQ(WideField(index[0].file_name), u"move.exe");
  EXPECT_EQ(WideField(index[1].file_name), u"all.exe");

  // Done records are not touched again; the failed ones are tried again.
  device_.WriteFile(folder + u"\\gone.exe", "late");
  engine_.ProcessInfections();
  EXPECT_FALSE(device_.Exists(folder + u"\\gone.exe"));
  ASSERT_TRUE(ReadRepositoryIndex(kIndex, &index));
  ASSERT_EQ(index.size(), 3u);
  EXPECT_EQ(WideField(index[2].file_name), u"gone.exe");
}

TEST_F(ScanEngineTest, SecondQuarantineOfTheSamePathKeepsBothVersions) {
  for (const char* content : {"first", "second"}) {
    device_.WriteFile(u"\\Twice\\v.exe", content);
    engine_.ClearInfections();
    engine_.AppendInfection(u"\\Twice", u"v.exe", 0, kVirusId, kActionMove);
    engine_.ProcessInfections();
  }
  std::vector<RepositoryRecord> index;
  ASSERT_TRUE(ReadRepositoryIndex(kIndex, &index));
  ASSERT_EQ(index.size(), 2u);
  Repository repository(kQuarantine, kIndex);
  for (const char* content : {"first", "second"}) {
    ASSERT_TRUE(ReadRepositoryIndex(kIndex, &index));
    EXPECT_EQ(repository.Restore(index[0], nullptr), RestoreOutcome::kRestored);
    EXPECT_EQ(device_.ReadFile(u"\\Twice\\v.exe"), content);
    ASSERT_TRUE(platform::DeleteFile(u"\\Twice\\v.exe"));
  }
}

TEST_F(ScanEngineTest, RememberedActionsOutliveThePass) {
  engine_.AppendInfection(u"\\r", u"old.exe", 0, kVirusId, kActionNone);
  engine_.SetAction(kVirusId, kActionIgnoreAll);
  EXPECT_EQ(engine_.LookupRememberedAction(kVirusId), kActionIgnoreAll);
  device_.WriteFile(u"\\Rem\\a.exe", Infected(100));
  RunSinglePass(u"\\Rem");
  const std::vector<Infection> items = engine_.Infections();
  ASSERT_EQ(items.size(), 1u);  // the pass started with an empty list
  EXPECT_EQ(items[0].file_name, u"a.exe");
  EXPECT_EQ(items[0].record.action, kActionIgnoreAll);
  EXPECT_EQ(engine_.LookupRememberedAction(kVirusId), kActionIgnoreAll);
}

TEST_F(ScanEngineTest, TooLongPathsAreNeitherEnteredNorTestedAndAreLogged) {
  const std::u16string mid = u"\\Long\\" + std::u16string(120, u'a');   // 126 characters
  const std::u16string deep = mid + u"\\" + std::u16string(140, u'b');  // 267: not entered
  const std::u16string long_file = mid + u"\\" + std::u16string(130, u'c') + u".exe";  // 261
  const std::u16string fitting = mid + u"\\" + std::u16string(128, u'd') + u".exe";    // 259
  device_.WriteFile(u"\\Long\\short.txt", Clean(10));
  // Written through host paths: the device's own calls refuse such paths.
  fs::create_directories(device_.Host(mid) + "/" + std::string(140, 'b'));
  std::ofstream(device_.Host(mid) + "/" + std::string(140, 'b') + "/inner.exe") << Infected(100);
  std::ofstream(device_.Host(mid) + "/" + std::string(130, 'c') + ".exe") << Infected(100);
  std::ofstream(device_.Host(mid) + "/" + std::string(128, 'd') + ".exe") << Clean(100);
  ASSERT_EQ(fitting.size(), 259u);

  RunSinglePass(u"\\Long");
  const ScanCounters counters = engine_.Counters();
  EXPECT_EQ(counters.folders_entered, 2u);  // \Long and the 126-character folder
  EXPECT_EQ(counters.files_tested, 2u);     // short.txt and the 259-character file
  EXPECT_EQ(counters.infected_files, 0u);
  std::vector<std::u16string> logged;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    logged = long_paths_;
  }
  std::sort(logged.begin(), logged.end());
  std::vector<std::u16string> expected = {deep, long_file};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(logged, expected);
}

TEST_F(ScanEngineTest, CutNamesNeverLeadAnActionToAnotherFile) {
  // Two names that agree in their first 127 characters: a record can only hold those.
  const std::u16string stem(127, u'n');
  const std::u16string infected = stem + u"1.exe";
  const std::u16string clean = stem + u"2.exe";
  device_.WriteFile(u"\\Cut\\" + infected, Infected(100));
  device_.WriteFile(u"\\Cut\\" + clean, Clean(100));

  RunSinglePass(u"\\Cut");
  InfectionFile result;
  ASSERT_TRUE(ReadInfectionFile(kResultFile, &result));
  ASSERT_EQ(result.records.size(), 1u);
  EXPECT_EQ(result.records[0].cut, kCutFileName);
  std::u16string path;
  EXPECT_FALSE(InfectionRecordPath(result.records[0], &path));

  // The scanner's own action uses the whole name.
  engine_.SetAction(kVirusId, kActionDelete);
  engine_.ProcessInfections();
  EXPECT_FALSE(device_.Exists(u"\\Cut\\" + infected));
  EXPECT_TRUE(device_.Exists(u"\\Cut\\" + clean));
  EXPECT_TRUE(Notices().empty());
}

TEST_F(ScanEngineTest, LinksAndSpecialFilesAreNeverOpened) {
  device_.WriteFile(u"\\Elsewhere\\v.exe", Infected(100));
  device_.WriteFile(u"\\Links\\ok.txt", Clean(10));
  const std::string links = device_.Host(u"\\Links");
  fs::create_symlink(device_.Host(u"\\Elsewhere\\v.exe"), links + "/link.exe");
  fs::create_directory_symlink(device_.Host(u"\\Elsewhere"), links + "/dirlink");
  ASSERT_EQ(mkfifo((links + "/fifo.exe").c_str(), 0600), 0);
  // A name that is no device text as it stands hides nothing: tested under its device name.
  std::ofstream(links + "/back\\slash.exe") << Infected(100);

  RunSinglePass(u"\\Links");
  const ScanCounters counters = engine_.Counters();
  EXPECT_EQ(counters.folders_entered, 1u);
  EXPECT_EQ(counters.files_tested, 2u);
  EXPECT_EQ(counters.infected_files, 1u);
  InfectionFile result;
  ASSERT_TRUE(ReadInfectionFile(kResultFile, &result));
  ASSERT_EQ(result.records.size(), 1u);
  std::u16string path;
  ASSERT_TRUE(InfectionRecordPath(result.records[0], &path));
  EXPECT_EQ(path, u"\\Links\\back\xF05Cslash.exe");
}

TEST_F(ScanEngineTest, PseudoFileSystemsAreNeverEntered) {
  // The host itself as the device: /proc is always mounted where the suite runs.
  const std::string image_root = device_.root();
  setenv("KOLVAR_DEVICE_ROOT", "/", 1);
  for (const char16_t* root : {u"\\proc", u"\\proc\\self", u"\\proc\\"}) {
    StatusCollector collector;
    engine_.SetStatusSink(collector.Sink());
    engine_.SetRootFolder(root);
    engine_.StartScan();
    ASSERT_TRUE(WaitFor([&] { return collector.CountOfType(kMessageScanComplete) == 1; }));
    EXPECT_EQ(collector.Count(), 1u);  // only the completion
    EXPECT_EQ(engine_.Counters().folders_entered, 0u);
  }
  setenv("KOLVAR_DEVICE_ROOT", image_root.c_str(), 1);
  engine_.SetStatusSink(collector_.Sink());
}

TEST_F(ScanEngineTest, DetectionHookCanSuspendTheScanUntilResumed) {
  device_.WriteFile(u"\\Sus\\a.exe", Infected(100));
  device_.WriteFile(u"\\Sus\\Sub\\b.txt", Clean(10));
  std::atomic<int> suspended{0};
  std::atomic<int> resumed{0};
  engine_.SetDetectionHook([&](std::u16string_view, std::u16string_view, uint32_t) {
    ++suspended;
    if (engine_.SuspendScanThread()) ++resumed;
  });
  engine_.SetRootFolder(u"\\Sus");
  engine_.StartScan();
  ASSERT_TRUE(WaitFor([&] { return suspended == 1; }));
  const size_t count = collector_.Count();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(collector_.Count(), count);
  EXPECT_TRUE(engine_.IsScanActive());  // a suspension in a detection is no pause
  engine_.ResumeScan();
  ASSERT_TRUE(WaitFor([&] { return collector_.CountOfType(kMessageScanComplete) == 1; }));
  EXPECT_EQ(resumed, 1);

  // Stopped while suspended: the hook is told and the thread ends.
  StatusCollector second;
  engine_.SetStatusSink(second.Sink());
  suspended = 0;
  engine_.StartScan();
  ASSERT_TRUE(WaitFor([&] { return suspended == 1; }));
  engine_.StopScan();
  EXPECT_EQ(resumed, 1);
  EXPECT_EQ(second.CountOfType(kMessageScanComplete), 0u);
  engine_.SetStatusSink(collector_.Sink());
}

TEST_F(ScanEngineTest, UnwritableResultFileIsReported) {
  engine_.SetResultFilePath(u"\\Nowhere\\inffile.lst");
  engine_.AppendInfection(u"\\a", u"b.exe", 0, 1, kActionNone);
  EXPECT_FALSE(engine_.WriteInfectionFile());
  std::lock_guard<std::mutex> lock(mutex_);
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_EQ(notices_[0].first, u"Error creating file.");
  EXPECT_EQ(notices_[0].second, platform::kMbOk);
}

}  // namespace
}  // namespace kolvar
