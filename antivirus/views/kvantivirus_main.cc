// KVAntivirus: the windowed main program of Kolvar AV, in the installation folder beside the other
// programs. Its command line is one of the words that the suite's programs pass ("VIRUSDETECTED",
// "UPDATED", "DOSCAN", "DOUPDATE") or nothing.
#include <QApplication>
#include <QIcon>
#include <string>

#include "antivirus/antivirus_program.h"
#include "antivirus/views/dialog_views.h"
#include "antivirus/views/pictures.h"
#include "antivirus/views/qt_windows.h"
#include "platform/terminal.h"
#include "platform/text.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/fonts.h"
#include "ui/qt/leak_suppressions.h"

int main(int argc, char** argv) {
  using namespace kolvar;
  // SIGTERM, SIGINT and SIGHUP close the window (the program then takes its leave as usual).
  platform::CatchInterrupts();
  QApplication application(argc, argv);
  QApplication::setApplicationName("KVAntivirus");
  QApplication::setQuitOnLastWindowClosed(false);
  // The program's icon on its window, and the name by which the desktop matches the window to the
  // menu entry that shows the same icon (kolvar-antivirus.desktop).
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/kolvar.svg")));
  QApplication::setDesktopFileName(QStringLiteral("kolvar-antivirus"));
  // The device passes one command line; the words here are joined back into it.
  std::string command_line;
  for (int index = 1; index < argc; ++index) {
    if (index > 1) command_line += ' ';
    command_line += argv[index];
  }
  ui::qt::DialogFrame frame(views::kProgramName, ui::qt::LoadApplicationFonts(PlatformKind()));
  frame.setObjectName("KVAntivirus");
  frame.setWindowIcon(QIcon(views::ApplicationPicture()));
  views::RegisterAntivirusViews(frame);
  views::QtAntivirusWindows windows(frame);
  return RunAntivirusProgram(platform::Utf8ToUtf16Lossy(command_line), windows);
}
