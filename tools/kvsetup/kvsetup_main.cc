// kvsetup: installs the suite into its folder and removes it, through the setup library's entry
// points, as the device's package installer does.
//
//   kvsetup install [--from PACKAGE] [FOLDER]     PACKAGE: a build's program folder or an install
//                                                 tree (default: the folder of kvsetup itself)
//   kvsetup uninstall [FOLDER]
//
// FOLDER is a host folder, or a device path beginning with "\"; it defaults to "Kolvar" in the
// device's program-files folder. Exit status 0 done, 1 cancelled (nothing changed), 2 failed.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tools/kvsetup/suite_installer.h"

namespace {

constexpr char kUsage[] =
    "usage: kvsetup install [--from PACKAGE] [FOLDER]\n"
    "       kvsetup uninstall [FOLDER]\n";
constexpr char16_t kSuiteFolderName[] = u"Kolvar";

// The installation folder as a device path, from the argument or the default.
bool InstallationFolder(const char* argument, std::u16string* folder) {
  if (argument == nullptr) {
    std::u16string program_files;
    if (!kolvar::platform::GetSpecialFolder(kolvar::platform::SpecialFolder::kProgramFiles,
                                            &program_files)) {
      std::fputs("kvsetup: the device has no program-files folder\n", stderr);
      return false;
    }
    *folder = kolvar::platform::JoinPath(program_files, kSuiteFolderName);
    return true;
  }
  if (argument[0] == '\\') {
    *folder = kolvar::platform::Utf8ToUtf16Lossy(argument);
  } else {
    std::error_code error;
    const std::filesystem::path host = std::filesystem::absolute(argument, error);
    if (error || !kolvar::platform::DevicePathFromHost(host.lexically_normal().string(), folder)) {
      std::fprintf(stderr, "kvsetup: %s lies outside the device (%s)\n", argument,
                   kolvar::platform::DeviceRoot().c_str());
      return false;
    }
  }
  while (folder->size() > 1 && folder->back() == u'\\') folder->pop_back();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kolvar::kvsetup;
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitFailed;
  }
  const std::string command = argv[1];
  std::string package;
  int next = 2;
  if (command == "install" && next + 1 < argc && std::strcmp(argv[next], "--from") == 0) {
    package = argv[next + 1];
    next += 2;
  }
  if ((command != "install" && command != "uninstall") || argc - next > 1 ||
      (next < argc && argv[next][0] == '-')) {
    std::fputs(kUsage, stderr);
    return kExitFailed;
  }
  std::u16string folder;
  if (!InstallationFolder(next < argc ? argv[next] : nullptr, &folder)) return kExitFailed;
  if (command == "uninstall") return UninstallSuite(folder);
  if (package.empty()) {
    package =
        std::filesystem::path(kolvar::platform::CurrentExecutableHostPath()).parent_path().string();
  }
  return InstallSuite(package, folder);
}
