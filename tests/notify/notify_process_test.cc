// The dispatcher kvnotifyd over real processes: time registrations fire once at their moment or,
// missed, at the next start; event registrations fire once per wake-up or connection; and a
// dispatcher killed with SIGKILL at random moments neither loses nor repeats a firing.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "platform/notification.h"
#include "platform/process.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

using platform::NotificationHandle;
using platform::NotificationTrigger;
using platform::Process;

constexpr auto kDeadline = std::chrono::seconds(90);

bool WaitFor(const std::function<bool()>& condition) {
  const auto end = std::chrono::steady_clock::now() + kDeadline;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

platform::SystemTime LocalIn(int seconds) {
  const time_t moment = time(nullptr) + seconds;
  tm local{};
  localtime_r(&moment, &local);
  return platform::SystemTime{static_cast<uint16_t>(local.tm_year + 1900),
                              static_cast<uint16_t>(local.tm_mon + 1),
                              0,
                              static_cast<uint16_t>(local.tm_mday),
                              static_cast<uint16_t>(local.tm_hour),
                              static_cast<uint16_t>(local.tm_min),
                              static_cast<uint16_t>(local.tm_sec),
                              0};
}

class NotifyProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = device_.InstallPrograms({"kvnotifyd", "notify_recorder", "kvnotify"});
    record_ = device_.Host(u"\\Temp\\fired.txt");
    setenv("KOLVAR_NOTIFY_RECORD", record_.c_str(), 1);
    setenv("KOLVAR_NETWORK_STATE_FILE", device_.Host(u"\\Temp\\network").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KOLVAR_NOTIFY_RECORD");
    unsetenv("KOLVAR_NETWORK_STATE_FILE");
    unsetenv("KOLVAR_SLEPT_MS_FILE");
  }

  std::u16string Program(std::u16string_view name) const {
    return folder_ + u"\\" + std::u16string(name);
  }

  NotificationHandle Register(const NotificationTrigger& trigger) {
    NotificationHandle handle = 0;
    EXPECT_TRUE(platform::SetNotification(trigger, &handle));
    return handle;
  }
  NotificationHandle RegisterTime(int seconds_from_now, const std::string& argument) {
    NotificationTrigger trigger;
    trigger.type = platform::kTriggerTime;
    trigger.application = Program(u"notify_recorder");
    trigger.arguments = std::u16string(argument.begin(), argument.end());
    trigger.start = LocalIn(seconds_from_now);
    return Register(trigger);
  }
  NotificationHandle RegisterEvent(uint32_t event, const std::string& argument) {
    NotificationTrigger trigger;
    trigger.type = platform::kTriggerEvent;
    trigger.event = event;
    trigger.application = Program(u"notify_recorder");
    trigger.arguments = std::u16string(argument.begin(), argument.end());
    return Register(trigger);
  }

  Process StartDispatcher(std::u16string_view command_line = u"") {
    Process process;
    EXPECT_TRUE(Process::Start(Program(u"kvnotifyd"), command_line,
                               platform::StartOptions{.detached = true}, &process));
    // Running once its wake event exists.
    EXPECT_TRUE(WaitFor([] { return platform::ObjectExists(u"@_KVNOTIFYD_@"); }));
    return process;
  }

  // How often each command line was started.
  std::map<std::string, int> Fired() const {
    std::map<std::string, int> counts;
    if (!device_.Exists(u"\\Temp\\fired.txt")) return counts;
    const std::string text = device_.ReadFile(u"\\Temp\\fired.txt");
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      ++counts[text.substr(start, end - start)];
    }
    return counts;
  }
  int FiredCount(const std::string& argument) const {
    const auto counts = Fired();
    const auto it = counts.find(argument);
    return it == counts.end() ? 0 : it->second;
  }
  size_t Registrations() const {
    std::vector<NotificationHandle> handles;
    EXPECT_TRUE(platform::ListNotifications(&handles));
    return handles.size();
  }
  // A time registration due now has fired: every pass of the dispatcher before it is over.
  void WaitForSentinel(const std::string& name) {
    RegisterTime(0, name);
    ASSERT_TRUE(WaitFor([&] { return FiredCount(name) == 1; })) << name;
  }

  testing::TestDevice device_;
  std::u16string folder_;
  std::string record_;
};

TEST_F(NotifyProcessTest, ATimeRegistrationFiresOnceAtItsMomentAndIsRemoved) {
  Process dispatcher = StartDispatcher();
  const auto registered = std::chrono::steady_clock::now();
  RegisterTime(3, "at-moment");
  ASSERT_TRUE(WaitFor([&] { return FiredCount("at-moment") == 1; }));
  // Not before its second: the moment is kept to the second, so at least two seconds passed.
  EXPECT_GE(std::chrono::steady_clock::now() - registered, std::chrono::seconds(2));
  EXPECT_TRUE(WaitFor([&] { return Registrations() == 0; }));
  WaitForSentinel("after");
  EXPECT_EQ(FiredCount("at-moment"), 1);
}

TEST_F(NotifyProcessTest, AMissedRunFiresOnceAtTheNextStart) {
  RegisterTime(-3600, "missed");  // an hour ago, while no dispatcher ran
  Process dispatcher = StartDispatcher();
  ASSERT_TRUE(WaitFor([&] { return FiredCount("missed") == 1; }));
  ASSERT_TRUE(dispatcher.Terminate());
  dispatcher.Wait();
  Process again = StartDispatcher();
  WaitForSentinel("after restart");
  EXPECT_EQ(FiredCount("missed"), 1);
  EXPECT_EQ(Registrations(), 0u);
}

// Rounds of registrations due within three seconds and one network connection each, with the
// dispatcher killed (SIGKILL) one to three times at random moments between registering and firing
// and started again after each kill: every time registration fires exactly once, the network
// registration once per connection and the wake-up registration once for the boot.
TEST_F(NotifyProcessTest, ADispatcherKilledAtRandomMomentsNeitherLosesNorRepeats) {
  std::mt19937 random(4242);
  constexpr int kRounds = 10;
  constexpr int kPerRound = 5;
  RegisterEvent(platform::kEventWakeup, "woken");
  RegisterEvent(platform::kEventNetworkConnection, "connected");
  std::map<std::string, int> expected = {{"woken", 1}, {"connected", kRounds}};
  int kills = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    for (int i = 0; i < kPerRound; ++i) {
      const std::string name = "r" + std::to_string(round) + "-" + std::to_string(i);
      RegisterTime(static_cast<int>(random() % 4) - (i == 0 ? 5 : 0), name);
      expected[name] = 1;
    }
    device_.WriteFile(u"\\Temp\\network", "1");  // a connection for this round
    const int round_kills = 1 + static_cast<int>(random() % 3);
    for (int k = 0; k < round_kills; ++k) {
      Process dispatcher = StartDispatcher();
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 2500));
      ASSERT_TRUE(dispatcher.Terminate());
      dispatcher.Wait();
      ++kills;
    }
    Process again = StartDispatcher();
    ASSERT_TRUE(WaitFor([&] {
      return Registrations() == 2 && FiredCount("connected") == round + 1 &&
             FiredCount("woken") == 1;
    }));
    // The disconnection noted, so that the next round's connection is a new one.
    device_.WriteFile(u"\\Temp\\network", "0");
    const std::string sentinel = "offline " + std::to_string(round);
    WaitForSentinel(sentinel);
    expected[sentinel] = 1;
    ASSERT_TRUE(again.Terminate());
    again.Wait();
  }
  int wanted = 0;
  for (const auto& [line, count] : expected) wanted += count;
  ASSERT_TRUE(WaitFor([&] {
    int fired = 0;
    for (const auto& [line, count] : Fired()) fired += count;
    return fired >= wanted;
  }));
  EXPECT_EQ(Fired(), expected);
  int fired = 0;
  for (const auto& [line, count] : Fired()) fired += count;
  std::printf("kill rounds %d, kills %d, fired %d, expected %d\n", kRounds, kills, fired, wanted);
  RecordProperty("rounds", kRounds);
  RecordProperty("kills", kills);
  RecordProperty("fired", fired);
  RecordProperty("expected", wanted);
}

TEST_F(NotifyProcessTest, ANetworkRegistrationFiresOnEachNewConnectionOnly) {
  device_.WriteFile(u"\\Temp\\network", "0");
  RegisterEvent(platform::kEventNetworkConnection, "online");
  Process dispatcher = StartDispatcher();
  WaitForSentinel("offline noted");
  EXPECT_EQ(FiredCount("online"), 0);
  device_.WriteFile(u"\\Temp\\network", "1");
  ASSERT_TRUE(WaitFor([&] { return FiredCount("online") == 1; }));
  // A restart while connected is no new connection.
  ASSERT_TRUE(dispatcher.Terminate());
  dispatcher.Wait();
  Process again = StartDispatcher();
  WaitForSentinel("restarted online");
  EXPECT_EQ(FiredCount("online"), 1);
  device_.WriteFile(u"\\Temp\\network", "0");
  WaitForSentinel("offline again");
  device_.WriteFile(u"\\Temp\\network", "1");
  ASSERT_TRUE(WaitFor([&] { return FiredCount("online") == 2; }));
  EXPECT_EQ(Registrations(), 1u) << "an event registration stays";
}

TEST_F(NotifyProcessTest, AWakeUpRegistrationFiresAtBootAndLoginButNotAtARestart) {
  RegisterEvent(platform::kEventWakeup, "woken");
  // The first start on this device is its first since the boot.
  Process dispatcher = StartDispatcher();
  ASSERT_TRUE(WaitFor([&] { return FiredCount("woken") == 1; }));
  ASSERT_TRUE(dispatcher.Terminate());
  dispatcher.Wait();
  Process again = StartDispatcher();
  WaitForSentinel("restarted");
  EXPECT_EQ(FiredCount("woken"), 1);
  // A login while it runs: the second copy ends at once and the running one fires.
  Process login;
  ASSERT_TRUE(Process::Start(Program(u"kvnotifyd"), u"--login", {}, &login));
  EXPECT_EQ(login.Wait(60000), platform::WaitResult::kSignaled);
  ASSERT_TRUE(WaitFor([&] { return FiredCount("woken") == 2; }));
  EXPECT_TRUE(again.IsAlive());
  // A registration made after a wake-up waits for the next one.
  RegisterEvent(platform::kEventWakeup, "later");
  WaitForSentinel("after login");
  EXPECT_EQ(FiredCount("later"), 0);
  EXPECT_EQ(FiredCount("woken"), 2);
}

// A suspend, as near as a test comes to one: the dispatcher frozen (SIGSTOP) while a time
// registration's moment goes by, then thawed with a minute of suspended time injected through
// its test file. It notes a wake-up and fires the missed registration, each once; a suspend
// while no dispatcher ran is a wake-up at its next start.
TEST_F(NotifyProcessTest, AResumeFromSuspendIsAWakeUpAndCatchesUpMissedMoments) {
  const std::string slept = device_.Host(u"\\Temp\\slept-ms");
  setenv("KOLVAR_SLEPT_MS_FILE", slept.c_str(), 1);
  RegisterEvent(platform::kEventWakeup, "woken");
  Process dispatcher = StartDispatcher();
  ASSERT_TRUE(WaitFor([&] { return FiredCount("woken") == 1; }));  // its start after the boot
  WaitForSentinel("before the suspend");

  ASSERT_EQ(kill(dispatcher.Pid(), SIGSTOP), 0);
  const time_t moment = time(nullptr) + 1;
  RegisterTime(1, "due while asleep");
  // Its moment over by a second, with the dispatcher still frozen.
  ASSERT_TRUE(WaitFor([&] { return time(nullptr) >= moment + 2; }));
  EXPECT_EQ(FiredCount("due while asleep"), 0);
  device_.WriteFile(u"\\Temp\\slept-ms", "60000\n");
  ASSERT_EQ(kill(dispatcher.Pid(), SIGCONT), 0);

  ASSERT_TRUE(WaitFor([&] { return FiredCount("woken") == 2; }));
  ASSERT_TRUE(WaitFor([&] { return FiredCount("due while asleep") == 1; }));
  // One suspend, one wake-up: the same total read again is no new one.
  WaitForSentinel("after the resume");
  WaitForSentinel("later still");
  EXPECT_EQ(FiredCount("woken"), 2);
  EXPECT_EQ(FiredCount("due while asleep"), 1);
  EXPECT_EQ(Registrations(), 1u) << "the wake-up registration stays";
  // A second suspend is a second wake-up.
  device_.WriteFile(u"\\Temp\\slept-ms", "120000\n");
  ASSERT_TRUE(WaitFor([&] { return FiredCount("woken") == 3; }));
  // A suspend while no dispatcher ran is noted at its next start; a mere restart is not one.
  ASSERT_TRUE(dispatcher.Terminate());
  dispatcher.Wait();
  Process restarted = StartDispatcher();
  WaitForSentinel("restarted without a suspend");
  EXPECT_EQ(FiredCount("woken"), 3);
  ASSERT_TRUE(restarted.Terminate());
  restarted.Wait();
  device_.WriteFile(u"\\Temp\\slept-ms", "180000\n");
  Process after_suspend = StartDispatcher();
  ASSERT_TRUE(WaitFor([&] { return FiredCount("woken") == 4; }));
  WaitForSentinel("after the suspend while stopped");
  EXPECT_EQ(FiredCount("woken"), 4);
}

// Runs a command line through the shell; its exit status and standard output.
std::pair<int, std::string> RunCommand(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, ""};
  std::string out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST_F(NotifyProcessTest, KvnotifyRegistersListsAndClears) {
  const NotificationHandle handle = RegisterEvent(platform::kEventNetworkConnection, "7");
  const std::string kvnotify = testing::BinDir() + "/kvnotify ";
  EXPECT_EQ(RunCommand(kvnotify + "list"),
            std::make_pair(0, std::to_string(handle) +
                                  "\tnetwork\t-\t\\Program Files\\Kolvar\\notify_recorder\t7\n"));
  EXPECT_EQ(RunCommand(kvnotify + "clear " + std::to_string(handle)).first, 0);
  EXPECT_EQ(Registrations(), 0u);
  EXPECT_NE(RunCommand(kvnotify + "clear " + std::to_string(handle) + " 2>/dev/null").first, 0);

  // Registering from a script; the kvnotify of the build folder has no dispatcher beside it.
  const auto at = RunCommand(kvnotify + "at '2031-02-03 04:05:06' '\\Program Files\\x' 'a b'");
  EXPECT_EQ(at.first, 0);
  const auto on = RunCommand(kvnotify + "on wake-up '\\Program Files\\y'");
  EXPECT_EQ(on.first, 0);
  EXPECT_EQ(RunCommand(kvnotify + "list").second,
            at.second.substr(0, at.second.size() - 1) +
                "\ttime\t2031-02-03 04:05:06\t\\Program Files\\x\ta b\n" +
                on.second.substr(0, on.second.size() - 1) + "\twake-up\t-\t\\Program Files\\y\t\n");
  for (const char* bad : {"at '2031-02-30 04:05' '\\x'", "at '2031-13-03 04:05:06' '\\x'",
                          "on boot '\\x'", "at '2031-02-03 04:05:06'"}) {
    EXPECT_EQ(RunCommand(kvnotify + bad + " 2>/dev/null").first, 1) << bad;
  }
  EXPECT_EQ(Registrations(), 2u);
}

// A table file that is not ours is refused by the tool and the dispatcher alike, each saying so,
// and nobody writes into it.
TEST_F(NotifyProcessTest, ADamagedTableIsRefusedByKvnotifyAndTheDispatcher) {
  const std::string junk = "not a database, but a note someone left here\n";
  device_.WriteFile(u"\\Windows\\notify.db", junk);
  const auto listed = RunCommand(testing::BinDir() + "/kvnotify list 2>&1");
  EXPECT_EQ(listed.first, 1);
  EXPECT_EQ(listed.second,
            "kvnotify: the notification table: the file is damaged or of an unknown kind\n");
  Process dispatcher;
  ASSERT_TRUE(Process::Start(Program(u"kvnotifyd"), u"", {}, &dispatcher));
  ASSERT_EQ(dispatcher.Wait(60000), platform::WaitResult::kSignaled);
  uint32_t code = 0;
  ASSERT_TRUE(dispatcher.GetExitCode(&code));
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\notify.db"), junk);
}

}  // namespace
}  // namespace kolvar
