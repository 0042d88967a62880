// The folder queries the programs use to find their data: the device's special folders, the
// temporary folder, the running program's own folder, and whether a file or folder exists. Each
// query keeps to the device's 260-character path buffers and records status 17 when the platform
// gives no path.
#ifndef KOLVAR_COMMON_FOLDERS_H_
#define KOLVAR_COMMON_FOLDERS_H_

#include <string>
#include <string_view>

#include "common/lockable_object.h"
#include "platform/path.h"

namespace kolvar {

class FolderQuery : public LockableObject {
 public:
  FolderQuery();

  // Each fills *folder (without a trailing "\" unless stated) and returns true; on failure *folder
  // is emptied and the status is 17 (1 for a null folder).
  bool DocumentsFolder(std::u16string* folder);
  bool StartupFolder(std::u16string* folder);
  bool WindowsFolder(std::u16string* folder);
  bool ProgramFilesFolder(std::u16string* folder);
  // Ends in "\", as the device reports its temporary path.
  bool TempFolder(std::u16string* folder);
  // The running program's file path cut after its last "\" (so it ends in "\").
  bool RunningProgramFolder(std::u16string* folder);

  // A regular file / a folder exists at the path (status 17 when not).
  bool FileExists(std::u16string_view path);
  bool FolderExists(std::u16string_view path);

 private:
  bool Special(platform::SpecialFolder which, bool trailing_separator, std::u16string* folder);
  static Status Deliver(std::u16string path, std::u16string* folder);
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_FOLDERS_H_
