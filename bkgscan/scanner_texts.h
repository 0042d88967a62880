// The background scanner's messages to the user. It has no window: its message boxes go where
// the platform sends those of windowless programs, under the caption "Kolvar Scanner Engine".
#ifndef KOLVAR_BKGSCAN_SCANNER_TEXTS_H_
#define KOLVAR_BKGSCAN_SCANNER_TEXTS_H_

namespace kolvar {

inline constexpr char16_t kDatabaseNotFoundMessage[] =
    u"\nVirus Database not found. Please contact support.";
// A database that loads but yields no usable signature, and one from which records were skipped;
// the reasons follow the text on a line of their own.
inline constexpr char16_t kDatabaseUnusableMessage[] =
    u"\nVirus Database damaged or empty: no virus can be detected. Please contact support.";
inline constexpr char16_t kDatabaseDamagedMessage[] =
    u"\nVirus Database damaged: some signatures were not loaded, so some viruses may go "
    u"undetected. Please contact support.";
inline constexpr char16_t kIpcFailedMessage[] =
    u"IPC communication failed: please restart device.\nIf the problem persists, reinstall "
    u"Kolvar AV.";
inline constexpr char16_t kRegisterFailedMessage[] =
    u"Cannot register channel: please restart device.\nIf the problem persists, reinstall "
    u"Kolvar AV.";
inline constexpr char16_t kBackgroundValueMessage[] =
    u"Cannot load configuration value (Enable Background).\nDefault value will be assumed.";
// Shown when the scanner cannot state which device it serves: without that statement a front end
// of this device could not tell it from a scanner of another device, so the scanner ends.
inline constexpr char16_t kDeviceNoticeFailedMessage[] =
    u"Cannot make known which device this scanner serves (%s): error %d.\nThe scanner ends.";
inline constexpr char16_t kQuarantineFolderFailedMessage[] =
    u"\nCould not create quarantine directory. Please contact support.";
// Shown when the main program cannot be started for a detection (the text is the system's own).
inline constexpr char16_t kMainProgramStartFailedMessage[] =
    u"Internal Error: Cannot execute IPC Server.";

}  // namespace kolvar

#endif  // KOLVAR_BKGSCAN_SCANNER_TEXTS_H_
