// What the applier and the cabinet installer agree on about an update package: the package's name
// and registry entries, the installer's registration, and the manifest, our own small text file
// inside every package cabinet that says where each of its files goes (format in the README).
#ifndef KOLVAR_UPDATER_UPDATE_PACKAGE_H_
#define KOLVAR_UPDATER_UPDATE_PACKAGE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kolvar::updater {

inline constexpr char16_t kPackageName[] = u"Kolvar Update Package";
// Registry entries (local machine) that the installer makes for the package and the applier
// removes: the package's key below each parent, and its values.
inline constexpr char16_t kAppInstallParent[] = u"Security\\AppInstall";
inline constexpr char16_t kAppsParent[] = u"SOFTWARE\\Apps";
inline constexpr char16_t kUninstallValue[] = u"Uninstall";
inline constexpr char16_t kCmdFileValue[] = u"CmdFile";
inline constexpr char16_t kIsvFileValue[] = u"IsvFile";
// Where the installer keeps the package's own files: the manifest it followed and the list of the
// files it installed (the uninstall list), below the Windows folder.
inline constexpr char16_t kPackageFilesFolder[] = u"AppMgr";
inline constexpr char16_t kPackageManifestCopy[] = u"Kolvar Update Package.kvm";
inline constexpr char16_t kPackageInstalledList[] = u"Kolvar Update Package.lst";
inline constexpr char16_t kUninstallListName[] = u"uninstall.lst";

inline constexpr char16_t kNoUninstallSwitch[] = u"/nouninstall";

// The manifest: its name in the cabinet, its first line, and the longest file name a package may
// carry (a file name is also a key of the update information file, so it fits in 31 bytes).
inline constexpr char kManifestName[] = "kvpackage.txt";
inline constexpr char kManifestHeader[] = "KVPACKAGE 1";
inline constexpr size_t kMaxPackageFileName = 31;

struct ManifestEntry {
  std::string name;                   // the file's name in the cabinet
  std::u16string destination_folder;  // a device folder with a path macro in front
};

// A plain file name: 1 to 31 bytes of UTF-8 with no separator, control character, ':' or '*?',
// and not "." or "..".
bool IsPlainFileName(std::string_view name);
// A folder that begins with one of the path macros and continues, if at all, with "\" and plain
// names ("#temp#\KVUpdate"): no "..", no empty parts, no "/".
bool IsMacroFolder(std::u16string_view folder);
// A path the update information may name for a file it has the applier load and then delete: a
// macro path as above, or a device path of plain names ("\Windows\rules"). It never climbs out
// with "..", whatever the signature on the information says.
bool IsConfinedPath(std::u16string_view path);

// Reads a manifest: the header line, then one "NAME<TAB>FOLDER" line per file (UTF-8, LF or
// CRLF; empty lines and lines beginning with "#" are skipped). Each name appears once. False with
// the line and the reason in *error.
bool ParseManifest(std::string_view text, std::vector<ManifestEntry>* entries, std::string* error);
std::string ManifestText(const std::vector<ManifestEntry>& entries);

}  // namespace kolvar::updater

#endif  // KOLVAR_UPDATER_UPDATE_PACKAGE_H_
