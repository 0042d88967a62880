// The applier's texts: its caption, the string table entries beside their numbers, and the names
// of the update information file's rule sections and keys.
#ifndef KOLVAR_UPDATER_APPLIER_TEXTS_H_
#define KOLVAR_UPDATER_APPLIER_TEXTS_H_

namespace kolvar::updater {

inline constexpr char16_t kApplierProgram[] = u"KVUpdater";
inline constexpr char16_t kApplierCaption[] = u"Kolvar Updater";
inline constexpr char16_t kSingleInstanceMutex[] = u"_CLOSEWIN_EXE_MUTEX_";
inline constexpr char16_t kUpdatesFolderName[] = u"_updates_";
inline constexpr char16_t kHistoryFileName[] = u"KVHistory.upd";
inline constexpr char16_t kMainProgram[] = u"KVAntivirus";
inline constexpr char16_t kUpdatedWord[] = u"UPDATED";

// String table.
inline constexpr char16_t kTitle[] = u"Updating...";                         // 1
inline constexpr char16_t kInitializing[] = u"Initializing...";              // 40004
inline constexpr char16_t kUpdatingFiles[] = u"Updating files...";           // 40005
inline constexpr char16_t kSettingRegistry[] = u"Setting registry info...";  // 40006
inline constexpr char16_t kFinishing[] = u"Finishing process...";            // 40007

// Messages (boxes with the hand icon and the caption above).
inline constexpr char16_t kInvalidStartup[] = u"Error: Invalid startup.";
inline constexpr char16_t kNoConfiguration[] =
    u"Error: Configuration file could not be found. Update aborted.";
inline constexpr char16_t kNoUpdateFile[] =
    u"Error: Update file (kvmupdi.dat) could not be found. Update aborted.";
inline constexpr char16_t kNoCabinet[] = u"Error trying to locate CAB file.";
inline constexpr char16_t kInstallerNotStarted[] = u"Error %d startig %s. Update aborted.";
inline constexpr char16_t kNoRulesLibrary[] =
    u"Error trying to load kvmupdrules.dll. Update aborted.";
inline constexpr char16_t kRulesFailed[] = u"Error %d executing rules dll. Update aborted.";
inline constexpr char16_t kBadUpdateFile[] = u"Error reading kvmupdi.dat. Update aborted.";
inline constexpr char16_t kFilesMissing[] = u"Error updating files. Update aborted.";
inline constexpr char16_t kUpdateFailed[] = u"Error updating Kolvar Mobile Antivirus.";
// Ours: the installer ended with a failure (it refused the cabinet), and the package's signature.
inline constexpr char16_t kInstallerFailed[] = u"Error %d installing %s. Update aborted.";
inline constexpr char16_t kBadSignature[] =
    u"Error: the update package %s is not signed by the publisher (%s). Update aborted.";
inline constexpr char16_t kUnsignedWarning[] =
    u"Warning: signed updates are not required (RequireSignedUpdates is 0); the package is "
    u"installed without checking its signature.";
inline constexpr char16_t kAlreadyRunning[] = u"An update is already being installed.";

// The update information file's rules.
inline constexpr char kRulesInformation[] = "RULES_INFORMATION";
inline constexpr char kRunDll[] = "RunDll";
inline constexpr char kDll[] = "Dll";
inline constexpr char kExtracted[] = "Extracted";
inline constexpr char kDoUpdateFiles[] = "DoUpdateFiles";
inline constexpr char kRulesFilesToUpdate[] = "RULES_FILES_TO_UPDATE";
inline constexpr char kUpdateHistory[] = "UPDATE_HISTORY";
inline constexpr char kHistoryKeyFormat[] = "L%03d";

}  // namespace kolvar::updater

#endif  // KOLVAR_UPDATER_APPLIER_TEXTS_H_
