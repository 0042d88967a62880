// The in-frame message box; see message_box_view.h.
#include "ui/qt/message_box_view.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTextBoundaryFinder>
#include <QVBoxLayout>
#include <algorithm>
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

constexpr QChar kZeroWidthSpace(0x200B);

bool IsPathSeparator(QChar c) { return c == '\\' || c == '/'; }

// `part` with a break allowed after each of its characters (whole graphemes, so that a letter
// keeps its accents).
QString BreakableAnywhere(const QString& part) {
  QString out;
  QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, part);
  qsizetype start = 0;
  while (graphemes.toNextBoundary() != -1) {
    out += part.mid(start, graphemes.position() - start);
    out += kZeroWidthSpace;
    start = graphemes.position();
  }
  return out;
}

// A word wider than the box (a path without spaces, a long file name) would run out of it, since
// word wrap breaks only at spaces; the user must still read it whole. Zero-width spaces allow
// breaks in such a word: after its path separators, and anywhere in a part between them that is
// still too wide by itself.
QString BreakableText(const QString& text, const QFontMetrics& metrics, int width) {
  QString out;
  qsizetype i = 0;
  while (i < text.size()) {
    qsizetype end = i;
    while (end < text.size() && !text[end].isSpace()) ++end;
    const QString word = text.mid(i, end - i);
    if (metrics.horizontalAdvance(word) <= width) {
      out += word;
    } else {
      qsizetype part_start = 0;
      for (qsizetype j = 0; j < word.size(); ++j) {
        if (!IsPathSeparator(word[j]) && j + 1 != word.size()) continue;
        const QString part = word.mid(part_start, j + 1 - part_start);
        if (metrics.horizontalAdvance(part) <= width) {
          out += part;
          out += kZeroWidthSpace;
        } else {
          out += BreakableAnywhere(part);
        }
        part_start = j + 1;
      }
    }
    while (end < text.size() && text[end].isSpace()) out += text[end++];
    i = end;
  }
  return out;
}

}  // namespace

MessageBoxView::MessageBoxView(const MessageBoxRequest& request, DialogFrame& frame,
                               std::function<void(int answer)> answered)
    : QWidget(&frame), request_(request), answered_(std::move(answered)) {
  setObjectName("MessageBox");
  // The panel is placed by FitPanel, not by a layout: a layout would size it by the text's
  // preferred width, not by the width the text really wraps at.
  auto* panel = new QFrame(this);
  panel_ = panel;
  panel->setObjectName("MessageBoxPanel");
  panel->setFrameShape(QFrame::Box);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  panel->setPalette(palette);

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
  text_area_ = new QScrollArea(panel);
  text_area_->setObjectName("MessageBoxTextArea");
  text_area_->setFrameShape(QFrame::NoFrame);
  text_area_->setWidgetResizable(true);
  text_area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text_area_->setFocusPolicy(Qt::NoFocus);  // the buttons keep the focus; keys scroll via the frame
  text_area_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  text_area_->setBackgroundRole(QPalette::Window);
  shown_text_ = ShownText(request.text);
  text_ = new QLabel(shown_text_);
  text_->setObjectName("MessageBoxText");
  text_->setFont(frame.fonts().regular[0]);
  text_->setWordWrap(true);
  text_->setTextFormat(Qt::PlainText);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // The scroll area gives the label the height its text needs at the area's width only if the
  // label says that its height depends on its width.
  QSizePolicy text_policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  text_policy.setHeightForWidth(true);
  text_->setSizePolicy(text_policy);
  text_area_->setWidget(text_);
  text_area_->viewport()->setAutoFillBackground(false);
  text_->setAutoFillBackground(false);
  body->addWidget(text_area_, 1);
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
  layout->setStretch(1, 1);  // the text takes what the caption and the buttons leave
}

void MessageBoxView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FitPanel();
}

void MessageBoxView::FitPanel() {
  constexpr int kMargin = 12;
  const QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
  if (area.width() <= 0 || area.height() <= 0) return;
  // Lay the panel out at its full width and the whole height first: what is not the text area
  // then is the caption, the icon's row and the buttons.
  panel_->setGeometry(area);
  panel_->layout()->setGeometry(panel_->contentsRect());
  // The width the text wraps at, less a scroll bar that a long text brings.
  const int wrap_width =
      text_area_->width() - text_area_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  if (wrap_width > 0) {
    const QString breakable = BreakableText(shown_text_, text_->fontMetrics(), wrap_width);
    if (breakable != text_->text()) text_->setText(breakable);
  }
  const int others = area.height() - text_area_->height();
  const int wanted = others + text_->heightForWidth(text_area_->width());
  const int height = std::max(std::min(wanted, area.height()), panel_->minimumSizeHint().height());
  const QRect placed(area.x(), area.y() + std::max(0, (area.height() - height) / 2), area.width(),
                     std::min(height, area.height()));
  panel_->setGeometry(placed);
  panel_->layout()->setGeometry(panel_->contentsRect());
}

bool MessageBoxView::ScrollText(int key) {
  QScrollBar* bar = text_area_->verticalScrollBar();
  switch (key) {
    case Qt::Key_Up:
      bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
      return true;
    case Qt::Key_Down:
      bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      return true;
    case Qt::Key_PageUp:
      bar->triggerAction(QAbstractSlider::SliderPageStepSub);
      return true;
    case Qt::Key_PageDown:
      bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
      return true;
    default:
      return false;
  }
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
