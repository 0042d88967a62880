// The main program's texts; see string_table.h. Texts that the terminal front end also uses are
// spelled in resource_strings.h and taken from there.
#include "antivirus/string_table.h"

#include <iterator>

#include "antivirus/command_ids.h"
#include "antivirus/resource_strings.h"
#include "antivirus/update/update_texts.h"
#include "common/configuration.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/scan_client.h"

namespace kolvar {
namespace {

using namespace string_ids;
using namespace resources;
using namespace commands;

constexpr ui::StringResource kStrings[] = {
    {kProgramCaption, strings::kProgramCaption},
    {kVirusDatabaseNotFound, strings::kVirusDatabaseNotFound},
    {kCannotCreateQuarantine, strings::kCannotCreateQuarantine},
    {kVirusDetailDatabaseNotFound, strings::kVirusDetailDatabaseNotFound},
    {kIpcFailed, strings::kIpcFailed},
    {kCannotRegisterChannel, strings::kCannotRegisterChannel},
    {kIpcServiceFailed, strings::kIpcServiceFailed},
    {kCannotLoadBackgroundValue, strings::kCannotLoadBackgroundValue},
    {kGuiChannelFailed, strings::kGuiChannelFailed},
    {40098, strings::kBackgroundScanningGoesOn},
    {kFileNotRestored, strings::kFileNotRestored},
    {kErrorCreatingFile, strings::kErrorCreatingFile},

    {kConfigurationTitle, u"Configuration"},
    {kRepositoryTitle, strings::kRepositoryTitle},
    {kUpdateTitle, u"Update"},
    {kHistoryTitle, u"History"},
    {kAboutTitle, u"About"},
    {kProcessManagerTitle, u"Proc Manager"},
    {kSystemInformationTitle, u"System Info"},
    {kRegistryViewerTitle, u"Reg Viewer"},
    {kSplashTitle, u"Loading..."},
    {kReportTitle, strings::kReportTitle},
    {kVirusDetectedTitle, strings::kVirusDetectedTitle},
    {kErrorCaption, strings::kErrorCaption},

    {kProgramStarted, u"Program Started."},
    {kScanningFileBackground, u"Scanning File (background):"},
    {kScanningFile, u"Scanning File:"},
    {kScanningPaused, u"Scanning Paused."},
    {kScanningCanceled, u"Scanning Canceled."},
    {kScanningComplete, u"Scanning Complete."},
    {kConfirmStop, u"Are you sure you want to cancel the file system scan?"},
    {kConfirmStopBackground,
     u"Are you sure you want to cancel the file system scan (This action will stop the background "
     u"scanner as well)?"},
    {kNoVirusFound, u"No virus was found on your device."},

    {kFileNotDeleted, strings::kFileNotDeleted},
    {kFileNotMoved, strings::kFileNotMoved},
    {kActionDeleteFile, strings::kActionDeleteFile},
    {kActionMoveToRepository, strings::kActionMoveToRepository},
    {kActionIgnoreFile, strings::kActionIgnoreFile},
    {kSelectActionForAll, strings::kSelectActionForAll},
    {kColumnInfectedFile, strings::kColumnInfectedFile},
    {kColumnVirusName, strings::kColumnVirusName},
    {kColumnAction, strings::kColumnAction},
    {kColumnFileName, strings::kColumnFileName},
    {kColumnVirus, strings::kColumnVirus},
    {kColumnSince, strings::kColumnSince},
    {kColumnLocation, strings::kColumnLocation},
    {kColumnVirusId, strings::kColumnVirusId},

    {kErrorTryingToExecute, u"Error trying to execute: %s. Please reinstall!"},
    {kNotAvailableYet, u"\n\"%s\" is not available yet in this version of Kolvar AV."},
    {kSelectFolderTitle, u"Select a folder"},
    {kSelectActionForFile, u"Please select an action for the infected file before exiting."},
    {kRecommendationFormat, strings::kRecommendationFormat},
    {kToolsKey, u"Tools"},
    {kPathCut, kPathCutMessage},
    {kDamagedConfiguration, kDamagedConfigurationMessage},
    {kSetEventFailedCaption, kSetEventCaption},
    {kSetEventFailed, kSetEventFailedMessage},
    {kIndexUnreadable, strings::kIndexUnreadable},
    {kResultsUnreadable,
     u"The scan found %d infected files, but their list could not be read. Please scan again."},
    {kOptionsKey, u"Options"},

    // Menu bar 105: the main dialog's "Options" and "Tools".
    {TemplateText(kMainMenuBar, kScanNow), u"Scan Now"},
    {TemplateText(kMainMenuBar, kConfiguration), u"Configuration"},
    {TemplateText(kMainMenuBar, kRepositoryFiles), u"Repository Files"},
    {TemplateText(kMainMenuBar, kOnlineUpdate), u"Online Update"},
    {TemplateText(kMainMenuBar, kUpdateHistory), u"Update History"},
    {TemplateText(kMainMenuBar, kAbout), u"About"},
    {TemplateText(kMainMenuBar, kExitAntivirus), u"Exit Antivirus"},
    {TemplateText(kMainMenuBar, kProcessesManager), u"Processes Manager"},
    {TemplateText(kMainMenuBar, kSystemInformation), u"System Information"},
    {TemplateText(kMainMenuBar, kRegistryViewer), u"Registry Viewer"},
    {TemplateText(kMainMenuBar, kKolvarScheduler), u"Kolvar Scheduler"},

    // Menu bar 112: the actions of the report and of the virus-detected dialog.
    {TemplateText(kActionMenuBar, kDeleteInfectedFile), strings::kMenuDeleteInfectedFile},
    {TemplateText(kActionMenuBar, kMoveToRepository), strings::kMenuMoveToRepository},
    {TemplateText(kActionMenuBar, kIgnoreThreat), strings::kMenuIgnoreThreat},
    {TemplateText(kActionMenuBar, kDeleteAll), strings::kMenuDeleteAll},
    {TemplateText(kActionMenuBar, kMoveAll), strings::kMenuMoveAll},
    {TemplateText(kActionMenuBar, kIgnoreAll), strings::kMenuIgnoreAll},
    {TemplateText(kActionMenuBar, kVirusInfo), strings::kMenuVirusInfo},
    {TemplateText(kActionMenuBar, kRecommendation), strings::kMenuRecommendation},
    {TemplateText(kActionMenuBar, kClose), u"Close"},

    // Menu bar 117: the repository dialog.
    {TemplateText(kRepositoryMenuBar, kDeleteFile), u"Delete File"},
    {TemplateText(kRepositoryMenuBar, kRestoreFile), u"Restore File"},
    {TemplateText(kRepositoryMenuBar, kRepositoryDone), u"Done"},

    // Template 203 and menu bar 114: the configuration dialog.
    {kTakesEffectNextScan, u"This configuration will take effect the next time you start a scan."},
    {TemplateText(kConfigTemplate, 1030), u"Enable Splash Screen"},
    {TemplateText(kConfigTemplate, 1034), u"Start Program with Windows"},
    {TemplateText(kConfigTemplate, 1035), u"Enable Background Scanning"},
    {TemplateText(kConfigTemplate, 1036), u"Select folder on manual scan"},
    {TemplateText(kConfigMenuBar, kConfirm), u"Confirm"},
    {TemplateText(kConfigMenuBar, kCancelConfig), u"Cancel"},

    // The history (menu bar 113), the virus list and the about dialog (menu bar 111).
    {kVirusDatabaseTitle, u"Virus Database"},
    {kColumnVirusList, u"Virus List"},
    {kColumnDetail, u"Detail"},
    {kLastUpdate, u"Last Update: "},
    {kColumnHistory, u"History"},
    {kHistoryHeading, u"Version/Update History"},
    {kHistoryRule, u"-----------------------------"},
    {kNoLastUpdate, u"(none)"},
    {kProgramInfo, u"Program Info"},
    {kContactInfo, u"Contact Info"},
    {kDeviceInfo, u"Device Info"},
    {kVersionItem, u"Version: "},
    {kEnglish, u"English"},
    {kDeviceItem, u"Device: "},
    {kPlatformItem, u"Platform: "},
    {kOsItem, u"OS:"},
    {kDeviceLanguageItem, u"Language: "},
    {kWindowsCe, u"Windows CE "},
    {kBuild, u"Build: "},
    {kColumnItem, u"Item"},
    {kColumnValue, u"Value"},
    {kCompanyItem, u"Company:"},
    {kProductItem, u"Product:"},
    {kLanguageItem, u"Language:"},
    {kLegalItem, u"Legal:"},
    {kContactItem, u"Contact:"},
    {TemplateText(kHistoryMenuBar, kUpdateNow), u"Update Now"},
    {TemplateText(kHistoryMenuBar, kVirusDatabase), u"Virus Database"},
    {TemplateText(kHistoryMenuBar, kHistoryDone), u"Done"},
    {TemplateText(kDoneMenuBar, kDone), u"Done"},

    // Template 200: the scan dialog.
    {TemplateText(kScanTemplate, 1041), u"Scanning File:"},
    {TemplateText(kScanTemplate, 1067), u"Files Tested:"},
    {TemplateText(kScanTemplate, 1068), u"Bytes Tested:"},
    {TemplateText(kScanTemplate, 1069), u"Elapsed Time:"},
    {TemplateText(kScanTemplate, 1070), u"Infected Files:"},
    {TemplateText(kScanTemplate, kStartButton), u"S"},
    {TemplateText(kScanTemplate, kPauseButton), u"P"},
    {TemplateText(kScanTemplate, kStopButton), u"T"},
    {TemplateText(kScanTemplate, kReportButton), u"R"},
    {TemplateText(kScanTemplate, kAboutButton), u"?"},

    // Template 110: the virus-detected dialog.
    {TemplateText(kVirusDetectedTemplate, 1039), u"WARNING!!!"},
    {TemplateText(kVirusDetectedTemplate, 1035), u"Infected File:"},
    {TemplateText(kVirusDetectedTemplate, 1036), u"Virus Name:"},
    {TemplateText(kVirusDetectedTemplate, 1037), u"Recommendation:"},

    // Template 207: the report.
    {TemplateText(kReportTemplate, 1067), u"Files Tested:"},
    {TemplateText(kReportTemplate, 1068), u"Infected Files:"},
    {TemplateText(kReportTemplate, 1069), u"Bytes Tested:"},
    {TemplateText(kReportTemplate, 1070), u"Duration:"},

    // The update dialog: its messages, template 202 and menu bar 115.
    {update_texts::kNoConnectionId, update_texts::kNoConnection},
    {update_texts::kDownloadErrorId, update_texts::kDownloadError},
    {update_texts::kAlreadyUpdatedId, update_texts::kAlreadyUpdated},
    {update_texts::kNoUpdateId, update_texts::kNoUpdate},
    {update_texts::kTryingConnectionId, update_texts::kTryingConnection},
    {update_texts::kConnectionSuccessfulId, update_texts::kConnectionSuccessful},
    {update_texts::kGettingInfoId, update_texts::kGettingInfo},
    {update_texts::kGettingSizeId, update_texts::kGettingSize},
    {update_texts::kDownloadingId, update_texts::kDownloading},
    {update_texts::kDownloadSuccessfulId, update_texts::kDownloadSuccessful},
    {update_texts::kCancelingId, update_texts::kCanceling},
    {update_texts::kCancelledId, update_texts::kCancelled},
    {update_texts::kUpdateRefusedId, update_texts::kUpdateRefused},
    {update_texts::kUnsignedUpdatesId, update_texts::kUnsignedUpdates},
    {TemplateText(update_texts::kUpdateTemplate, update_controls::kLatestGroup),
     update_texts::kLatestGroup},
    {TemplateText(update_texts::kUpdateTemplate, update_controls::kIdLabel),
     update_texts::kIdLabel},
    {TemplateText(update_texts::kUpdateTemplate, update_controls::kIdDateLabel),
     update_texts::kIdDateLabel},
    {TemplateText(update_texts::kUpdateTemplate, update_controls::kTimeLabel),
     update_texts::kTimeLabel},
    {TemplateText(update_texts::kUpdateTemplate, update_controls::kSizeLabel),
     update_texts::kSizeLabel},
    {TemplateText(update_texts::kUpdateTemplate, update_controls::kTotalSizeLabel),
     update_texts::kTotalSizeLabel},
    {TemplateText(update_texts::kUpdateTemplate, update_controls::kTransferredLabel),
     update_texts::kTransferredLabel},
    {TemplateText(update_texts::kUpdateTemplate, update_controls::kTimeLeftLabel),
     update_texts::kTimeLeftLabel},
    {TemplateText(update_texts::kUpdateMenuBar, update_controls::kUpdateCommand),
     update_texts::kUpdateCommandText},
    {TemplateText(update_texts::kUpdateMenuBar, update_controls::kCancelCommand),
     update_texts::kCancelCommandText},

    // Template 263 and menu bar 264: the folder picker.
    {TemplateText(kFolderPickerTemplate, 1077), u"Select a folder to scan:"},
    {TemplateText(kFolderPickerMenuBar, kSelectFolder), u"Select"},
    {TemplateText(kFolderPickerMenuBar, kCancelFolder), u"Cancel"},
};

}  // namespace

const ui::StringTable& AntivirusStrings() {
  static const ui::StringTable table(kStrings);
  return table;
}

std::u16string LoadString(uint32_t id) { return AntivirusStrings().Load(id); }

}  // namespace kolvar
