// The in-frame message box; see message_box_view.h.
#include "ui/qt/message_box_view.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <utility>

#include "platform/message_box.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/qt_text.h"

namespace kolvar::ui::qt {
namespace {

struct ButtonText {
  int answer;
  const char* text;
};

std::vector<ButtonText> ButtonsOf(uint32_t style) {
  using namespace platform;
  switch (style & kMbButtonsMask) {
    case kMbOkCancel:
      return {{kIdOk, "OK"}, {kIdCancel, "Cancel"}};
    case kMbAbortRetryIgnore:
      return {{kIdAbort, "Abort"}, {kIdRetry, "Retry"}, {kIdIgnore, "Ignore"}};
    case kMbYesNoCancel:
      return {{kIdYes, "Yes"}, {kIdNo, "No"}, {kIdCancel, "Cancel"}};
    case kMbYesNo:
      return {{kIdYes, "Yes"}, {kIdNo, "No"}};
    case kMbRetryCancel:
      return {{kIdRetry, "Retry"}, {kIdCancel, "Cancel"}};
    default:
      return {{kIdOk, "OK"}};
  }
}

QStyle::StandardPixmap IconOf(uint32_t style) {
  switch (style & 0xF0) {
    case platform::kMbIconError:
      return QStyle::SP_MessageBoxCritical;
    case platform::kMbIconQuestion:
      return QStyle::SP_MessageBoxQuestion;
    case platform::kMbIconWarning:
      return QStyle::SP_MessageBoxWarning;
    case platform::kMbIconInformation:
      return QStyle::SP_MessageBoxInformation;
    default:
      return QStyle::SP_CustomBase;
  }
}

// Texts that begin with a line break start with an empty line on the device too; here the
// panel's margin stands in for it.
QString ShownText(const std::u16string& text) {
  QString shown = ToQString(text);
  while (shown.startsWith('\n')) shown.remove(0, 1);
  return shown;
}

}  // namespace

MessageBoxView::MessageBoxView(const MessageBoxRequest& request, DialogFrame& frame,
                               std::function<void(int answer)> answered)
    : QWidget(&frame), request_(request), answered_(std::move(answered)) {
  setObjectName("MessageBox");
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(12, 12, 12, 12);
  auto* panel = new QFrame(this);
  panel->setObjectName("MessageBoxPanel");
  panel->setFrameShape(QFrame::Box);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  panel->setPalette(palette);
  outer->addStretch(1);
  outer->addWidget(panel);
  outer->addStretch(1);

  auto* layout = new QVBoxLayout(panel);
  auto* caption = new QLabel(ToQString(request.caption), panel);
  caption->setObjectName("MessageBoxCaption");
  caption->setFont(frame.fonts().bold);
  caption->setWordWrap(true);
  layout->addWidget(caption);

  auto* body = new QHBoxLayout();
  const QStyle::StandardPixmap icon = IconOf(request.style);
  if (icon != QStyle::SP_CustomBase) {
    auto* picture = new QLabel(panel);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    picture->setPixmap(style()->standardIcon(icon).pixmap(size, size));
    picture->setAlignment(Qt::AlignTop);
    body->addWidget(picture);
  }
  auto* text = new QLabel(ShownText(request.text), panel);
  text->setObjectName("MessageBoxText");
  text->setFont(frame.fonts().regular[0]);
  text->setWordWrap(true);
  text->setTextFormat(Qt::PlainText);
  text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  body->addWidget(text, 1);
  layout->addLayout(body);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  bool first = true;
  for (const ButtonText& button : ButtonsOf(request.style)) {
    auto* push = new QPushButton(QString::fromLatin1(button.text), panel);
    push->setFont(frame.fonts().regular[0]);
    push->setObjectName(QString("MessageBoxButton%1").arg(button.answer));
    const int answer = button.answer;
    connect(push, &QPushButton::clicked, this, [this, answer] { Answer(answer); });
    buttons->addWidget(push);
    if (first) push->setFocus(Qt::OtherFocusReason);
    first = false;
    answers_.push_back(answer);
  }
  buttons->addStretch(1);
  layout->addLayout(buttons);
}

int MessageBoxView::DefaultAnswer() const { return answers_.front(); }

int MessageBoxView::EscapeAnswer() const {
  for (const int answer : answers_) {
    if (answer == platform::kIdCancel) return answer;
  }
  return answers_.size() == 1 && answers_.front() == platform::kIdOk ? platform::kIdOk : 0;
}

void MessageBoxView::Answer(int answer) {
  if (done_) return;
  done_ = true;
  if (answered_) answered_(answer);
}

void MessageBoxView::paintEvent(QPaintEvent*) {
  // The dialog underneath shows through, dimmed: the box belongs to it.
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0, 0, 0, 96));
}

}  // namespace kolvar::ui::qt
