// The service's life across real processes: started by a client through the registry, recording
// its registry values, one instance, stopped by its presence event, and killed and started again
// without stale presence, stuck locks or clients left waiting.
#include <signal.h>
#include <stdio.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "ipc/ipc_names.h"
#include "platform/kernel_objects.h"
#include "platform/registry_store.h"
#include "platform/text.h"
#include "tests/ipc/ipc_test_support.h"

namespace kolvar {
namespace {

using platform::RegistryHandle;
using platform::RegistryRoot;

constexpr char16_t kServiceKey[] = u"Software\\Kolvar Corp.\\Kolvar IPC Service";

void PutString(RegistryRoot root, std::u16string_view path, std::u16string_view name,
               std::u16string_view text) {
  RegistryHandle key;
  ASSERT_TRUE(platform::CreateRegistryKey(root, path, &key));
  if (name.empty()) return;
  std::u16string data(text);
  data.push_back(u'\0');
  ASSERT_TRUE(platform::SetRegistryValue(key, name, platform::kRegSz, data.data(),
                                         static_cast<uint32_t>(data.size() * 2)));
}

// The string value, or "<missing>".
std::u16string GetString(RegistryRoot root, std::u16string_view path, std::u16string_view name) {
  RegistryHandle key;
  platform::RegistryValue value;
  if (!platform::OpenRegistryKey(root, path, &key) ||
      !platform::ReadRegistryValue(key, name, &value) || value.type != platform::kRegSz) {
    return u"<missing>";
  }
  std::u16string text(value.data.size() / 2, u'\0');
  std::memcpy(text.data(), value.data.data(), text.size() * 2);
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

size_t ServicesRunning(const testing::TestDevice& device) {
  size_t count = 0;
  for (pid_t pid : platform::FindProcessesByFileName(u"kvipcsrv")) {
    for (pid_t own : device.ProcessesOfDevice()) count += pid == own;
  }
  return count;
}

// True once every thread of the process has taken a SIGSTOP.
bool AllThreadsStopped(pid_t pid) {
  std::string folder = "/proc/" + std::to_string(pid) + "/task";
  bool any = false;
  for (const auto& task : std::filesystem::directory_iterator(folder)) {
    std::ifstream stat(task.path() / "stat");
    std::string line;
    std::getline(stat, line);
    size_t paren = line.rfind(')');
    if (paren == std::string::npos || paren + 2 >= line.size() || line[paren + 2] != 'T') {
      return false;
    }
    any = true;
  }
  return any;
}

using ServiceLifeTest = IpcTest;

TEST_F(ServiceLifeTest, ClientStartsTheServiceFoundThroughTheRegistry) {
  PutString(RegistryRoot::kCurrentUser, kServiceKey, u"InstallDir", folder_ + u"\\");
  IpcChannel channel(/*start_service=*/true, false);
  ASSERT_EQ(channel.GetStatus(), kStatusOk);
  EXPECT_TRUE(IpcConnection::IsServiceRunning());
  EXPECT_EQ(ServicesRunning(device_), 1u);
  ASSERT_TRUE(channel.Register(u"ANTIVIRUS"));
  // The service leaves an existing key as it is.
  EXPECT_EQ(GetString(RegistryRoot::kCurrentUser, kServiceKey, u"Version"), u"<missing>");
}

TEST_F(ServiceLifeTest, ClientThatCannotStartTheServiceReportsWhy) {
  struct Case {
    const char* what;
    std::u16string install_dir;  // empty: no value; "-": no key
    Status status;
  };
  for (const Case& c : {Case{"no key", u"-", kStatusServiceKeyOpenFailed},
                        Case{"no value", u"", kStatusValueReadFailed},
                        Case{"no program", u"\\Temp\\", kStatusServiceStartFailed}}) {
    if (c.install_dir != u"-") {
      PutString(RegistryRoot::kCurrentUser, kServiceKey,
                c.install_dir.empty() ? u"" : u"InstallDir", c.install_dir);
    }
    IpcChannel channel(true, false);
    EXPECT_EQ(channel.GetStatus(), c.status) << c.what;
    EXPECT_FALSE(IpcConnection::IsServiceRunning()) << c.what;
  }
  IpcChannel without_start(false, false);
  EXPECT_EQ(without_start.GetStatus(), kStatusServiceNotRunning);
}

TEST_F(ServiceLifeTest, FirstStartRecordsWhereTheServiceIsAndBootStartWhenInitExists) {
  for (bool with_init : {false, true}) {
    SCOPED_TRACE(with_init ? "with Init" : "without Init");
    RegistryHandle root(RegistryRoot::kCurrentUser);
    platform::DeleteRegistryKey(root, kServiceKey);
    if (with_init) PutString(RegistryRoot::kLocalMachine, u"Init", u"", u"");
    platform::Process service = StartService();
    // The service maps its database after it has written the registry.
    ASSERT_TRUE(WaitUntil([] { return platform::ObjectExists(kIpcDatabaseName); }));
    EXPECT_EQ(GetString(RegistryRoot::kCurrentUser, kServiceKey, u"InstallDir"), folder_ + u"\\");
    EXPECT_EQ(GetString(RegistryRoot::kCurrentUser, kServiceKey, u"IPCDB"),
              u"\\Windows\\_$kvcipcdb$_");
    EXPECT_EQ(GetString(RegistryRoot::kCurrentUser, kServiceKey, u"Version"), u"1.51");
    RegistryHandle init;
    EXPECT_EQ(platform::OpenRegistryKey(RegistryRoot::kLocalMachine, u"Init", &init), with_init);
    EXPECT_EQ(GetString(RegistryRoot::kLocalMachine, u"Init", u"Launch99"),
              with_init ? folder_ + u"\\kvipcsrv" : u"<missing>");
    service.Terminate();
    ASSERT_TRUE(WaitUntil([] {
      return !IpcConnection::IsServiceRunning() && !platform::ObjectExists(kIpcDatabaseName);
    }));
  }
}

TEST_F(ServiceLifeTest, DatabaseThatCannotBeMappedIsReportedInTheServicesWords) {
  // A block of that name too small for the database makes the mapping fail with 5, whose meaning
  // follows the service's own text.
  platform::SharedMemory squatter;
  ASSERT_TRUE(squatter.Create(kIpcDatabaseName, 8));
  std::string log = device_.Host(u"\\Temp\\boxes.log");
  setenv("KOLVAR_MSGBOX_LOG", log.c_str(), 1);
  platform::Process service = LaunchService();
  unsetenv("KOLVAR_MSGBOX_LOG");
  EXPECT_EQ(ExitCodeWithin(service), 0u);
  EXPECT_FALSE(IpcConnection::IsServiceRunning());
  EXPECT_EQ(device_.ReadFile(u"\\Temp\\boxes.log"),
            "{\"program\":\"kvipcsrv\",\"caption\":\"Kolvar IPC Service\",\"text\":\"Error 5 "
            "calling KVCIPCDB::OpenIPCDatabase!\\nCause: error 5: access denied\",\"style\":16}\n");
}

TEST_F(ServiceLifeTest, SecondStartLeavesOneInstance) {
  platform::Process first = StartService();
  platform::Process second = LaunchService();
  EXPECT_EQ(ExitCodeWithin(second), 0u);
  EXPECT_TRUE(first.IsAlive());
  EXPECT_EQ(ServicesRunning(device_), 1u);
}

TEST_F(ServiceLifeTest, SettingThePresenceEventStopsTheService) {
  platform::Process service = StartService();
  platform::Process client = StartRegisteredClient("HOLDER", "echo");
  IpcChannel channel(false, false);
  ASSERT_TRUE(channel.Register(u"T"));
  ASSERT_TRUE(channel.StartWorker());
  ASSERT_TRUE(SendText(channel, u"HOLDER", "ping"));
  ASSERT_TRUE(ReceiveWithin(channel).has_value());

  platform::Event stop;
  ASSERT_TRUE(stop.Open(kIpcServiceEventName));
  ASSERT_TRUE(stop.Set());
  stop.Close();
  // The worker leaves before the database is released: the service ends cleanly, not by a signal.
  EXPECT_EQ(ExitCodeWithin(service), 0u);
  EXPECT_FALSE(IpcConnection::IsServiceRunning());
  EXPECT_EQ(LoadShared(Database().header().channel_count), 0u);
  EXPECT_EQ(SlotOf(u"HOLDER"), -1);
}

// Freezes the service, lets `operation` post its request to it, then kills the service: the
// operation must come back with 33 instead of waiting for an answer that never comes.
void KillServiceUnder(platform::Process& service, const std::function<bool()>& operation,
                      IpcConnection& connection) {
  ASSERT_EQ(kill(service.Pid(), SIGSTOP), 0);
  ASSERT_TRUE(WaitUntil([&] { return AllThreadsStopped(service.Pid()); }));
  auto waiting = std::async(std::launch::async, operation);
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  ASSERT_TRUE(service.Terminate());
  ASSERT_EQ(service.Wait(15000), platform::WaitResult::kSignaled);
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(15)), std::future_status::ready);
  EXPECT_FALSE(waiting.get());
  EXPECT_EQ(connection.GetStatus(), kStatusServiceNotRunning);
  EXPECT_FALSE(IpcConnection::IsServiceRunning());
}

TEST_F(ServiceLifeTest, KilledServiceRestartsAndReleasesClientsWaitingForIt) {
  platform::Process service = StartService();
  platform::Process echo = StartRegisteredClient("ECHO", "echo");
  IpcChannel channel(false, false);
  ASSERT_EQ(channel.GetStatus(), kStatusOk);
  const uint32_t echo_registration = channel.ChannelRegistration(u"ECHO");
  ASSERT_NE(echo_registration, 0u);
  KillServiceUnder(
      service, [&] { return channel.Register(u"T"); }, channel);
  EXPECT_EQ(channel.channel_index(), -1);

  platform::Process restarted = StartService();
  ASSERT_TRUE(channel.Register(u"T")) << channel.GetStatus();
  ASSERT_TRUE(channel.StartWorker());
  // The echo's channel lived on in the database and the new service took it over, as the same
  // registration to its peers.
  EXPECT_GE(SlotOf(u"ECHO"), 0);
  EXPECT_EQ(channel.ChannelRegistration(u"ECHO"), echo_registration);
  EXPECT_NE(channel.registration(), echo_registration);
  ASSERT_TRUE(SendText(channel, u"ECHO", "still there"));
  auto reply = ReceiveWithin(channel);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->data, "still there");
  ASSERT_TRUE(echo.Terminate());
  EXPECT_TRUE(WaitUntil([&] { return SlotOf(u"ECHO") < 0; }));
  EXPECT_TRUE(restarted.IsAlive());

  // Unregister is released the same way, and the channel stays usable for the next service.
  KillServiceUnder(
      restarted, [&] { return channel.Unregister(); }, channel);
  EXPECT_GE(channel.channel_index(), 0);
  platform::Process third = StartService();
  ASSERT_TRUE(channel.Unregister()) << channel.GetStatus();
  EXPECT_EQ(SlotOf(u"T"), -1);
}

TEST_F(ServiceLifeTest, ProgramKilledWhileHoldingTheRequestAreaDoesNotBlockRegistration) {
  platform::Process service = StartService();
  platform::Event ready;
  ASSERT_TRUE(ready.Create(u"HOLDER_READY", true, false));
  platform::Process holder = StartClient("lock=KVCIPCCPLEV ready=HOLDER_READY");
  ASSERT_EQ(ready.Wait(15000), platform::WaitResult::kSignaled);
  ASSERT_TRUE(holder.Terminate());
  IpcChannel channel(false, false);
  EXPECT_TRUE(channel.Register(u"AFTER"));
}

TEST_F(ServiceLifeTest, KvipcstatPrintsTheDatabaseAsTheServiceSeesIt) {
  platform::Process service = StartService();
  platform::Process echo = StartRegisteredClient("ECHO", "echo");
  IpcChannel channel(false, false);
  ASSERT_TRUE(channel.Register(u"T"));
  std::string command = "'" + device_.Host(folder_ + u"\\kvipcstat") + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof(buffer), pipe)) out.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(out.find("101472 bytes, 2 channels registered"), std::string::npos) << out;
  int slot = SlotOf(u"ECHO");
  char line[128];
  snprintf(line, sizeof(line), "%-5d %-6s %-5d %-32s %-8d %-5d %-8s %-8s", slot, "yes", slot,
           "ECHO", echo.Pid(), 0, "empty", "empty");
  EXPECT_NE(out.find(line), std::string::npos) << out;
  // Looking changed nothing.
  EXPECT_EQ(LoadShared(Database().header().channel_count), 2u);
  EXPECT_TRUE(channel.IsRegistered(u"ECHO"));
}

}  // namespace
}  // namespace kolvar
