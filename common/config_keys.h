// The sections and keys of the configuration file and their value types, named once for every
// program. The spelling is the files' own ("ShorcutPath" lacks its first "t" in every stored file).
#ifndef KOLVAR_COMMON_CONFIG_KEYS_H_
#define KOLVAR_COMMON_CONFIG_KEYS_H_

namespace kolvar::config_keys {

// File names of the two stores.
inline constexpr char16_t kConfigurationFileName[] = u"kvmavcfg.dat";
inline constexpr char16_t kUpdateInformationFileName[] = u"kvmupdi.dat";

inline constexpr char kBasic[] = "BASIC";
inline constexpr char kInstallDir[] = "InstallDir";  // text without NUL, ends in "\"
inline constexpr char kPlatform[] = "Platform";      // 2 on a Pocket PC, 1 otherwise
inline constexpr char kVersion[] = "Version";
inline constexpr char kContactUrl[] = "ContactUrl";  // the about dialog's contact address (text)

inline constexpr char kConfig[] = "CONFIG";
inline constexpr char kAutoStartup[] = "AutoStartup";
inline constexpr char kEnableBckScan[] = "EnableBckScan";
inline constexpr char kEnableFolderSelection[] = "EnableFolderSelection";
// Type 2, not among the defaults. Non-zero: the device's pacing (pauses between the files of a
// scan and between the blocks of a download); 0: none; absent: paced in a device image, unpaced
// in the host profile.
inline constexpr char kScanPacing[] = "ScanPacing";
inline constexpr char kShorcutPath[] = "ShorcutPath";
inline constexpr char kSplashScreen[] = "SplashScreen";

inline constexpr char kUpdates[] = "UPDATES";
inline constexpr char kFlagUpdateAvailable[] = "FlagUpdateAvailable";
inline constexpr char kLastReleaseDate[] = "LastReleaseDate";
inline constexpr char kLastUpdateFileSize[] = "LastUpdateFileSize";
inline constexpr char kLastUpdateId[] = "LastUpdateID";
inline constexpr char kLastUpdateTime[] = "LastUpdateTime";
inline constexpr char kLoginPasswordRequired[] = "LoginPasswordRequired";
inline constexpr char kProxyPort[] = "ProxyPort";
inline constexpr char kProxyPwd[] = "ProxyPwd";
inline constexpr char kProxyRequired[] = "ProxyRequired";
inline constexpr char kProxyServer[] = "ProxyServer";
inline constexpr char kProxyUser[] = "ProxyUser";
inline constexpr char kReleaseDate[] = "ReleaseDate";
// Type 2; absent or non-zero: every file taken from the update server must carry the publisher's
// signature. 0 lets an administrator accept an old server that signs nothing.
inline constexpr char kRequireSignedUpdates[] = "RequireSignedUpdates";
inline constexpr char kUpdateExec[] = "UpdateExec";
inline constexpr char kUpdateFileSize[] = "UpdateFileSize";
inline constexpr char kUpdateId[] = "UpdateID";
inline constexpr char kUpdateTime[] = "UpdateTime";
inline constexpr char kUpdateUrl[] = "UpdateUrl";
inline constexpr char kUpdateUrlFile[] = "UpdateUrlFile";
inline constexpr char kUpdateVersion[] = "UpdateVersion";

// The publisher keys of update packages, in the installation folder: one or more PEM public keys.
inline constexpr char16_t kUpdateKeysFileName[] = u"kvupdate.pub";
// A file taken from the update server comes with its detached signature: the same name followed
// by this suffix, holding the 64 raw bytes of an Ed25519 signature over the file's exact bytes.
inline constexpr char16_t kSignatureSuffix[] = u".sig";

// The update information file's section (its keys belong to the update client and applier;
// UpdateID and ReleaseDate are spelled as in UPDATES). The cabinet of each kind of device:
inline constexpr char kUpdateInformation[] = "UPDATE_INFORMATION";
inline constexpr char kSignedSmartphoneCabinet[] = "Signed_SP_CAB";
inline constexpr char kSignedPocketPcCabinet[] = "Signed_PPC_CAB";
inline constexpr char kPocketPcCabinet[] = "PPC_CAB";

// The device's cabinet installer, as setup registers it and the update applier finds it: the
// command under this key of the registry's classes root, value kInstallerCommandValue, names the
// installer (the text before its first space); the applier starts that name from the Windows
// folder. Without the key, the value or a space in it, the name is kDefaultInstallerName. The
// suite's programs carry no file name extension on this system, so the installer is "wceload",
// not the device's "wceload.exe".
inline constexpr char16_t kInstallerCommandKey[] = u"cabfile\\Shell\\Open\\Command";
inline constexpr char16_t kInstallerCommandValue[] = u"Default";
inline constexpr char16_t kDefaultInstallerName[] = u"wceload";
// The command setup registers: the installer's name, a space, and the cabinet in double quotes.
inline constexpr char16_t kInstallerCommand[] = u"wceload \"%1\"";

// Default texts.
inline constexpr char16_t kDefaultVersion[] = u"3.0";
inline constexpr char16_t kDefaultShortcutPath[] =
    u"\\Windows\\Start Menu\\Programs\\Kolvar Antivirus.lnk";
// The update server is configurable; the scheme and the path are fixed.
inline constexpr char16_t kDefaultUpdateUrl[] =
    u"http://update.kolvar.example/downloads/av/updmavv30/";
inline constexpr char16_t kDefaultUpdateVersion[] = u"KVUPD-V30";

}  // namespace kolvar::config_keys

#endif  // KOLVAR_COMMON_CONFIG_KEYS_H_
