// scan_memory_bench: whether the background scanner's memory stays flat over a large tree. It
// builds a private device image holding a tree of small files (100,000 by default, one in a
// thousand infected) and one sparse file of 4 GiB, runs one interactive scan of it in the real
// KVBkgScan (background scanning and pacing off) under the real kvipcsrv, and samples the scanner's
// resident size from /proc/<pid>/status while it walks. It prints the resident size before the
// scan, after the first tenth of the files, at the end, the peak (VmHWM), and the files and
// kilobytes the scanner counted; it exits 1 when the scan did not complete, the memory grew with
// the tree, or the kilobytes counted miss the sparse file.
//
// Usage: scan_memory_bench [files [sparse_gib]]
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/config_keys.h"
#include "common/configuration.h"
#include "ipc/ipc_channel.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/scan_records.h"

namespace {

namespace fs = std::filesystem;
namespace platform = kolvar::platform;
using Clock = std::chrono::steady_clock;

constexpr char16_t kFolder[] = u"\\Program Files\\Kolvar";
constexpr int kFilesPerFolder = 1000;
// Growth of the peak over the resident size after the first tenth that still counts as flat: the
// tree is walked depth first, so what a walk keeps per folder is bounded by the depth (2 here),
// and nothing it keeps may grow with the number of files.
constexpr long kFlatSlackKb = 8 * 1024;
// EICAR's test string, in every tenth folder, so that detections are part of the walk.
constexpr char kEicar[] = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

// A private device image and namespace, so the benchmark never meets a running suite.
struct Image {
  fs::path root;
  fs::path names;

  Image() {
    const std::string id = std::to_string(getpid());
    root = fs::temp_directory_path() / ("kolvar-membench-" + id);
    names = fs::temp_directory_path() / ("kolvar-membench-ns-" + id);
    for (const char* folder : {"Windows", "Temp", "My Documents", "Program Files/Kolvar"}) {
      fs::create_directories(root / folder);
    }
    fs::create_directories(names);
    fs::permissions(names, fs::perms::owner_all, fs::perm_options::replace);
    setenv("KOLVAR_DEVICE_ROOT", root.c_str(), 1);
    setenv("KOLVAR_RUNTIME_DIR", names.c_str(), 1);
    const fs::path bin = fs::path(platform::CurrentExecutableHostPath()).parent_path();
    for (const char* name : {"kvipcsrv", "KVBkgScan", "KVVirusDB.dat", "KVVirusDBDet.dat"}) {
      std::error_code ec;
      fs::create_hard_link(bin / name, root / "Program Files/Kolvar" / name, ec);
      if (ec) fs::copy_file(bin / name, root / "Program Files/Kolvar" / name);
    }
  }
  ~Image() {
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::remove_all(names, ec);
  }
};

// A field of /proc/<pid>/status in kilobytes ("VmRSS", "VmHWM"); -1 when it cannot be read.
long StatusKb(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  }
  return -1;
}

bool WriteConfiguration() {
  std::unique_ptr<kolvar::ConfigurationFile> configuration;
  kolvar::OpenConfiguration(/*keep_as_is=*/false, &configuration);
  kolvar::ConfigStore& store = configuration->store();
  for (const char* key : {kolvar::config_keys::kEnableBckScan, "ScanPacing"}) {
    const uint32_t off = 0;
    if (!store.SetValue(key, kolvar::kConfigTypeInteger, sizeof(off), &off,
                        kolvar::config_keys::kConfig)) {
      if (!store.SelectSection(kolvar::config_keys::kConfig) ||
          !store.AddValue(key, kolvar::kConfigTypeInteger, sizeof(off), &off)) {
        return false;
      }
    }
  }
  return configuration->Save();
}

// The tree: \Bench\dNNN\fNNNNNN.txt, 1000 files a folder, 200 bytes each; the first file of every
// tenth folder holds EICAR; and \Bench\sparse.bin, `sparse_gib` GiB with no data written.
int BuildTree(const fs::path& bench, int files, int sparse_gib) {
  int infected = 0;
  const std::string clean(200, 'c');
  for (int i = 0; i < files; ++i) {
    const int folder = i / kFilesPerFolder;
    const fs::path dir = bench / ("d" + std::to_string(folder));
    if (i % kFilesPerFolder == 0) fs::create_directories(dir);
    std::ofstream out(dir / ("f" + std::to_string(i) + ".txt"), std::ios::binary);
    if (i % kFilesPerFolder == 0 && folder % 10 == 0) {
      out << kEicar;
      ++infected;
    } else {
      out << clean;
    }
  }
  if (sparse_gib > 0) {
    std::ofstream(bench / "sparse.bin").close();
    fs::resize_file(bench / "sparse.bin", static_cast<uintmax_t>(sparse_gib) << 30);
  }
  return infected;
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int sparse_gib = argc > 2 ? std::atoi(argv[2]) : 4;
  Image image;
  if (!WriteConfiguration()) {
    std::fprintf(stderr, "cannot write the configuration\n");
    return 2;
  }
  const auto build_start = Clock::now();
  const int infected = BuildTree(image.root / "Bench", files, sparse_gib);
  std::printf("tree: %d files (%d infected) and a %d GiB sparse file, built in %.1f s\n", files,
              infected, sparse_gib,
              std::chrono::duration<double>(Clock::now() - build_start).count());

  platform::Process service;
  platform::Process scanner;
  if (!platform::Process::Start(std::u16string(kFolder) + u"\\kvipcsrv", u"", {}, &service)) {
    std::fprintf(stderr, "cannot start kvipcsrv\n");
    return 2;
  }
  while (!kolvar::IpcConnection::IsServiceRunning()) platform::Sleep(10);
  kolvar::IpcChannel channel(/*start_service=*/false, /*private_heaps=*/false);
  if (channel.GetStatus() != kolvar::kStatusOk || !channel.Register(kolvar::kMainChannel) ||
      !channel.StartWorker() ||
      !platform::Process::Start(std::u16string(kFolder) + u"\\KVBkgScan", u"", {}, &scanner)) {
    std::fprintf(stderr, "cannot set up the channel or start KVBkgScan\n");
    service.Terminate();
    return 2;
  }
  while (!channel.IsRegistered(kolvar::kScannerChannel) && scanner.IsAlive()) platform::Sleep(10);
  const pid_t pid = scanner.Pid();
  const auto never = [] { return false; };
  const kolvar::ScanCommand attach = kolvar::MakeAttachCommand(u"\\Bench");
  const kolvar::ScanCommand start = kolvar::MakeScanCommand(kolvar::kCommandStart);
  kolvar::SendScanMessage(channel, kolvar::kScannerChannel, &attach, sizeof(attach),
                          kolvar::SendPolicy::kMustArrive, never);

  // Messages are taken as they come, so the scanner never waits on a full queue; the resident
  // size is sampled every 100 ms.
  uint8_t buffer[kolvar::kIpcMaxMessageLength];
  uint32_t length = 0;
  std::u16string sender;
  long before_kb = -1;
  long tenth_kb = -1;
  long last_rss_kb = -1;
  long max_sampled_kb = 0;
  kolvar::ScanStatus last{};
  bool started = false;
  bool complete = false;
  const auto scan_start = Clock::now();
  auto next_sample = Clock::now();
  const auto deadline = Clock::now() + std::chrono::hours(2);
  while (!complete && scanner.IsAlive() && Clock::now() < deadline) {
    if (Clock::now() >= next_sample) {
      next_sample += std::chrono::milliseconds(100);
      last_rss_kb = StatusKb(pid, "VmRSS");
      max_sampled_kb = std::max(max_sampled_kb, last_rss_kb);
      if (tenth_kb < 0 && last.files_tested >= static_cast<uint32_t>(files / 10)) {
        tenth_kb = last_rss_kb;
      }
    }
    if (!channel.Receive(buffer, &length, &sender)) {
      platform::Sleep(1);
      continue;
    }
    if (!started && length == sizeof(kolvar::ScanCommand)) {
      before_kb = StatusKb(pid, "VmRSS");
      kolvar::SendScanMessage(channel, kolvar::kScannerChannel, &start, sizeof(start),
                              kolvar::SendPolicy::kMustArrive, never);
      started = true;
      continue;
    }
    kolvar::ScanStatus status;
    if (!kolvar::DecodeScanStatus(buffer, length, sender, &status)) continue;
    if (status.type == kolvar::kMessageProgress) last = status;
    complete = status.type == kolvar::kMessageScanComplete;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - scan_start).count();
  const long peak_kb = StatusKb(pid, "VmHWM");
  const long end_kb = StatusKb(pid, "VmRSS");

  const kolvar::ScanCommand quit = kolvar::MakeScanCommand(kolvar::kCommandQuit);
  kolvar::SendScanMessage(channel, kolvar::kScannerChannel, &quit, sizeof(quit),
                          kolvar::SendPolicy::kMustArrive, never);
  if (scanner.Wait(10000) != platform::WaitResult::kSignaled) scanner.Terminate();
  channel.StopWorker();
  channel.Unregister();
  service.Terminate();
  service.Wait(5000);

  std::printf("scan: %s in %.1f s; last progress: %u folders, %u files, %u KB, %u infected\n",
              complete ? "complete" : "NOT complete", seconds, last.folders_entered,
              last.files_tested, last.kilobytes_tested, last.infected_files);
  std::printf(
      "KVBkgScan resident size (KiB): before %ld, after a tenth %ld, end %ld, "
      "sampled max %ld, peak (VmHWM) %ld\n",
      before_kb, tenth_kb, end_kb, max_sampled_kb, peak_kb);
  // The sparse file alone is more kilobytes than every other file together.
  const bool counted = last.kilobytes_tested >= (static_cast<uint64_t>(sparse_gib) << 30) / 1000;
  if (!counted) std::printf("the kilobytes counted miss the sparse file\n");
  const long baseline = tenth_kb > 0 ? tenth_kb : before_kb;
  const bool flat = peak_kb >= 0 && baseline > 0 && peak_kb - baseline <= kFlatSlackKb;
  std::printf("memory %s: peak - after a tenth = %ld KiB (allowed %ld)\n", flat ? "flat" : "GREW",
              peak_kb - baseline, kFlatSlackKb);
  return complete && flat && counted ? 0 : 1;
}
