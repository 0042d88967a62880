// The frame window of a windowed program; see dialog_frame.h.
#include "ui/qt/dialog_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/message_box.h"
#include "ui/qt/message_box_view.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/soft_key_bar.h"

namespace kolvar::ui::qt {
namespace {

// How many turns of the event loop a window close waits for cancelled dialogs to unwind.
constexpr int kCloseTries = 100;

}  // namespace

DialogFrame::DialogFrame(std::u16string program, ApplicationFonts fonts)
    : QWidget(nullptr), program_(std::move(program)), fonts_(std::move(fonts)) {
  setObjectName("DialogFrame");
  setFont(fonts_.regular[0]);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  pages_widget_ = new QStackedWidget(this);
  soft_key_bar_ = new SoftKeyBarView(*this);
  soft_key_bar_->setFont(fonts_.bold);
  layout->addWidget(pages_widget_, 1);
  layout->addWidget(soft_key_bar_);
  resize(kDefaultFrameSize);
  qApp->installEventFilter(this);
  focus_connection_ =
      connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        DialogView* view = top_view();
        if (view != nullptr && open_box() == nullptr && now != nullptr && view->isAncestorOf(now)) {
          view->NoteFocus(now);
        }
      });
  platform::SetMessageBoxPresenter(
      [this](std::u16string_view caption, std::u16string_view text, uint32_t style) {
        if (QThread::currentThread() == thread()) return PresentBox(caption, text, style);
        int answer = platform::DefaultAnswer(style);
        const std::u16string caption_copy(caption);
        const std::u16string text_copy(text);
        QMetaObject::invokeMethod(
            this, [&] { answer = PresentBox(caption_copy, text_copy, style); },
            Qt::BlockingQueuedConnection);
        return answer;
      });
}

DialogFrame::~DialogFrame() {
  disconnect(focus_connection_);
  qApp->removeEventFilter(this);
  platform::SetMessageBoxPresenter({});
  for (auto& [key, timer] : timers_) timer->stop();
}

void DialogFrame::RegisterView(std::type_index dialog_type, ViewFactory factory) {
  factories_[dialog_type] = std::move(factory);
}

DialogView* DialogFrame::MakeView(Dialog& dialog) {
  const auto it = factories_.find(typeid(dialog));
  if (it == factories_.end()) return nullptr;
  return it->second(dialog, *this);
}

Dialog* DialogFrame::top_dialog() const {
  for (auto it = pages_.rbegin(); it != pages_.rend(); ++it) {
    if (it->box != nullptr) return nullptr;
    if (it->dialog != nullptr) return it->dialog;
  }
  return nullptr;
}

DialogView* DialogFrame::top_view() const {
  if (pages_.empty() || pages_.back().box != nullptr) return nullptr;
  return pages_.back().view;
}

MessageBoxView* DialogFrame::open_box() const {
  return pages_.empty() ? nullptr : pages_.back().box;
}

void DialogFrame::PushPage(const Page& page) {
  if (page.view != nullptr) pages_widget_->addWidget(page.view);
  pages_.push_back(page);
  ShowTop();
}

void DialogFrame::PopPage(const Page& page) {
  const auto it = std::find_if(pages_.begin(), pages_.end(), [&](const Page& p) {
    return p.dialog == page.dialog && p.box == page.box;
  });
  if (it != pages_.end()) pages_.erase(it);
  if (page.view != nullptr) pages_widget_->removeWidget(page.view);
  ShowTop();
}

void DialogFrame::ShowTop() {
  if (pages_.empty()) {
    soft_key_bar_->Show(nullptr);
    return;
  }
  // The view of the topmost dialog stays visible under any boxes above it.
  for (auto it = pages_.rbegin(); it != pages_.rend(); ++it) {
    if (it->view != nullptr) {
      pages_widget_->setCurrentWidget(it->view);
      break;
    }
  }
  const Page& top = pages_.back();
  if (top.box != nullptr) {
    setWindowTitle(ToQString(top.box->request().caption));
    soft_key_bar_->Show(nullptr);
    top.box->setGeometry(rect());
    top.box->show();
    top.box->raise();
    return;
  }
  setWindowTitle(ToQString(top.dialog->title()));
  soft_key_bar_->Show(top.dialog);
  if (top.view != nullptr) top.view->Refresh();
}

void DialogFrame::RefreshTop() {
  if (pages_.empty()) return;
  ShowTop();
}

void DialogFrame::ShowMain(Dialog& dialog) {
  Page page;
  page.dialog = &dialog;
  page.view = MakeView(dialog);
  dialog.Attach(this);
  PushPage(page);
  show();
  dialog.OnInit();
  RefreshTop();
}

int DialogFrame::RunModal(Dialog& dialog) {
  Page page;
  page.dialog = &dialog;
  page.view = MakeView(dialog);
  QEventLoop loop;
  page.loop = &loop;
  dialog.Attach(this);
  PushPage(page);
  dialog.OnInit();
  RefreshTop();
  if (!dialog.ended()) loop.exec();
  StopTimersOf(dialog);
  PopPage(page);
  delete page.view;
  return dialog.result();
}

int DialogFrame::ShowMessageBox(const MessageBoxRequest& request) {
  return platform::MessageBox(program_, request.caption, request.text, request.style);
}

int DialogFrame::PresentBox(std::u16string_view caption, std::u16string_view text, uint32_t style) {
  QEventLoop loop;
  int answer = platform::DefaultAnswer(style);
  auto* box =
      new MessageBoxView(MessageBoxRequest{std::u16string(caption), std::u16string(text), style},
                         *this, [&](int chosen) {
                           answer = chosen;
                           loop.exit(0);
                         });
  Page page;
  page.box = box;
  page.loop = &loop;
  PushPage(page);
  if (!isVisible()) show();
  loop.exec();
  PopPage(page);
  delete box;
  return answer;
}

void DialogFrame::DialogEnded(Dialog& dialog) {
  StopTimersOf(dialog);
  for (const Page& page : pages_) {
    if (page.dialog != &dialog) continue;
    if (page.loop != nullptr) {
      page.loop->exit(0);
    } else {
      // The main dialog: the program ends once the caller's work has unwound.
      hide();
      QMetaObject::invokeMethod(
          this,
          [this] {
            if (main_ended_) main_ended_();
          },
          Qt::QueuedConnection);
    }
    return;
  }
}

void DialogFrame::DialogChanged(Dialog& dialog) {
  if (QThread::currentThread() != thread()) {
    Post([this, &dialog] { DialogChanged(dialog); });
    return;
  }
  for (const Page& page : pages_) {
    if (page.dialog == &dialog && page.view != nullptr) page.view->Refresh();
  }
  if (!pages_.empty() && pages_.back().dialog == &dialog) {
    setWindowTitle(ToQString(dialog.title()));
    soft_key_bar_->Show(&dialog);
  }
}

void DialogFrame::StartTimer(Dialog& dialog, uint32_t id, uint32_t period_ms) {
  QTimer*& timer = timers_[{&dialog, id}];
  if (timer == nullptr) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, &dialog, id] {
      dialog.OnTimer(id);
      DialogChanged(dialog);
    });
  }
  timer->start(static_cast<int>(period_ms));
}

void DialogFrame::StopTimer(Dialog& dialog, uint32_t id) {
  const auto it = timers_.find({&dialog, id});
  if (it == timers_.end()) return;
  it->second->stop();
  it->second->deleteLater();
  timers_.erase(it);
}

void DialogFrame::StopTimersOf(const Dialog& dialog) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->first.first == &dialog) {
      it->second->stop();
      it->second->deleteLater();
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
}

void DialogFrame::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void DialogFrame::SetWaitCursor(bool waiting) {
  if (waiting) {
    ++wait_cursors_;
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (wait_cursors_ > 0) {
    --wait_cursors_;
    QApplication::restoreOverrideCursor();
  }
}

void DialogFrame::SendCommand(Dialog& dialog, uint32_t id) {
  dialog.OnCommand(id);
  RefreshTop();
}

void DialogFrame::PressBack() {
  if (Dialog* dialog = top_dialog()) {
    dialog->OnBack();
    RefreshTop();
  }
}

void DialogFrame::PressActionKey() {
  Dialog* dialog = top_dialog();
  if (dialog == nullptr) return;
  if (DialogView* view = top_view()) view->NoteFocus(QApplication::focusWidget());
  SendCommand(*dialog, kCommandOk);
}

void DialogFrame::PressSoftKey(SoftKeySide side) {
  if (top_dialog() != nullptr) soft_key_bar_->Press(side);
}

void DialogFrame::Activate() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void DialogFrame::CancelStackedDialogs() {
  while (QWidget* popup = QApplication::activePopupWidget()) {
    if (!popup->close()) break;
  }
  for (size_t index = pages_.size(); index > 1; --index) {
    const Page page = pages_[index - 1];
    if (page.box != nullptr) {
      const int escape = page.box->EscapeAnswer();
      page.box->Answer(escape != 0 ? escape : page.box->answers().back());
    } else if (page.dialog != nullptr && !page.dialog->ended()) {
      page.dialog->OnCommand(kCommandCancel);
    }
  }
}

bool DialogFrame::HandleKey(int key) {
  if (MessageBoxView* box = open_box()) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
      if (button != nullptr && box->isAncestorOf(button)) {
        button->click();
      } else {
        box->Answer(box->DefaultAnswer());
      }
      return true;
    }
    if (key == Qt::Key_Escape) {
      if (box->EscapeAnswer() != 0) box->Answer(box->EscapeAnswer());
      return true;
    }
    if (box->ScrollText(key)) return true;
    return key == Qt::Key_F1 || key == Qt::Key_F2;
  }
  switch (key) {
    case Qt::Key_Escape:
      PressBack();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      PressActionKey();
      return true;
    case Qt::Key_F1:
      PressSoftKey(SoftKeySide::kLeft);
      return true;
    case Qt::Key_F2:
      PressSoftKey(SoftKeySide::kRight);
      return true;
    default:
      return false;
  }
}

bool DialogFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != this) return false;
  auto* key_event = static_cast<QKeyEvent*>(event);
  if (key_event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
  return HandleKey(key_event->key());
}

void DialogFrame::closeEvent(QCloseEvent* event) {
  if (pages_.empty()) {
    event->accept();
    return;
  }
  event->ignore();
  CancelStackedDialogs();
  CloseMainWhenUnwound(pages_.front().dialog, 0);
}

void DialogFrame::CloseMainWhenUnwound(Dialog* main, int tries) {
  // The main dialog closes once the cancelled dialogs over it have unwound.
  QMetaObject::invokeMethod(
      this,
      [this, main, tries] {
        if (pages_.empty() || pages_.front().dialog != main || main->ended()) return;
        if (pages_.size() > 1 && tries < kCloseTries) {
          CloseMainWhenUnwound(main, tries + 1);
          return;
        }
        main->OnClose();
      },
      Qt::QueuedConnection);
}

void DialogFrame::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  for (const Page& page : pages_) {
    if (page.box != nullptr) page.box->setGeometry(rect());
  }
}

}  // namespace kolvar::ui::qt
