// The main program's string table: every user-visible text of KVAntivirus and of its terminal front
// end with its resource number, loaded by the load-string rule (a missing text, or one of 511
// characters or more, loads as the empty string).
//
// Numbers: the texts of the string resources keep their own numbers (40083 "Kolvar AV"); the texts
// that a dialog template or a menu bar carries are numbered by where they stand, the resource's
// number times 100000 plus the control's or the command's id (TemplateText(200, 1067) is the scan
// dialog's "Files Tested:"), so that command ids and string numbers never meet.
#ifndef KOLVAR_ANTIVIRUS_STRING_TABLE_H_
#define KOLVAR_ANTIVIRUS_STRING_TABLE_H_

#include <cstdint>
#include <string>

#include "ui/string_table.h"

namespace kolvar {

constexpr uint32_t TemplateText(uint32_t resource, uint32_t item) {
  return resource * 100000 + item;
}

namespace string_ids {

inline constexpr uint32_t kProgramCaption = 40083;  // also the window title
inline constexpr uint32_t kVirusDatabaseNotFound = 40087;
inline constexpr uint32_t kCannotCreateQuarantine = 40089;
inline constexpr uint32_t kVirusDetailDatabaseNotFound = 40109;
inline constexpr uint32_t kIpcFailed = 40183;
inline constexpr uint32_t kCannotRegisterChannel = 40184;
inline constexpr uint32_t kIpcServiceFailed = 40185;
inline constexpr uint32_t kCannotLoadBackgroundValue = 40186;
inline constexpr uint32_t kGuiChannelFailed = 40187;

// Titles of the dialogs.
inline constexpr uint32_t kConfigurationTitle = 40121;
inline constexpr uint32_t kRepositoryTitle = 40117;
inline constexpr uint32_t kUpdateTitle = 40125;
inline constexpr uint32_t kHistoryTitle = 40127;
inline constexpr uint32_t kAboutTitle = 40115;
inline constexpr uint32_t kProcessManagerTitle = 40124;
inline constexpr uint32_t kSystemInformationTitle = 40094;
inline constexpr uint32_t kRegistryViewerTitle = 40118;
inline constexpr uint32_t kSplashTitle = 40111;
inline constexpr uint32_t kReportTitle = 40113;
inline constexpr uint32_t kVirusDetectedTitle = 40129;
inline constexpr uint32_t kErrorCaption = 40148;

// The scan dialog.
inline constexpr uint32_t kProgramStarted = 40153;
inline constexpr uint32_t kScanningFileBackground = 40165;
inline constexpr uint32_t kScanningFile = 40152;
inline constexpr uint32_t kScanningPaused = 40150;
inline constexpr uint32_t kScanningCanceled = 40151;
inline constexpr uint32_t kScanningComplete = 40149;
inline constexpr uint32_t kConfirmStop = 40095;
inline constexpr uint32_t kConfirmStopBackground = 40096;
inline constexpr uint32_t kNoVirusFound = 40105;

// The report and the virus-detected dialog.
inline constexpr uint32_t kFileNotDeleted = 40097;
inline constexpr uint32_t kFileNotMoved = 40107;
inline constexpr uint32_t kActionDeleteFile = 40162;
inline constexpr uint32_t kActionMoveToRepository = 40163;
inline constexpr uint32_t kActionIgnoreFile = 40164;
inline constexpr uint32_t kSelectActionForAll = 40167;
inline constexpr uint32_t kColumnInfectedFile = 40133;
inline constexpr uint32_t kColumnVirusName = 40134;
inline constexpr uint32_t kColumnAction = 40135;

// The repository dialog.
inline constexpr uint32_t kFileNotRestored = 40099;
inline constexpr uint32_t kErrorCreatingFile = 40101;
inline constexpr uint32_t kColumnFileName = 40132;
inline constexpr uint32_t kColumnVirus = 40137;
inline constexpr uint32_t kColumnSince = 40138;
inline constexpr uint32_t kColumnLocation = 40139;
inline constexpr uint32_t kColumnVirusId = 40140;

// The configuration dialog.
inline constexpr uint32_t kTakesEffectNextScan = 40100;

// The history, the virus list and the about dialog.
inline constexpr uint32_t kVirusDatabaseTitle = 40119;
inline constexpr uint32_t kColumnVirusList = 40141;
inline constexpr uint32_t kColumnDetail = 40142;
inline constexpr uint32_t kLastUpdate = 40169;
inline constexpr uint32_t kProgramInfo = 40143;
inline constexpr uint32_t kContactInfo = 40145;
inline constexpr uint32_t kDeviceInfo = 40146;
inline constexpr uint32_t kVersionItem = 40154;
inline constexpr uint32_t kEnglish = 40130;
inline constexpr uint32_t kDeviceItem = 40156;
inline constexpr uint32_t kPlatformItem = 40157;
inline constexpr uint32_t kOsItem = 40158;
inline constexpr uint32_t kDeviceLanguageItem = 40159;
inline constexpr uint32_t kWindowsCe = 40160;
inline constexpr uint32_t kBuild = 40161;

// Texts that the device keeps outside the string table, numbered here (41000 and up).
inline constexpr uint32_t kErrorTryingToExecute = 41000;
inline constexpr uint32_t kNotAvailableYet = 41001;
inline constexpr uint32_t kSelectFolderTitle = 41002;
inline constexpr uint32_t kSelectActionForFile = 41003;
inline constexpr uint32_t kRecommendationFormat = 41004;
inline constexpr uint32_t kToolsKey = 41005;
inline constexpr uint32_t kResultsUnreadable = 41006;
// Texts of the subsystems below that the program shows (spelled there, listed here).
inline constexpr uint32_t kPathCut = 41007;
inline constexpr uint32_t kDamagedConfiguration = 41008;
inline constexpr uint32_t kSetEventFailedCaption = 41009;
inline constexpr uint32_t kSetEventFailed = 41010;
inline constexpr uint32_t kIndexUnreadable = 41011;
inline constexpr uint32_t kColumnHistory = 41012;
inline constexpr uint32_t kHistoryHeading = 41013;
inline constexpr uint32_t kHistoryRule = 41014;
inline constexpr uint32_t kNoLastUpdate = 41015;
inline constexpr uint32_t kColumnItem = 41116;
inline constexpr uint32_t kColumnValue = 41117;
inline constexpr uint32_t kCompanyItem = 41118;
inline constexpr uint32_t kProductItem = 41119;
inline constexpr uint32_t kLanguageItem = 41120;
inline constexpr uint32_t kLegalItem = 41121;
inline constexpr uint32_t kContactItem = 41122;

}  // namespace string_ids

// Resources whose texts the table carries by position (TemplateText).
namespace resources {
inline constexpr uint32_t kMainMenuBar = 105;
inline constexpr uint32_t kVirusDetectedTemplate = 110;
inline constexpr uint32_t kActionMenuBar = 112;  // the report's and the virus-detected dialog's
inline constexpr uint32_t kScanTemplate = 200;
inline constexpr uint32_t kReportTemplate = 207;
inline constexpr uint32_t kRepositoryMenuBar = 117;
inline constexpr uint32_t kConfigMenuBar = 114;
inline constexpr uint32_t kConfigTemplate = 203;
inline constexpr uint32_t kHistoryMenuBar = 113;
inline constexpr uint32_t kDoneMenuBar = 111;
inline constexpr uint32_t kFolderPickerTemplate = 263;
inline constexpr uint32_t kFolderPickerMenuBar = 264;
}  // namespace resources

// The soft key "Options" of every menu bar that has one.
inline constexpr uint32_t kOptionsKey = 40196;

const ui::StringTable& AntivirusStrings();
// AntivirusStrings().Load(id).
std::u16string LoadString(uint32_t id);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_STRING_TABLE_H_
