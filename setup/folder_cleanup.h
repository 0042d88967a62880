// The folders that the uninstall empties, and the guard that keeps the device's own folders safe:
// a configuration that names a wrong installation folder (damaged, forged, or "\" by mistake) must
// never empty the root, the Windows folder, the documents, or a folder above one of them.
#ifndef KOLVAR_SETUP_FOLDER_CLEANUP_H_
#define KOLVAR_SETUP_FOLDER_CLEANUP_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kolvar::setup {

// True when `folder` is the root, one of the device's special folders (Windows, documents,
// startup, program files, temporary) or a folder that holds one of them, or lies inside the
// Windows folder. Paths are compared without regard to case, as the device does. A folder outside
// the device counts as protected.
bool IsProtectedFolder(std::u16string_view folder);

// True when `folder` holds the suite's resident programs (the IPC service and the scanner), which
// only a folder the suite was installed into does.
bool HoldsSuitePrograms(std::u16string_view folder);

// Deletes every file and folder below `folder` (attributes cleared first; links removed, never
// followed), keeping the folder itself. Does nothing for a protected folder. Failures are passed
// over: whatever can be removed is.
void EmptyFolder(std::u16string_view folder);

// The regular files below `folder`, at every depth.
uint32_t CountFiles(std::u16string_view folder);

}  // namespace kolvar::setup

#endif  // KOLVAR_SETUP_FOLDER_CLEANUP_H_
