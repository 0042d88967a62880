// The base of every dialog of the suite's windowed programs, without a window toolkit: a dialog is
// its state (texts, counters, list rows, which control has the focus, which buttons are enabled),
// its soft-key bar (soft_keys.h), and the actions that commands, keys and timers run on that state.
// Tests drive a dialog directly; a view (ui/qt/) only shows the state and passes the user's input
// on. What a dialog needs from the window system it asks of its host: message boxes, modal child
// dialogs, timers, a refresh of its view, and running a task on the user-interface thread.
//
// How a program uses it:
//   class ReportDialog : public ui::Dialog {
//    public:
//     ReportDialog() : Dialog(u"Report") { soft_keys().right = SoftKey::CommandKey(40040,
//     u"Close"); } void OnCommand(uint32_t id) override { if (id == 40040) End(ui::kResultOk); ...
//     }
//   };
//   int result = host.RunModal(report);   // the Qt frame shows the dialog's registered view
//
// Input reaches the dialog as: OnCommand (menu items, plain soft keys, buttons, and the action key
// as kCommandOk), OnBack (the Back key, Escape on a desktop), OnTimer, OnMenuOpening (just before
// a soft-key menu opens, to grey items), OnRowActivated (a list row chosen twice), OnClose (the
// window is closed). Everything runs on the user-interface thread, except Post and MessageBox,
// which any thread may call.
#ifndef KOLVAR_UI_DIALOG_H_
#define KOLVAR_UI_DIALOG_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ui/soft_keys.h"

namespace kolvar::ui {

// Results of a modal dialog, as the device's dialogs return them.
inline constexpr int kResultOk = 0;    // closed by its own command ("Close", "Done")
inline constexpr int kResultBack = 1;  // left with the Back key
inline constexpr int kResultCancel = 2;

// The action key's command ("OK").
inline constexpr uint32_t kCommandOk = 1;
// The command that a second start of the program sends to every dialog stacked over the main one.
inline constexpr uint32_t kCommandCancel = 2;

// A message box as a dialog asks for it: caption, text, and the device's style bits (buttons and
// icon, platform/message_box.h).
struct MessageBoxRequest {
  std::u16string caption;
  std::u16string text;
  uint32_t style = 0;
};

class Dialog;

class DialogHost {
 public:
  virtual ~DialogHost() = default;

  // Shows a box and returns the answer (kIdOk, kIdCancel, ... of platform/message_box.h). Any
  // thread; a box asked for off the user-interface thread waits for its answer there.
  virtual int ShowMessageBox(const MessageBoxRequest& request) = 0;
  // Shows `dialog` over the current one until it ends; returns its result.
  virtual int RunModal(Dialog& dialog) = 0;
  // `dialog` ended (Dialog::End): the host takes it off the screen.
  virtual void DialogEnded(Dialog& dialog) = 0;
  // The state of `dialog` changed: its view shows it again.
  virtual void DialogChanged(Dialog& dialog) = 0;
  // Calls dialog.OnTimer(id) every `period_ms` until stopped (starting a running timer restarts
  // it). Timers of a dialog stop when it ends.
  virtual void StartTimer(Dialog& dialog, uint32_t id, uint32_t period_ms) = 0;
  virtual void StopTimer(Dialog& dialog, uint32_t id) = 0;
  // Runs `task` on the user-interface thread, later. Any thread.
  virtual void Post(std::function<void()> task) = 0;
  // Shows or hides the wait cursor.
  virtual void SetWaitCursor(bool waiting) { (void)waiting; }
};

class Dialog {
 public:
  explicit Dialog(std::u16string title);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  const std::u16string& title() const { return title_; }
  SoftKeyBar& soft_keys() { return soft_keys_; }
  const SoftKeyBar& soft_keys() const { return soft_keys_; }

  // The control that has the focus (0: none). The view reports the user's moves with
  // FocusChanged and follows SetFocus.
  uint32_t focus() const { return focus_; }
  void FocusChanged(uint32_t control) { focus_ = control; }

  bool ended() const { return ended_; }
  int result() const { return result_; }

  // The host calls Attach before OnInit, each time it shows the dialog.
  void Attach(DialogHost* host);
  DialogHost* host() const { return host_; }

  // Initialisation, once the host shows the dialog.
  virtual void OnInit() {}
  // Base: kCommandOk re-sends the command of the focused control; kCommandCancel ends the dialog
  // with kResultCancel.
  virtual void OnCommand(uint32_t id);
  // Base: ends the dialog with kResultBack.
  virtual void OnBack();
  virtual void OnTimer(uint32_t id) { (void)id; }
  virtual void OnMenuOpening(SoftKeySide side) { (void)side; }
  virtual void OnRowActivated(uint32_t list, int row) {
    (void)list;
    (void)row;
  }
  // The window is being closed. Base: ends the dialog with kResultOk.
  virtual void OnClose();

 protected:
  void End(int result);
  void SetFocus(uint32_t control);
  // Asks the host to show the state again.
  void Changed();
  int MessageBox(std::u16string_view caption, std::u16string_view text, uint32_t style);
  int RunModal(Dialog& child);
  void StartTimer(uint32_t id, uint32_t period_ms);
  void StopTimer(uint32_t id);
  void SetWaitCursor(bool waiting);
  // Runs `task` on the user-interface thread; dropped when this dialog is destroyed first. Any
  // thread, while the dialog is attached.
  void PostToSelf(std::function<void()> task);

 private:
  std::u16string title_;
  SoftKeyBar soft_keys_;
  DialogHost* host_ = nullptr;
  uint32_t focus_ = 0;
  bool ended_ = false;
  int result_ = kResultOk;
  // Posted tasks hold it weakly: a task that runs after the dialog has gone does nothing.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace kolvar::ui

#endif  // KOLVAR_UI_DIALOG_H_
