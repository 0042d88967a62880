// The texts of the main program's device tools (process manager, system information, registry
// viewer): menu items, column headers, row labels, formats and messages, shared by the dialogs
// and the terminal front end. The texts these tools share with the rest of the main program (its
// caption, the dialogs' titles, the "Options" key) come from the program's string table and are
// handed to the dialogs (ToolFrameTexts).
#ifndef KOLVAR_ANTIVIRUS_TOOLS_TOOL_TEXTS_H_
#define KOLVAR_ANTIVIRUS_TOOLS_TOOL_TEXTS_H_

#include <cstdint>
#include <string>

namespace kolvar::tools {

// What the main program's string table gives each tool dialog.
struct ToolFrameTexts {
  std::u16string title;
  std::u16string caption;      // of its message boxes ("Kolvar AV")
  std::u16string options_key;  // the left soft key's menu ("Options")
};

namespace texts {

// Process manager menu.
inline constexpr char16_t kClose[] = u"Close";
inline constexpr char16_t kRefresh[] = u"Refresh";
inline constexpr char16_t kKillProcess[] = u"Kill Process";
inline constexpr char16_t kBringToFront[] = u"Bring To Front";
inline constexpr char16_t kProcessInformation[] = u"Process Information";
inline constexpr char16_t kLoadedModules[] = u"Loaded Modules";
inline constexpr char16_t kActiveThreads[] = u"Active Threads";
inline constexpr char16_t kMemoryHeaps[] = u"Memory Heaps";
inline constexpr char16_t kSummary[] = u"Summary";
inline constexpr char16_t kDone[] = u"Done";

// Process manager messages.
inline constexpr char16_t kNoWindow[] = u"Process %s has no window.";
inline constexpr char16_t kConfirmTerminate[] = u"Are you sure you want to terminate %s ?";
inline constexpr char16_t kCannotKill[] = u"Can't kill process %s.";
// Where the desktop gives no program a way to raise another program's window (no X11 display,
// or a window manager without the common window-manager hints).
inline constexpr char16_t kCannotBringToFront[] =
    u"This desktop does not let a program bring the window of %s to the front.";

// Process manager status lines.
inline constexpr char16_t kProcessesRunning[] = u" %d process(es) running";
inline constexpr char16_t kModulesLoaded[] = u" %d module(s) loaded";
inline constexpr char16_t kThreadsActive[] = u" %d thread(s) active";
inline constexpr char16_t kHeapsCreated[] = u" %d heap(s) created";
inline constexpr char16_t kDefaultHeapFlag[] = u"HF32_DEFAULT";

// System information menu.
inline constexpr char16_t kGeneralInfo[] = u"General Info";
inline constexpr char16_t kMemoryAndStorage[] = u"Memory && Storage";
inline constexpr char16_t kScreenProperties[] = u"Screen Properties";
inline constexpr char16_t kInstalledFonts[] = u"Installed Fonts";
inline constexpr char16_t kBattery[] = u"Battery";

// System information values.
inline constexpr char16_t kNone[] = u"(none)";
inline constexpr char16_t kYes[] = u"Yes";
inline constexpr char16_t kNo[] = u"No";
inline constexpr char16_t kUnknownProcessor[] = u"UNKNOWN";
inline constexpr char16_t kUnknownChemistry[] = u"(unknown)";

// Registry viewer.
inline constexpr char16_t kViewValues[] = u"View Values";
inline constexpr char16_t kViewKeys[] = u"View Keys";
inline constexpr char16_t kDefaultValue[] = u"(Default)";
inline constexpr char16_t kValueNotSet[] = u"(value not set)";
inline constexpr char16_t kUnknownType[] = u"(unknow type)";

}  // namespace texts
}  // namespace kolvar::tools

#endif  // KOLVAR_ANTIVIRUS_TOOLS_TOOL_TEXTS_H_
