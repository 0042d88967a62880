// KVUpdater (the applier KVUpdSP): installs the update package whose cabinet path is its command
// line, then restarts the main program with "UPDATED". One copy at a time; without a window its
// progress goes to standard error. Ends with exit code 0 in all cases, as the device's does.
#include <cstdio>
#include <string>

#include "common/config_keys.h"
#include "common/configuration.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "updater/applier_texts.h"
#include "updater/update_applier.h"

namespace kolvar::updater {
namespace {

void Show(std::u16string_view text, uint32_t style) {
  platform::MessageBox(kApplierProgram, kApplierCaption, text, platform::kMbOk | style);
}

class StandardErrorProgress : public ApplierProgress {
 public:
  // A line for each new status, and one for the end (the last step moves the bar alone).
  void SetPosition(int percent) override {
    percent_ = percent;
    if (percent == 100) Print();
  }
  void SetStatus(std::u16string_view text) override {
    status_ = platform::Utf16ToUtf8(text);
    Print();
  }

 private:
  void Print() const {
    std::fprintf(stderr, "%s: %3d%% %s\n", platform::Utf16ToUtf8(kApplierProgram).c_str(), percent_,
                 status_.c_str());
  }

  int percent_ = 0;
  std::string status_;
};

std::u16string CabinetArgument(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  const size_t first = line.find_first_not_of(' ');
  const size_t last = line.find_last_not_of(' ');
  line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
  if (line.size() >= 2 && line.front() == '"' && line.back() == '"') {
    line = line.substr(1, line.size() - 2);
  }
  return platform::Utf8ToUtf16Lossy(line);
}

int Run(int argc, char** argv) {
  const std::u16string cabinet = CabinetArgument(argc, argv);
  if (cabinet.empty()) {
    Show(kInvalidStartup, platform::kMbIconError);
    return 0;
  }
  std::unique_ptr<ConfigurationFile> configuration;
  if (!OpenConfiguration(/*keep_as_is=*/true, &configuration)) {
    Show(kNoConfiguration, platform::kMbIconError);
    return 0;
  }
  const std::u16string install_dir = InstallDirValue(configuration->store());
  std::unique_ptr<ConfigurationFile> information;
  if (!OpenUpdateInformation(
          install_dir + kUpdatesFolderName + u"\\" + config_keys::kUpdateInformationFileName,
          &information)) {
    Show(kNoUpdateFile, platform::kMbIconError);
    return 0;
  }
  platform::Mutex single;
  bool already = false;
  if (!single.Create(kSingleInstanceMutex, false, &already) || already) {
    // There is no window to bring forward: the running copy's progress is on its own terminal.
    std::fprintf(stderr, "%s: %s\n", platform::Utf16ToUtf8(kApplierProgram).c_str(),
                 platform::Utf16ToUtf8(kAlreadyRunning).c_str());
    return 0;
  }
  StandardErrorProgress progress;
  std::fprintf(stderr, "%s: %s\n", platform::Utf16ToUtf8(kApplierProgram).c_str(),
               platform::Utf16ToUtf8(kTitle).c_str());
  ApplierRun run;
  run.cabinet = cabinet;
  run.configuration = configuration.get();
  run.information = std::move(information);
  run.progress = &progress;
  run.notice = Show;
  ApplyUpdate(&run);
  single.Close();
  return 0;
}

}  // namespace
}  // namespace kolvar::updater

int main(int argc, char** argv) { return kolvar::updater::Run(argc, argv); }
