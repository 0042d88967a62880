// The one top-level window of a windowed program, in a handheld's proportions (portrait,
// resizable), in which the program's full-screen dialogs take turns: the main dialog lies at the
// bottom, each modal dialog replaces the view until it ends, and message boxes appear as panels
// over the dialog they belong to. The soft-key bar at the bottom carries the top dialog's two soft
// keys. Keys: Escape is the Back key, Enter the action key, F1 and F2 the left and right soft key.
// The window's title is the top dialog's title (a box's caption while a box is up).
//
// The frame is the ui::DialogHost of every dialog it shows: boxes go through the suite's one
// message-box call (so the box log and scripted answers of the tests see them), timers are Qt
// timers, posted tasks run in the Qt event loop.
//
// How a program uses it:
//   QApplication app(argc, argv);
//   DialogFrame frame(u"KVAntivirus", LoadApplicationFonts(platform_kind));
//   frame.RegisterView<ScanDialog, ScanDialogView>();       // one view class per dialog class
//   frame.RegisterView<ReportDialog, ReportView>();
//   frame.ShowMain(scan_dialog);                             // the modeless main dialog
//   frame.OnMainEnded([&] { app.quit(); });
//   app.exec();
// and from dialog logic: RunModal(report) shows the report's registered view over the scan dialog
// and returns its result once it has ended.
#ifndef KOLVAR_UI_QT_DIALOG_FRAME_H_
#define KOLVAR_UI_QT_DIALOG_FRAME_H_

#include <QSize>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <utility>
#include <vector>

#include "ui/dialog.h"
#include "ui/qt/dialog_view.h"
#include "ui/qt/fonts.h"

class QEventLoop;
class QStackedWidget;
class QTimer;

namespace kolvar::ui::qt {

class MessageBoxView;
class SoftKeyBarView;

// A handheld's screen in logical pixels, and a small one.
inline constexpr QSize kDefaultFrameSize(360, 480);
inline constexpr QSize kSmallFrameSize(240, 320);

class DialogFrame : public QWidget, public DialogHost {
 public:
  using ViewFactory = std::function<DialogView*(Dialog& dialog, DialogFrame& frame)>;

  // `program` names the program in the box log. Installs the message-box presenter of the
  // process (removed again by the destructor).
  DialogFrame(std::u16string program, ApplicationFonts fonts);
  ~DialogFrame() override;

  const ApplicationFonts& fonts() const { return fonts_; }
  const std::u16string& program() const { return program_; }

  // The view class of a dialog class: each dialog the frame shows must have one.
  void RegisterView(std::type_index dialog_type, ViewFactory factory);
  template <class DialogClass, class ViewClass>
  void RegisterView() {
    RegisterView(typeid(DialogClass), [](Dialog& dialog, DialogFrame& frame) -> DialogView* {
      return new ViewClass(static_cast<DialogClass&>(dialog), frame);
    });
  }

  // Shows the window with `dialog` as its main (modeless) dialog.
  void ShowMain(Dialog& dialog);
  // Called once the main dialog has ended (the program then ends).
  void OnMainEnded(std::function<void()> callback) { main_ended_ = std::move(callback); }

  // Brings the window to the front (a second start of the program).
  void Activate();
  // Sends Cancel to every dialog and box stacked over the main dialog, top first, and closes an
  // open soft-key menu.
  void CancelStackedDialogs();

  // Input as the user gives it, for the keys and the soft keys; refreshes the view afterwards.
  void SendCommand(Dialog& dialog, uint32_t id);
  void PressBack();
  void PressActionKey();
  void PressSoftKey(SoftKeySide side);

  // The dialog and the view on top, the open box (null when none), the soft-key bar.
  Dialog* top_dialog() const;
  DialogView* top_view() const;
  MessageBoxView* open_box() const;
  SoftKeyBarView* soft_key_bar() const { return soft_key_bar_; }
  // How many dialogs and boxes are shown, the main dialog included.
  size_t depth() const { return pages_.size(); }

  // DialogHost.
  int ShowMessageBox(const MessageBoxRequest& request) override;
  int RunModal(Dialog& dialog) override;
  void DialogEnded(Dialog& dialog) override;
  void DialogChanged(Dialog& dialog) override;
  void StartTimer(Dialog& dialog, uint32_t id, uint32_t period_ms) override;
  void StopTimer(Dialog& dialog, uint32_t id) override;
  void Post(std::function<void()> task) override;
  void SetWaitCursor(bool waiting) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Page {
    Dialog* dialog = nullptr;  // null for a box
    DialogView* view = nullptr;
    MessageBoxView* box = nullptr;
    QEventLoop* loop = nullptr;  // null for the main dialog
  };

  // The box itself, on the user-interface thread.
  int PresentBox(std::u16string_view caption, std::u16string_view text, uint32_t style);
  DialogView* MakeView(Dialog& dialog);
  void PushPage(const Page& page);
  void PopPage(const Page& page);
  void ShowTop();
  void RefreshTop();
  void StopTimersOf(const Dialog& dialog);
  bool HandleKey(int key);
  void CloseMainWhenUnwound(Dialog* main, int tries);

  const std::u16string program_;
  const ApplicationFonts fonts_;
  std::map<std::type_index, ViewFactory> factories_;
  QStackedWidget* pages_widget_;
  SoftKeyBarView* soft_key_bar_;
  std::vector<Page> pages_;
  std::map<std::pair<const Dialog*, uint32_t>, QTimer*> timers_;
  std::function<void()> main_ended_;
  int wait_cursors_ = 0;
  QMetaObject::Connection focus_connection_;
};

}  // namespace kolvar::ui::qt

#endif  // KOLVAR_UI_QT_DIALOG_FRAME_H_
