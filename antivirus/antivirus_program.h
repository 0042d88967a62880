// The windowed main program without its window toolkit: start-up, the command word and shutdown
// in their fixed order over the application shell, with the window system's part asked of an
// AntivirusWindows (the Qt frame in the program, a recording stand-in in tests).
//
// Order: one copy at a time ("_@KVMAVGEN_MAIN@_", "@_KVMAVGUI_@"; a second copy hands over to the
// running one and ends), the configuration, the data files, the channel "ANTIVIRUS" with the
// scanner started when "IPC_SCAN" is absent, the main (scan) dialog, the splash on a plain start,
// the command word ("VIRUSDETECTED": one detection answered, no main dialog; "UPDATED",
// "DOUPDATE"; "DOSCAN" or background scanning: a scan of the whole device at once), the main
// dialog until it ends, then the leave-taking (type 23, "ANTIVIRUS" unregistered). Every failure is
// a box captioned "Kolvar AV", and the program still ends with 0.
#ifndef KOLVAR_ANTIVIRUS_ANTIVIRUS_PROGRAM_H_
#define KOLVAR_ANTIVIRUS_ANTIVIRUS_PROGRAM_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "antivirus/install_paths.h"
#include "antivirus/scan_dialog.h"
#include "scan_engine/scan_channel.h"
#include "ui/dialog.h"

namespace kolvar {

// The window class by which a second start finds the running copy.
inline constexpr char16_t kMainWindowClass[] = u"KolvarWindowApp";

// The command words. "VIRUSDETECTED" is the scanner's word when it starts the program, so the scan
// channel spells it.
inline constexpr const auto& kCommandVirusDetected = kVirusDetectedCommand;
inline constexpr char16_t kCommandUpdated[] = u"UPDATED";
inline constexpr char16_t kCommandDoScan[] = u"DOSCAN";
inline constexpr char16_t kCommandDoUpdate[] = u"DOUPDATE";

class AntivirusWindows {
 public:
  virtual ~AntivirusWindows() = default;
  // Shows a message box of the program (caption, text, style); returns the answer.
  virtual int Box(std::u16string_view caption, std::u16string_view text, uint32_t style) = 0;
  // Runs a dialog alone (no main dialog under it, the program ends after it) until it ends.
  virtual void RunAlone(ui::Dialog& dialog) = 0;
  // Shows the main dialog, calls `shown` once it is shown, and returns once it has ended. While it
  // runs, a second start of the program brings the window to the front and cancels the dialogs
  // over the main one.
  virtual void RunMain(ScanDialog& main, const std::function<void()>& shown) = 0;
};

// 2 on a Pocket PC (the platform-type text holds "POCKET" in any case), 1 on a Smartphone.
uint32_t PlatformKind();

// Runs the program; returns its exit code (0). `command_line` is the whole command line.
int RunAntivirusProgram(std::u16string_view command_line, AntivirusWindows& windows);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_ANTIVIRUS_PROGRAM_H_
