// The scan client as the scan dialog's driver; see scan_driver.h.
#include "antivirus/scan_driver.h"

#include <utility>

namespace kolvar {
namespace {

class ScanClientDriver : public ScanDriver {
 public:
  ScanClientDriver(IpcChannel* channel, ScanClientObserver* observer,
                   ScanClient::BackgroundScanningReader background_scanning)
      : client_(channel, observer, std::move(background_scanning)) {}

  bool SetUpFailed() const override { return client_.SetUpFailed(); }
  void SetScanFolder(std::u16string_view folder) override { client_.SetScanFolder(folder); }
  ScanStartResult Start() override { return client_.Start(); }
  void Stop() override { client_.Stop(); }
  void Pause() override { client_.Pause(); }
  void Resume() override { client_.Resume(); }
  void Quit() override { client_.Quit(); }
  bool IsScanning() const override { return client_.IsScanning(); }
  ScanProgress Progress() const override { return client_.Progress(); }
  bool LoadResultFile() override { return client_.LoadResultFile(); }
  std::vector<InfectionRecord> Results() const override { return client_.Results(); }
  std::string ScannerDeviceRoot() const override { return client_.ScannerDeviceRoot(); }

 private:
  ScanClient client_;
};

}  // namespace

ScanDriverFactory ScanClientDrivers(IpcChannel* channel,
                                    ScanClient::BackgroundScanningReader background_scanning) {
  return [channel, background_scanning](ScanClientObserver* observer) {
    return std::make_unique<ScanClientDriver>(channel, observer, background_scanning);
  };
}

}  // namespace kolvar
