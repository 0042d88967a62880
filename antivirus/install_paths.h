// The main program's data paths, all in its installation folder (the folder of its own program
// file): the signature database, the virus detail database, the repository index, the update
// history and the quarantine folder; and the programs of the suite that it starts from there.
#ifndef KOLVAR_ANTIVIRUS_INSTALL_PATHS_H_
#define KOLVAR_ANTIVIRUS_INSTALL_PATHS_H_

#include <string>
#include <string_view>

namespace kolvar {

inline constexpr char16_t kHistoryFileName[] = u"KVHistory.upd";
// Standard output and error of the background programs that the front end starts, in the Windows
// folder: they must not hold the terminal or a pipe of the program that started them.
inline constexpr char16_t kDaemonOutputFileName[] = u"kvdaemons.log";

struct InstallPaths {
  std::u16string install_folder;  // ends in "\"
  std::u16string signature_database;
  std::u16string virus_details;
  std::u16string repository_index;
  std::u16string history;
  std::u16string quarantine_folder;  // without a trailing "\"

  // The program file of one of the suite's programs in the installation folder.
  std::u16string Program(std::u16string_view file_name) const;
};

// The paths of an installation folder (with or without its trailing "\").
InstallPaths InstallPathsOf(std::u16string_view install_folder);
// The paths of the running program's folder. False (last error set) when the program does not lie
// below the device root or its path is too long for the data paths.
bool RunningInstallPaths(InstallPaths* paths);

// The file that receives the background programs' output: the Windows folder's kvdaemons.log.
// Empty when the Windows folder cannot be had.
std::u16string DaemonOutputFile();

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_INSTALL_PATHS_H_
