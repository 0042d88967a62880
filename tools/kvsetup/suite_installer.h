// Installing and removing the suite as the device's package installer does: the package's files
// are first put into a folder of the device's temporary folder (as the device unpacks a cabinet),
// the setup library is loaded from there and its init entry called, the files are copied into the
// installation folder and registered, and its exit entry is called. Removal loads the installed
// library, calls its init entry, deletes the suite's files and calls its exit entry. An init
// entry that cancels stops the whole operation before anything has been changed.
#ifndef KOLVAR_TOOLS_KVSETUP_SUITE_INSTALLER_H_
#define KOLVAR_TOOLS_KVSETUP_SUITE_INSTALLER_H_

#include <string>

namespace kolvar::kvsetup {

// Exit codes of kvsetup.
inline constexpr int kExitDone = 0;
inline constexpr int kExitCancelled = 1;
inline constexpr int kExitFailed = 2;

// `package` is a host folder that holds the built suite (a build's program folder or an install
// tree); `folder` the installation folder as a device path.
int InstallSuite(const std::string& package, const std::u16string& folder);
int UninstallSuite(const std::u16string& folder);

}  // namespace kolvar::kvsetup

#endif  // KOLVAR_TOOLS_KVSETUP_SUITE_INSTALLER_H_
