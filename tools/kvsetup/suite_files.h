// The files that make up an installation of the suite, as the installer copies and removes them.
#ifndef KOLVAR_TOOLS_KVSETUP_SUITE_FILES_H_
#define KOLVAR_TOOLS_KVSETUP_SUITE_FILES_H_

#include <span>
#include <string_view>

namespace kolvar::kvsetup {

struct SuiteFile {
  std::u16string_view name;
  // A package must hold it; the others are copied when the package has them.
  bool required = false;
  // The user's copy is kept when one exists (the task list that the user edits).
  bool keep_existing = false;
};

std::span<const SuiteFile> SuiteFiles();

}  // namespace kolvar::kvsetup

#endif  // KOLVAR_TOOLS_KVSETUP_SUITE_FILES_H_
