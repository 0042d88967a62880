// ipc_latency_bench: how long a message takes from one channel to another and back, and how many
// messages per second reach a channel, first between two channels alone, then while a third
// channel floods the echoing one. Runs on a private device image of its own with the built
// kvipcsrv and ipc_latency_peer; prints the machine and the figures.
//
// Usage: ipc_latency_bench [rounds [flood_rounds]]
//   rounds: round trips and messages per quiet measurement (200 by default);
//   flood_rounds: the same under the flood (20 by default: a flooded service queue holds a few
//   hundred records and moves one per 25 ms pass, so each of these takes seconds).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ipc/ipc_channel.h"
#include "ipc/ipc_names.h"
#include "platform/kernel_objects.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace {

namespace fs = std::filesystem;
namespace platform = kolvar::platform;
using Clock = std::chrono::steady_clock;

constexpr char16_t kFolder[] = u"\\Program Files\\Kolvar";

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

// A private device image and namespace, so the benchmark never meets a real service.
struct Image {
  fs::path root;
  fs::path names;

  Image() {
    std::string id = std::to_string(platform::CurrentProcessId());
    root = fs::temp_directory_path() / ("kolvar-ipcbench-" + id);
    names = fs::temp_directory_path() / ("kolvar-ipcbench-ns-" + id);
    for (const char* folder : {"Windows", "Temp", "My Documents", "Program Files/Kolvar"}) {
      fs::create_directories(root / folder);
    }
    fs::create_directories(names);
    fs::permissions(names, fs::perms::owner_all, fs::perm_options::replace);
    setenv("KOLVAR_DEVICE_ROOT", root.c_str(), 1);
    setenv("KOLVAR_RUNTIME_DIR", names.c_str(), 1);
    fs::path bin = fs::path(platform::CurrentExecutableHostPath()).parent_path();
    for (const char* program : {"kvipcsrv", "ipc_latency_peer"}) {
      std::error_code ec;
      fs::create_hard_link(bin / program, root / "Program Files/Kolvar" / program, ec);
      if (ec) fs::copy_file(bin / program, root / "Program Files/Kolvar" / program);
    }
  }
  ~Image() {
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::remove_all(names, ec);
  }
};

platform::Process Start(std::u16string_view program, std::string_view words) {
  platform::Process process;
  if (!platform::Process::Start(std::u16string(kFolder) + u"\\" + std::u16string(program),
                                platform::Utf8ToUtf16Lossy(words), {}, &process)) {
    std::fprintf(stderr, "cannot start %s\n", platform::Utf16ToUtf8(program).c_str());
    std::exit(1);
  }
  return process;
}

bool WaitRegistered(kolvar::IpcChannel& channel, std::u16string_view name) {
  for (int i = 0; i < 1000; ++i) {
    if (channel.IsRegistered(name)) return true;
  }
  return false;
}

bool ReceiveOne(kolvar::IpcChannel& channel, std::vector<char>& buffer) {
  uint32_t length = 0;
  std::u16string sender;
  auto deadline = Clock::now() + std::chrono::seconds(600);
  while (!channel.Receive(buffer.data(), &length, &sender)) {
    if (Clock::now() > deadline) return false;
    platform::Sleep(1);
  }
  return true;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

void RoundTrips(kolvar::IpcChannel& ping, int rounds, const char* label) {
  std::vector<double> times;
  std::vector<char> buffer(kolvar::kIpcMaxMessageLength);
  std::string message(64, 'p');
  for (int i = 0; i < rounds; ++i) {
    auto start = Clock::now();
    while (!ping.Send(u"PONG", message.data(), static_cast<uint32_t>(message.size()))) {
      platform::Sleep(1);
    }
    if (!ReceiveOne(ping, buffer)) {
      std::printf("%-34s reply lost after %d rounds\n", label, i);
      return;
    }
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::printf("%-34s median %7.1f ms   p99 %7.1f ms   (%d round trips)\n", label,
              Percentile(times, 0.5), Percentile(times, 0.99), rounds);
}

void Rate(kolvar::IpcChannel& ping, std::u16string_view sink, int count, const char* label) {
  std::vector<char> buffer(kolvar::kIpcMaxMessageLength);
  std::string message(64, 'r');
  auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    while (!ping.Send(sink, message.data(), static_cast<uint32_t>(message.size()))) {
      platform::Sleep(1);
    }
  }
  if (!ReceiveOne(ping, buffer)) {
    std::printf("%-34s sink did not finish\n", label);
    return;
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%-34s %7.1f messages/s   (%d messages of 64 bytes in %.2f s)\n", label,
              count / seconds, count, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  int flood_rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Image image;
  std::printf("machine: %u logical CPUs, %s\n", std::thread::hardware_concurrency(),
              CpuModel().c_str());

  platform::Process service = Start(kolvar::kIpcServiceProgram, "");
  for (int i = 0; i < 2000 && !kolvar::IpcConnection::IsServiceRunning(); ++i) platform::Sleep(1);
  kolvar::IpcChannel ping(false, false);
  if (ping.GetStatus() != 0 || !ping.Register(u"PING") || !ping.StartWorker()) {
    std::fprintf(stderr, "cannot set up channel PING (status %u)\n", ping.GetStatus());
    return 1;
  }
  std::vector<platform::Process> peers;
  peers.push_back(Start(u"ipc_latency_peer", "echo PONG PING"));
  peers.push_back(Start(u"ipc_latency_peer", "sink SINK " + std::to_string(rounds) + " PING"));
  peers.push_back(
      Start(u"ipc_latency_peer", "sink SINK2 " + std::to_string(flood_rounds) + " PING"));
  if (!WaitRegistered(ping, u"PONG") || !WaitRegistered(ping, u"SINK") ||
      !WaitRegistered(ping, u"SINK2")) {
    return 1;
  }

  RoundTrips(ping, rounds, "round trip, two channels:");
  Rate(ping, u"SINK", rounds, "rate PING->SINK, quiet:");

  peers.push_back(Start(u"ipc_latency_peer", "flood FLOOD PONG"));
  if (!WaitRegistered(ping, u"FLOOD")) return 1;
  platform::Sleep(2000);  // let the flood fill the service's queue
  RoundTrips(ping, flood_rounds, "round trip, FLOOD->PONG running:");
  Rate(ping, u"SINK2", flood_rounds, "rate PING->SINK2, FLOOD running:");

  for (auto& peer : peers) peer.Terminate();
  ping.StopWorker();
  ping.Unregister();
  platform::Event stop;
  if (stop.Open(kolvar::kIpcServiceEventName)) stop.Set();
  service.Wait(5000);
  service.Terminate();
  return 0;
}
