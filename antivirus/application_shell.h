// The main program's start-up and shutdown without its windows, for the terminal front end: one
// copy of the user interface at a time ("_@KVMAVGEN_MAIN@_" and the presence event
// "@_KVMAVGUI_@" that the scanner tests), the configuration, the check of the data files, the
// connection as channel "ANTIVIRUS" with the background scanner started when "IPC_SCAN" is
// absent, and the leave-taking (type 23 to the scanner, the channel unregistered).
//
// Every failure is told through the notice (the main program's message boxes, caption
// "Kolvar AV", error icon) and reported by a false result; nothing here ends the process.
#ifndef KOLVAR_ANTIVIRUS_APPLICATION_SHELL_H_
#define KOLVAR_ANTIVIRUS_APPLICATION_SHELL_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "antivirus/install_paths.h"
#include "common/message_text.h"
#include "platform/kernel_objects.h"

namespace kolvar {

class ConfigurationFile;
class IpcChannel;

// The lock "_@KVMAVGEN_MAIN@_" that keeps one copy of the user interface. The names of the
// channels, of the presence event and of the programs belong to the scan channel
// (scan_engine/scan_channel.h), the scan engine (scan_engine/scan_engine.h) and the IPC service
// (ipc/ipc_names.h).
inline constexpr char16_t kMainInstanceLockName[] = u"KVMAVGEN_MAIN";

// How long the shell looks for the scanner's channel after starting the scanner: as long as 10
// tests 500 ms apart take (4.5 s), but looking every 15 ms, since a scanner that is up within
// a fraction of a second should not cost the user half a second.
inline constexpr int kScannerChannelTests = 10;
inline constexpr uint32_t kScannerChannelTestIntervalMs = 500;
inline constexpr uint32_t kScannerChannelLookMs = 15;

class ApplicationShell {
 public:
  ApplicationShell(const InstallPaths& paths, UserNotice notice);
  // Takes its leave (Detach) when still attached, then closes the presence event and the mutex.
  ~ApplicationShell();
  ApplicationShell(const ApplicationShell&) = delete;
  ApplicationShell& operator=(const ApplicationShell&) = delete;

  // Creates the instance mutex and the presence event. False, with nothing held, when another
  // copy of the user interface runs (the windowed program or another front end), or when the
  // named objects cannot be created (NamespaceFolderCause tells when that is the folder's fault).
  bool ClaimSingleInstance();
  bool another_instance_runs() const { return another_instance_runs_; }

  // Opens the configuration as every program does at start-up (creating it with its defaults on
  // the first start, and recording the installation folder).
  void OpenConfiguration();
  // "EnableBckScan" of section "CONFIG", reloaded when another program saved meanwhile. When it
  // cannot be read the box of string 40186 is shown and the value counts as off.
  bool BackgroundScanningEnabled();
  ConfigurationFile* configuration() { return configuration_.get(); }

  // Both databases must exist and the quarantine folder is created (40087, 40109, 40089).
  bool CheckDataFiles();

  // Connects as "ANTIVIRUS" and makes sure the scanner runs: the service is started from the
  // installation folder when it does not run, the channel registered and its worker started, and
  // KVBkgScan started from the installation folder when "IPC_SCAN" is absent, then looked for up
  // to ten times. False after its box (40185, 40184, 40183 or 40187).
  bool StartIpc();
  IpcChannel* channel() { return channel_.get(); }
  // Whether this shell started the scanner (and so knows where its output goes).
  bool started_scanner() const { return started_scanner_; }

  // Sends type 23 to "IPC_SCAN", waits until it has left, unregisters "ANTIVIRUS" and stops the
  // channel's worker. Does nothing when not connected.
  void Detach();

  const InstallPaths& paths() const { return paths_; }

 private:
  void Tell(std::u16string_view text);
  // Tells `text` with its cause when one is known.
  void TellIpcFailure(std::u16string_view text);
  // Starts a program of the installation folder as a daemon, its output in the daemon file.
  bool StartDaemon(std::u16string_view file_name);
  bool StartServiceWhenMissing();
  bool StartScannerWhenMissing();

  InstallPaths paths_;
  UserNotice notice_;
  platform::Mutex instance_mutex_;
  platform::Event presence_event_;
  bool another_instance_runs_ = false;
  std::unique_ptr<ConfigurationFile> configuration_;
  std::unique_ptr<IpcChannel> channel_;
  bool started_scanner_ = false;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_APPLICATION_SHELL_H_
