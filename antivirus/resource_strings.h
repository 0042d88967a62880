// The main program's user-visible texts with their resource string numbers, shared by the windowed
// program and the terminal front end. Texts beginning with "\n" start with a line break. The
// engine below reports facts (a repository problem, the background scanner going on); the main
// program words them with these texts (antivirus/engine_notices.h).
#ifndef KOLVAR_ANTIVIRUS_RESOURCE_STRINGS_H_
#define KOLVAR_ANTIVIRUS_RESOURCE_STRINGS_H_

namespace kolvar::strings {

inline constexpr char16_t kProgramCaption[] = u"Kolvar AV";           // 40083
inline constexpr char16_t kRepositoryTitle[] = u"Repository";         // 40117
inline constexpr char16_t kReportTitle[] = u"Report";                 // 40113
inline constexpr char16_t kVirusDetectedTitle[] = u"Virus Detected";  // 40129
inline constexpr char16_t kErrorCaption[] = u"Error";                 // 40148

// Start-up.
inline constexpr char16_t kVirusDatabaseNotFound[] =
    u"\nVirus Database not found. Please contact support.";  // 40087
inline constexpr char16_t kVirusDetailDatabaseNotFound[] =
    u"\nVirus Detail Database not found. Please contact support.";  // 40109
inline constexpr char16_t kCannotCreateQuarantine[] =
    u"\nCannot create quarantine directory. Please contact support.";  // 40089
inline constexpr char16_t kIpcServiceFailed[] =
    u"IPC Service communication failed: please restart device.\n"
    u"If the problem persists, reinstall Kolvar AV.";  // 40185
// The apostrophe is the acute accent U+00B4.
inline constexpr char16_t kCannotRegisterChannel[] =
    u"Can\u00B4t register channel: please restart device... \n"
    u"If the problem persists, reinstall Kolvar AV.";  // 40184
inline constexpr char16_t kIpcFailed[] =
    u"IPC communication failed: please restart device.";  // 40183
inline constexpr char16_t kGuiChannelFailed[] =
    u"IPC communication failed (GUI Channel): please restart device.";  // 40187
inline constexpr char16_t kCannotLoadBackgroundValue[] =
    u"Cannot load configuration value (Enable Background).\n"
    u"Default value will be assumed.";  // 40186
// Information icon, as the scan dialog closes while background scanning goes on.
inline constexpr char16_t kBackgroundScanningGoesOn[] =
    u"The background scan option is activated.\nThe background scanner will (re)start. ";  // 40098

// Repository and report actions.
inline constexpr char16_t kFileNotDeleted[] = u"The file '%s' could not be deleted.(%d)";  // 40097
inline constexpr char16_t kFileNotRestored[] =
    u"The file '%s' could not be restored.(%d)";                           // 40099
inline constexpr char16_t kErrorCreatingFile[] = u"Error creating file.";  // 40101
inline constexpr char16_t kFileNotMoved[] =
    u"The file '%s' cannot be moved to the repository (%d).";  // 40107
// The restore's own outcomes (error icon, except the unchecked restore: information icon).
inline constexpr char16_t kRestoreOccupied[] =
    u"The file '%s' could not be restored: a file of that name exists there.\n"
    u"The file stays in the repository.";
inline constexpr char16_t kRestoreMissing[] =
    u"The file '%s' could not be restored: its protected copy '%s' is missing.\n"
    u"The entry stays in the repository.";
inline constexpr char16_t kRestoreDamaged[] =
    u"The file '%s' could not be restored: its protected copy '%s' is damaged (the decrypted "
    u"contents differ from the check recorded with it).\nThe file stays in the repository.";
// The copy came without its note (an older copy, or one copied by a tool that drops extended
// attributes), so the restored bytes could not be checked.
inline constexpr char16_t kRestoreUnchecked[] =
    u"The file '%s' was restored, but its protected copy carries no check of its contents.\n"
    u"The protected copy stays in the repository until you delete it.";
// The index exists but cannot be read (its path, the error's meaning).
inline constexpr char16_t kIndexUnreadable[] = u"The repository index '%s' cannot be read (%s).";
// Another program kept the index's lock (its path, the lock's name, the seconds waited).
inline constexpr char16_t kIndexBusy[] =
    u"The repository index '%s' is in use by another program: its lock '%s' was not released "
    u"within %s seconds.\nNothing was changed; try again when the other program has finished.";
inline constexpr char16_t kSelectActionForAll[] =
    u"Please select an action for all infected files before exiting.";  // 40167

// Action names of the report's action column.
inline constexpr char16_t kActionDeleteFile[] = u"Delete File";               // 40162
inline constexpr char16_t kActionMoveToRepository[] = u"Move to Repository";  // 40163
inline constexpr char16_t kActionIgnoreFile[] = u"Ignore File";               // 40164

// Menu items of the report and the virus-detected dialog.
inline constexpr char16_t kMenuDeleteInfectedFile[] = u"Delete Infected File";  // 40041
inline constexpr char16_t kMenuMoveToRepository[] = u"Move to Repository";      // 40036
inline constexpr char16_t kMenuMoveAll[] = u"Move All";                         // 40037
inline constexpr char16_t kMenuIgnoreThreat[] = u"Ignore Threat";               // 40038
inline constexpr char16_t kMenuDeleteAll[] = u"Delete All";                     // 40256
inline constexpr char16_t kMenuIgnoreAll[] = u"Ignore All";                     // 40255
inline constexpr char16_t kMenuVirusInfo[] = u"Virus Info";                     // 40039
inline constexpr char16_t kMenuRecommendation[] = u"Recommendation";            // 40168
inline constexpr char16_t kRecommendationFormat[] = u"Recommendation:\n%s";

// Columns of the repository list.
inline constexpr char16_t kColumnFileName[] = u"File Name";  // 40132
inline constexpr char16_t kColumnVirus[] = u"Virus";         // 40137
inline constexpr char16_t kColumnSince[] = u"Since";         // 40138
inline constexpr char16_t kColumnLocation[] = u"Location";   // 40139
inline constexpr char16_t kColumnVirusId[] = u"VirusID";     // 40140

// Columns of the report list.
inline constexpr char16_t kColumnInfectedFile[] = u"Infected File";  // 40133
inline constexpr char16_t kColumnVirusName[] = u"Virus Name";        // 40134
inline constexpr char16_t kColumnAction[] = u"Action";               // 40135

}  // namespace kolvar::strings

#endif  // KOLVAR_ANTIVIRUS_RESOURCE_STRINGS_H_
