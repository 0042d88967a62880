// wceload: the device's cabinet installer, ours. Usage: wceload [/nouninstall] "CABINET", where
// CABINET is a device path; the options may also come as one command-line argument, as the
// applier passes them. Exit code 0 when the package was installed, 1 when it was refused.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/configuration.h"
#include "platform/path.h"
#include "platform/text.h"
#include "updater/package_installer.h"
#include "updater/update_package.h"

namespace kolvar::updater {
namespace {

// Splits a command line at spaces outside double quotes.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

int Run(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    line +=
        (i > 1 ? " " : "") + (arg.find(' ') != std::string::npos && arg.front() != '"' && argc > 2
                                  ? "\"" + arg + "\""
                                  : arg);
  }
  InstallOptions options;
  std::u16string cabinet;
  for (const std::string& word : Words(line)) {
    if (platform::Utf8ToUtf16Lossy(word) == kNoUninstallSwitch) {
      options.keep_uninstall = false;
    } else if (cabinet.empty()) {
      cabinet = platform::Utf8ToUtf16Lossy(word);
    } else {
      std::fputs("wceload: only one cabinet can be installed at a time\n", stderr);
      return 1;
    }
  }
  if (cabinet.empty()) {
    std::fputs("usage: wceload [/nouninstall] \"CABINET\"\n", stderr);
    return 1;
  }
  std::unique_ptr<ConfigurationFile> configuration;
  OpenConfiguration(/*keep_as_is=*/true, &configuration);
  std::vector<std::u16string> installed;
  std::string error;
  if (!InstallPackage(cabinet, options, &configuration->store(), &installed, &error)) {
    std::fprintf(stderr, "wceload: %s: %s\n", platform::ShownPath(cabinet).c_str(), error.c_str());
    return 1;
  }
  for (const std::u16string& path : installed) {
    std::fprintf(stderr, "wceload: installed %s\n", platform::ShownPath(path).c_str());
  }
  return 0;
}

}  // namespace
}  // namespace kolvar::updater

int main(int argc, char** argv) { return kolvar::updater::Run(argc, argv); }
