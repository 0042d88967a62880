// A scripted scan driver for tests of the scan dialog and its view: it records the calls it gets
// and answers Start with the result the test sets.
#ifndef KOLVAR_ANTIVIRUS_TESTING_FAKE_SCAN_DRIVER_H_
#define KOLVAR_ANTIVIRUS_TESTING_FAKE_SCAN_DRIVER_H_

#include <memory>
#include <string>
#include <vector>

#include "antivirus/scan_driver.h"

namespace kolvar::testing {

struct DriverLog {
  std::vector<std::string> calls;
  std::u16string folder;
  bool scanning = false;
  ScanStartResult start_result = ScanStartResult::kStarted;
  ScanProgress progress;
};

class FakeScanDriver : public ScanDriver {
 public:
  explicit FakeScanDriver(DriverLog& log) : log_(log) {}
  bool SetUpFailed() const override { return false; }
  void SetScanFolder(std::u16string_view folder) override { log_.folder = folder; }
  ScanStartResult Start() override {
    log_.calls.push_back("start");
    log_.scanning = log_.start_result == ScanStartResult::kStarted;
    return log_.start_result;
  }
  void Stop() override {
    log_.calls.push_back("stop");
    log_.scanning = false;
  }
  void Pause() override { log_.calls.push_back("pause"); }
  void Resume() override { log_.calls.push_back("resume"); }
  void Quit() override { log_.calls.push_back("quit"); }
  bool IsScanning() const override { return log_.scanning; }
  ScanProgress Progress() const override { return log_.progress; }
  bool LoadResultFile() override { return true; }
  std::vector<InfectionRecord> Results() const override { return {}; }

 private:
  DriverLog& log_;
};

// Drivers that write to `log`.
inline ScanDriverFactory FakeScanDrivers(DriverLog& log) {
  return [&log](ScanClientObserver*) { return std::make_unique<FakeScanDriver>(log); };
}

}  // namespace kolvar::testing

#endif  // KOLVAR_ANTIVIRUS_TESTING_FAKE_SCAN_DRIVER_H_
