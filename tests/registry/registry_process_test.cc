// Several programs in the registry at once: writer processes that create the same key path level
// by level and write hundreds of values each at the same time lose nothing and never see "busy";
// a writer killed at any moment leaves a whole registry and no lock behind. The test process
// reads what the writers wrote through its own connection.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/registry_key.h"
#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/process.h"
#include "platform/registry_store.h"
#include "platform/text.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

using platform::Process;
using platform::RegistryHandle;
using platform::RegistryRoot;

constexpr char16_t kSharedKey[] = u"Software\\Kolvar Corp.\\Concurrency\\Shared";
constexpr uint32_t kWaitMs = 180000;

std::u16string Wide(const std::string& text) { return platform::Utf8ToUtf16Lossy(text); }

std::vector<uint8_t> Sz(const std::u16string& text) {
  std::vector<uint8_t> bytes((text.size() + 1) * 2, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return bytes;
}

class RegistryProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = device_.InstallPrograms({"kolvar_registry_writer"}); }

  void StartWriter(const std::string& tag, int count, Process* process) {
    ASSERT_TRUE(Process::Start(folder_ + u"\\kolvar_registry_writer",
                               Wide(tag + " " + std::to_string(count)), {}, process))
        << platform::GetLastError();
  }

  static void ExpectEndsWithZero(Process* process) {
    ASSERT_EQ(process->Wait(kWaitMs), platform::WaitResult::kSignaled);
    uint32_t code = 99;
    ASSERT_TRUE(process->GetExitCode(&code));
    EXPECT_EQ(code, 0u);
  }

  // Whether the value TAG-i exists, and when it does, that it holds "TAG:i".
  static bool HasValue(const RegistryHandle& key, const std::string& tag, int i) {
    platform::RegistryValue value;
    if (!platform::ReadRegistryValue(key, Wide(tag + "-" + std::to_string(i)), &value)) {
      EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
      return false;
    }
    EXPECT_EQ(value.type, platform::kRegSz);
    EXPECT_EQ(value.data, Sz(Wide(tag + ":" + std::to_string(i))));
    return true;
  }

  static uint32_t CountValues(const RegistryHandle& key) {
    platform::RegistryValue value;
    uint32_t count = 0;
    while (platform::EnumRegistryValue(key, count, &value)) ++count;
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNoMoreItems);
    return count;
  }

  testing::TestDevice device_;
  std::u16string folder_;
};

TEST_F(RegistryProcessTest, WritersInSeveralProcessesAtOnceLoseNothing) {
  constexpr int kWriters = 3;
  constexpr int kValues = 300;
  std::vector<Process> writers(kWriters);
  for (int w = 0; w < kWriters; ++w) StartWriter("w" + std::to_string(w), kValues, &writers[w]);
  for (Process& writer : writers) ExpectEndsWithZero(&writer);

  RegistryHandle key;
  ASSERT_TRUE(platform::OpenRegistryKey(RegistryRoot::kCurrentUser, kSharedKey, &key));
  EXPECT_EQ(CountValues(key), static_cast<uint32_t>(kWriters * kValues));
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      ASSERT_TRUE(HasValue(key, "w" + std::to_string(w), i)) << w << " " << i;
    }
  }
  // The levels that the writers raced to create exist once each.
  RegistryHandle company;
  ASSERT_TRUE(
      platform::OpenRegistryKey(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp.", &company));
  std::u16string name;
  ASSERT_TRUE(platform::EnumRegistryKey(company, 0, &name));
  EXPECT_EQ(name, u"Concurrency");
  EXPECT_FALSE(platform::EnumRegistryKey(company, 1, &name));
}

TEST_F(RegistryProcessTest, AWriterKilledAtAnyMomentLeavesAWholeRegistryAndNoLock) {
  RegistryHandle key;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    const std::string tag = "k" + std::to_string(round);
    Process writer;
    StartWriter(tag, 1000000, &writer);
    // Kill it somewhere inside its stream of writes, a little later each round.
    const int target = 10 + 17 * round;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
      if (!key.IsValid()) platform::OpenRegistryKey(RegistryRoot::kCurrentUser, kSharedKey, &key);
      if (key.IsValid() && HasValue(key, tag, target)) break;
      ASSERT_LT(std::chrono::steady_clock::now(), deadline);
      ASSERT_TRUE(writer.IsAlive());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(writer.Terminate());
    ASSERT_EQ(writer.Wait(kWaitMs), platform::WaitResult::kSignaled);

    // Each write committed before the next began, so exactly a prefix of the values exists.
    int written = 0;
    while (HasValue(key, tag, written)) ++written;
    EXPECT_GT(written, target);
    for (int i = written; i < written + 5; ++i) EXPECT_FALSE(HasValue(key, tag, i));
  }
  // Nothing is left locked: another program and this one write at once.
  Process after;
  StartWriter("after", 50, &after);
  RegistryKey own(kRegistryPathCompany, kRegistryRootCurrentUser);
  ASSERT_TRUE(own.OpenKey(u"Concurrency\\Shared", false, false));
  for (int i = 0; i < 50; ++i) {
    const std::vector<uint8_t> data = Sz(Wide("own:" + std::to_string(i)));
    ASSERT_TRUE(own.SetValue(Wide("own-" + std::to_string(i)), platform::kRegSz, data.data(),
                             static_cast<uint32_t>(data.size())));
  }
  ExpectEndsWithZero(&after);
  for (int i = 0; i < 50; ++i) {
    EXPECT_TRUE(HasValue(key, "after", i));
    EXPECT_TRUE(HasValue(key, "own", i));
  }
}

}  // namespace
}  // namespace kolvar
