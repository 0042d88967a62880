// Every file the suite replaces, written by a real program that is killed at random moments while
// this one keeps reading: each read, and the file left after each kill, is one whole version.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "platform/process.h"
#include "tests/files/replaced_files.h"
#include "tests/testing/test_device.h"

namespace kolvar::testing {
namespace {

using platform::Process;
using platform::WaitResult;
using Clock = std::chrono::steady_clock;

constexpr char16_t kPath[] = u"\\Windows\\replaced.dat";
constexpr int kRounds = 20;
// A failure bound only: how long the writer may take to replace the file once on a busy machine.
constexpr auto kReplaceBound = std::chrono::seconds(120);

class ReplacedFileKillTest : public ::testing::TestWithParam<ReplacedFile> {
 protected:
  void SetUp() override { folder_ = device_.InstallPrograms({"replaced_file_writer"}); }

  void StartWriter(int first_version) {
    const std::string command = std::string(ReplacedFileWord(GetParam())) + " " +
                                "\\Windows\\replaced.dat " + std::to_string(first_version);
    ASSERT_TRUE(Process::Start(folder_ + u"\\replaced_file_writer",
                               std::u16string(command.begin(), command.end()), {}, &writer_));
  }

  TestDevice device_;
  std::u16string folder_;
  Process writer_;
};

TEST_P(ReplacedFileKillTest, KilledWriterLeavesTheOldOrTheNewFile) {
  ASSERT_TRUE(WriteReplacedFile(GetParam(), kPath, 1));
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  int current = 1;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    StartWriter(3 - current);
    // Wait until the writer has replaced the file once, so that the kill falls into a later
    // replacement; every read meanwhile sees a whole version.
    const auto deadline = Clock::now() + kReplaceBound;
    int seen = current;
    while (seen == current && Clock::now() < deadline) {
      ASSERT_NE(writer_.Wait(0), WaitResult::kSignaled) << "the writer failed";
      seen = ReadReplacedFile(GetParam(), kPath);
      ASSERT_NE(seen, 0) << "a reader met a torn file";
    }
    ASSERT_NE(seen, current) << "the writer never replaced the file";
    const auto kill_at = Clock::now() + std::chrono::milliseconds(random() % 40);
    while (Clock::now() < kill_at) {
      ASSERT_NE(ReadReplacedFile(GetParam(), kPath), 0) << "a reader met a torn file";
    }
    ASSERT_TRUE(writer_.Terminate());
    ASSERT_EQ(writer_.Wait(30000), WaitResult::kSignaled);
    current = ReadReplacedFile(GetParam(), kPath);
    ASSERT_NE(current, 0) << "the kill left a torn file";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryReplacedFile, ReplacedFileKillTest,
                         ::testing::Values(ReplacedFile::kConfiguration, ReplacedFile::kResultFile,
                                           ReplacedFile::kVirusDetails,
                                           ReplacedFile::kRepositoryIndex),
                         [](const ::testing::TestParamInfo<ReplacedFile>& info) {
                           std::string name(ReplacedFileWord(info.param));
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace kolvar::testing
