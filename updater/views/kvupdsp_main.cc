// KVUpdater (the applier KVUpdSP): installs the update package whose cabinet path is its command
// line, then restarts the main program with "UPDATED". One copy at a time; a second start brings
// the running copy's window to the front and dismisses its boxes. Its progress window shows while
// the worker runs; without a display that can be reached, its progress goes to standard error
// instead. Ends with exit code 0 in all cases, as the device's does.
#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/config_keys.h"
#include "common/configuration.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "platform/platform_kind.h"
#include "platform/text.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/fonts.h"
#include "ui/qt/leak_suppressions.h"
#include "ui/running_copy.h"
#include "updater/applier_dialog.h"
#include "updater/applier_texts.h"
#include "updater/update_applier.h"
#include "updater/views/applier_view.h"
#include "updater/window_choice.h"

namespace kolvar::updater {
namespace {

void Show(std::u16string_view text, uint32_t style) {
  platform::MessageBox(kApplierProgram, kApplierCaption, text, platform::kMbOk | style);
}

void Say(std::u16string_view text) {
  std::fprintf(stderr, "%s: %s\n", platform::Utf16ToUtf8(kApplierProgram).c_str(),
               platform::Utf16ToUtf8(text).c_str());
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

uint32_t PlatformKind() {
  std::u16string type = platform::PlatformTypeText();
  for (char16_t& c : type) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return type.find(u"POCKET") != std::u16string::npos ? 2 : 1;
}

// Qt's complaints about the platforms it could not start (the display that cannot be reached is
// said once, in our words) are kept out of standard error while the application starts.
QtMessageHandler previous_handler = nullptr;
void QuietPlatformMessages(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
  if (context.category != nullptr && QByteArray(context.category).startsWith("qt.qpa")) return;
  if (message.startsWith(QStringLiteral("QStandardPaths:"))) return;
  if (previous_handler != nullptr) previous_handler(type, context, message);
}

void RunWithoutWindow(ApplierRun* run) {
  StandardErrorProgress progress;
  Say(kTitle);
  run->progress = &progress;
  run->notice = Show;
  ApplyUpdate(run);
}

// The window when a display can be reached; false (nothing done) when not.
bool RunInWindow(ApplierRun* run, int argc, char** argv) {
  const WindowPlatforms choice = ChooseWindowPlatforms(
      std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"));
  if (!choice.try_window) return false;
  setenv("QT_QPA_PLATFORM", choice.platforms.c_str(), 1);
  previous_handler = qInstallMessageHandler(QuietPlatformMessages);
  auto application = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(previous_handler);
  if (!ShowsWindow(choice, QGuiApplication::platformName().toStdString())) {
    application.reset();
    Say(u"no display can be reached; the progress follows here");
    return false;
  }
  QApplication::setApplicationName(QStringLiteral("KVUpdater"));
  QApplication::setQuitOnLastWindowClosed(false);
  ui::qt::DialogFrame frame(std::u16string(kApplierProgram),
                            ui::qt::LoadApplicationFonts(PlatformKind()));
  frame.setObjectName("KVUpdater");
  RegisterApplierView(frame);
  ApplierDialog dialog([run](ApplierProgress& progress, const UserNotice& notice) {
    run->progress = &progress;
    run->notice = notice;
    ApplyUpdate(run);
  });
  // A second applier brings this window forward and dismisses the boxes over it.
  ui::RunningCopyListener listener;
  listener.Listen(kApplierWindowClass, [&frame] {
    QMetaObject::invokeMethod(
        &frame,
        [&frame] {
          frame.Activate();
          frame.CancelStackedDialogs();
        },
        Qt::QueuedConnection);
  });
  frame.OnMainEnded([&] { QApplication::quit(); });
  frame.ShowMain(dialog);
  QApplication::exec();
  listener.Stop();
  return true;
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
    // The running copy's window comes forward; one without a window has its progress on its
    // own terminal.
    if (!ui::ActivateRunningCopy(kApplierWindowClass)) Say(kAlreadyRunning);
    return 0;
  }
  ApplierRun run;
  run.cabinet = cabinet;
  run.configuration = configuration.get();
  run.information = std::move(information);
  if (!RunInWindow(&run, argc, argv)) RunWithoutWindow(&run);
  single.Close();
  return 0;
}

}  // namespace
}  // namespace kolvar::updater

int main(int argc, char** argv) { return kolvar::updater::Run(argc, argv); }
