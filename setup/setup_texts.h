// The texts of the setup library, the caption of its boxes and the names it stops and cleans up.
#ifndef KOLVAR_SETUP_SETUP_TEXTS_H_
#define KOLVAR_SETUP_SETUP_TEXTS_H_

namespace kolvar::setup {

// The program field of the message-box log and the caption of every box.
inline constexpr char16_t kSetupProgramName[] = u"kvmsetup";
inline constexpr char16_t kSetupCaption[] = u"Kolvar Setup";

inline constexpr char16_t kInstallationSuccessful[] = u"Installation successful!";
// A program that did not end within the wait after its stop event was set (or that had no stop
// event to set): its name, its process id and the seconds waited.
inline constexpr char16_t kProgramTerminated[] =
    u"%s (process %s) did not end within %s seconds when asked to and was terminated.";
inline constexpr char16_t kProgramWithoutStopEvent[] =
    u"%s (process %s) could not be asked to end (it has no stop event) and was terminated.";
// Asked before removal when the repository holds files: OK removes them with the suite, Cancel
// keeps everything installed.
inline constexpr char16_t kQuarantineRemoved[] =
    u"The repository holds %s quarantined file(s). They are deleted together with Kolvar AV.\n"
    u"Choose Cancel to keep Kolvar AV and restore them first.";
// The installation folder named by the configuration is left alone: its path and why.
inline constexpr char16_t kFolderNotEmptied[] = u"The folder '%s' was not emptied: %s.";
inline constexpr char16_t kFolderProtected[] = u"it is a folder of the device, not of Kolvar AV";
inline constexpr char16_t kFolderNotInstallation[] =
    u"it does not hold the programs of Kolvar AV installed there";
inline constexpr char16_t kFolderNotInstallers[] =
    u"it is not the folder that is being uninstalled";

// The folders of the installation that the uninstall empties.
inline constexpr char16_t kUpdatesFolderName[] = u"_updates_";
inline constexpr char16_t kQuarantineFolderName[] = u"Quarantine";

// The scheduler editor, which setup terminates before removal.
inline constexpr char16_t kSchedulerProgramName[] = u"KVScheduler";

// Registry: the boot start-up values in HKEY_LOCAL_MACHINE "Init".
inline constexpr char16_t kInitKeyName[] = u"Init";
inline constexpr char16_t kBootStartValue[] = u"Launch99";
inline constexpr char16_t kSecondBootStartValue[] = u"Launch991";
// The desktop's start-at-login entry that stands for "Launch99" (a file name without extension).
inline constexpr char16_t kBootStartEntryName[] = u"kolvar-kvipcsrv";
inline constexpr char16_t kBootStartEntryTitle[] = u"Kolvar IPC service";
// The entry that the notification service writes for its dispatcher.
inline constexpr char16_t kDispatcherEntryFileName[] = u"kolvar-kvnotifyd.desktop";

}  // namespace kolvar::setup

#endif  // KOLVAR_SETUP_SETUP_TEXTS_H_
