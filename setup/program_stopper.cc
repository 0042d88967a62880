// Finding the suite's programs by their full path and ending them; see program_stopper.h.
#include "setup/program_stopper.h"

#include "common/message_text.h"
#include "platform/kernel_objects.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/process_facts.h"
#include "platform/text.h"
#include "setup/setup_texts.h"

namespace kolvar::setup {
namespace {

// How long a terminated process may take to be gone.
constexpr uint32_t kTerminateWaitMs = 10000;

// The host path of a program path as the process list reports it: the host path whose names were
// each turned into device names, "/" kept.
bool HostPathOfListed(std::u16string_view listed, std::string* host) {
  host->clear();
  size_t start = 0;
  while (true) {
    const size_t slash = listed.find(u'/', start);
    std::string name;
    if (!platform::HostNameFromDevice(listed.substr(start, slash - start), &name)) return false;
    *host += name;
    if (slash == std::u16string_view::npos) return true;
    *host += '/';
    start = slash + 1;
  }
}

bool ProcessFactsExists(uint32_t pid) { return platform::ProcessFactsReader().Exists(pid); }

std::u16string FolderOf(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos) return std::u16string();
  return slash == 0 ? std::u16string(u"\\") : std::u16string(path.substr(0, slash));
}

// Ends one process; false when it could not be opened.
bool EndProcess(uint32_t pid, std::u16string_view file_name, std::u16string_view stop_event,
                uint32_t wait_ms, StopOutcome* outcome) {
  platform::Process process;
  if (!platform::Process::OpenById(static_cast<pid_t>(pid), &process)) {
    // Gone between the listing and now: it has ended, which is all that was wanted.
    return !ProcessFactsExists(pid);
  }
  if (!stop_event.empty()) {
    platform::Event event;
    if (event.Open(stop_event)) {
      event.Set();
      // The handle goes before the program restarts, or a new copy would find its event taken.
      event.Close();
      if (process.Wait(wait_ms) == platform::WaitResult::kSignaled) return true;
      outcome->notices.push_back(FormatText(
          kProgramTerminated, {file_name, DecimalText(pid), DecimalText(wait_ms / 1000)}));
    } else {
      outcome->status = kStatusStopEventMissing;
      outcome->notices.push_back(
          FormatText(kProgramWithoutStopEvent, {file_name, DecimalText(pid)}));
    }
  }
  process.Terminate();
  process.Wait(kTerminateWaitMs);
  return true;
}

}  // namespace

std::u16string NormalFolder(std::u16string_view folder) {
  std::u16string device;
  if (!platform::DevicePathFromHost(platform::HostPath(folder), &device)) return std::u16string();
  while (device.size() > 1 && device.back() == u'\\') device.pop_back();
  if (device.empty()) device = u"\\";
  return device;
}

bool FindProgramInFolder(std::u16string_view folder, std::u16string_view file_name,
                         std::vector<uint32_t>* pids) {
  pids->clear();
  const std::u16string wanted = NormalFolder(folder);
  std::vector<platform::ProcessFacts> processes;
  if (!platform::ProcessFactsReader().ListProcesses(&processes)) return false;
  if (wanted.empty()) return true;
  for (const platform::ProcessFacts& facts : processes) {
    if (facts.full_path.empty() || !platform::EqualsNoCase(facts.name, file_name)) continue;
    std::string host;
    std::u16string device;
    if (!HostPathOfListed(facts.full_path, &host)) continue;
    if (!platform::DevicePathFromHost(host, &device)) continue;  // not of this device
    if (FolderOf(device) == wanted) pids->push_back(facts.pid);
  }
  return true;
}

StopOutcome StopProgram(std::u16string_view folder, std::u16string_view file_name,
                        std::u16string_view stop_event, uint32_t wait_ms) {
  StopOutcome outcome;
  std::vector<uint32_t> pids;
  if (!FindProgramInFolder(folder, file_name, &pids)) {
    outcome.status = kStatusProcessListFailed;
    return outcome;
  }
  if (pids.empty()) return outcome;
  outcome.found = true;
  outcome.status = kStatusOk;
  for (uint32_t pid : pids) {
    if (!EndProcess(pid, file_name, stop_event, wait_ms, &outcome)) {
      outcome.status = kStatusProgramNotOpened;
    }
  }
  return outcome;
}

}  // namespace kolvar::setup
