// What the scan dialog needs of the scan client: the ScanClient of the scan channel in the program,
// a scripted stand-in in the dialog's tests. The driver reports to the dialog through the client's
// observer interface (ScanClientObserver), from the client's own threads.
#ifndef KOLVAR_ANTIVIRUS_SCAN_DRIVER_H_
#define KOLVAR_ANTIVIRUS_SCAN_DRIVER_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scan_engine/infection_list.h"
#include "scan_engine/scan_client.h"

namespace kolvar {

class ScanDriver {
 public:
  virtual ~ScanDriver() = default;
  virtual bool SetUpFailed() const = 0;
  virtual void SetScanFolder(std::u16string_view folder) = 0;
  virtual ScanStartResult Start() = 0;
  virtual void Stop() = 0;
  virtual void Pause() = 0;
  virtual void Resume() = 0;
  // Ends the client's threads; the driver reports nothing afterwards.
  virtual void Quit() = 0;
  virtual bool IsScanning() const = 0;
  virtual ScanProgress Progress() const = 0;
  // Reads the result file into the result list and deletes it.
  virtual bool LoadResultFile() = 0;
  virtual std::vector<InfectionRecord> Results() const = 0;
  // The device root that the scanner stated at the last Start (ScanClient::ScannerDeviceRoot).
  virtual std::string ScannerDeviceRoot() const { return {}; }
};

// Makes the driver of a dialog; `observer` outlives it.
using ScanDriverFactory = std::function<std::unique_ptr<ScanDriver>(ScanClientObserver* observer)>;

// The driver over a real ScanClient on the program's channel "ANTIVIRUS".
ScanDriverFactory ScanClientDrivers(IpcChannel* channel,
                                    ScanClient::BackgroundScanningReader background_scanning);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_SCAN_DRIVER_H_
