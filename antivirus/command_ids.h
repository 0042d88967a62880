// The command ids of the main program's menus and buttons, shared by the dialogs, their views and
// the string table.
#ifndef KOLVAR_ANTIVIRUS_COMMAND_IDS_H_
#define KOLVAR_ANTIVIRUS_COMMAND_IDS_H_

#include <cstdint>

namespace kolvar::commands {

// The main dialog's soft-key menus: "Options" (left) and "Tools" (right).
inline constexpr uint32_t kScanNow = 40130;
inline constexpr uint32_t kConfiguration = 40006;
inline constexpr uint32_t kRepositoryFiles = 40018;
inline constexpr uint32_t kOnlineUpdate = 40019;
inline constexpr uint32_t kUpdateHistory = 40184;
inline constexpr uint32_t kAbout = 40005;
inline constexpr uint32_t kExitAntivirus = 40028;
inline constexpr uint32_t kProcessesManager = 40185;
inline constexpr uint32_t kSystemInformation = 40209;
inline constexpr uint32_t kRegistryViewer = 40226;
inline constexpr uint32_t kKolvarScheduler = 40239;

// The scan dialog's buttons.
inline constexpr uint32_t kStartButton = 1003;
inline constexpr uint32_t kPauseButton = 1002;
inline constexpr uint32_t kStopButton = 1006;
inline constexpr uint32_t kReportButton = 1007;
inline constexpr uint32_t kAboutButton = 1009;

// The action menu of the report and of the virus-detected dialog.
inline constexpr uint32_t kDeleteInfectedFile = 40041;
inline constexpr uint32_t kMoveToRepository = 40036;
inline constexpr uint32_t kMoveAll = 40037;
inline constexpr uint32_t kIgnoreThreat = 40038;
inline constexpr uint32_t kDeleteAll = 40256;
inline constexpr uint32_t kIgnoreAll = 40255;
inline constexpr uint32_t kVirusInfo = 40039;
inline constexpr uint32_t kRecommendation = 40168;
inline constexpr uint32_t kClose = 40040;

// The repository dialog's menu bar: "Options" and "Done".
inline constexpr uint32_t kDeleteFile = 40079;
inline constexpr uint32_t kRestoreFile = 40076;
inline constexpr uint32_t kRepositoryDone = 40080;

// The configuration dialog's soft keys.
inline constexpr uint32_t kConfirm = 40056;
inline constexpr uint32_t kCancelConfig = 40057;

// The history dialog's menu bar (113) and the "Done" of the virus list and the about dialog (111).
inline constexpr uint32_t kUpdateNow = 40046;
inline constexpr uint32_t kVirusDatabase = 40048;
inline constexpr uint32_t kHistoryDone = 40183;
inline constexpr uint32_t kDone = 40029;

// The folder picker's soft keys.
inline constexpr uint32_t kSelectFolder = 40264;
inline constexpr uint32_t kCancelFolder = 40265;

}  // namespace kolvar::commands

#endif  // KOLVAR_ANTIVIRUS_COMMAND_IDS_H_
