// The views of the program's dialogs; see dialog_views.h.
#include "antivirus/views/dialog_views.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "antivirus/scan_dialog.h"
#include "antivirus/string_table.h"
#include "antivirus/views/pictures.h"
#include "antivirus/views/scan_dialog_view.h"
#include "antivirus/views/tool_views.h"
#include "antivirus/views/update_view.h"
#include "ui/qt/qt_text.h"

namespace kolvar::views {
namespace {

using ui::qt::ToQString;

const QColor kLightYellow(255, 254, 191);
const QColor kRed(255, 0, 0);
constexpr int kSplashSize = 160;

QLabel* ColouredLabel(QLabel* label, const QColor& text, const QColor& background) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Window, background);
  label->setPalette(palette);
  label->setAutoFillBackground(true);
  return label;
}

}  // namespace

VirusDetectedView::VirusDetectedView(VirusDetectedDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), virus_(dialog) {
  using namespace virus_controls;
  setObjectName("VirusDetectedView");
  SetBackground(ui::qt::kDialogGrey);
  const ui::qt::ApplicationFonts& fonts = frame.fonts();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  layout->setSpacing(2);
  auto add = [&](uint32_t id, const QFont& font, const QString& text) {
    auto* label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("Label%1").arg(id));
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    labels_[id] = label;
    layout->addWidget(label);
    return label;
  };
  auto text = [](uint32_t id) {
    return ToQString(LoadString(TemplateText(resources::kVirusDetectedTemplate, id)));
  };
  QLabel* warning = add(kWarning, fonts.bold, text(kWarning));
  warning->setAlignment(Qt::AlignCenter);
  ColouredLabel(warning, kLightYellow, kRed);
  add(1035, fonts.bold, text(1035));
  QLabel* path = add(kPath, fonts.regular[0], QString());
  path->setWordWrap(true);
  ColouredLabel(path, palette().color(QPalette::Text), palette().color(QPalette::Base));
  add(1036, fonts.bold, text(1036));
  ColouredLabel(add(kVirusName, fonts.regular[0], QString()), kRed, kLightYellow);
  add(1037, fonts.bold, text(1037));
  QLabel* recommendation = add(kRecommendation, fonts.regular[0], QString());
  recommendation->setWordWrap(true);
  recommendation->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ColouredLabel(recommendation, palette().color(QPalette::Text), palette().color(QPalette::Base));
  layout->setStretchFactor(recommendation, 1);
}

void VirusDetectedView::Refresh() {
  using namespace virus_controls;
  labels_[kPath]->setText(ToQString(virus_.path()));
  labels_[kVirusName]->setText(ToQString(virus_.virus_name()));
  labels_[kRecommendation]->setText(ToQString(virus_.recommendation()));
  // Blinking hides the text but keeps the place.
  labels_[kWarning]->setText(
      virus_.warning_visible()
          ? ToQString(LoadString(TemplateText(resources::kVirusDetectedTemplate, kWarning)))
          : QString());
  labels_[kWarning]->setAutoFillBackground(virus_.warning_visible());
  DialogView::Refresh();
}

ReportView::ReportView(ReportDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), report_(dialog) {
  using namespace report_controls;
  setObjectName("ReportView");
  SetBackground(ui::qt::kDialogGrey);
  const ui::qt::ApplicationFonts& fonts = frame.fonts();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  auto* grid = new QGridLayout();
  const struct {
    uint32_t label;
    uint32_t value;
  } rows[] = {{1067, kFilesTested}, {1068, kInfected}, {1069, kBytesTested}, {1070, kDuration}};
  int row = 0;
  for (const auto& entry : rows) {
    auto* label = new QLabel(
        ToQString(LoadString(TemplateText(resources::kReportTemplate, entry.label))), this);
    label->setFont(fonts.bold);
    label->setObjectName(QStringLiteral("Label%1").arg(entry.label));
    auto* value = new QLabel(this);
    value->setFont(fonts.regular[0]);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setObjectName(QStringLiteral("Label%1").arg(entry.value));
    labels_[entry.label] = label;
    labels_[entry.value] = value;
    grid->addWidget(label, row, 0);
    grid->addWidget(value, row, 1);
    ++row;
  }
  layout->addLayout(grid);
  list_ = new ui::qt::ListView(dialog.list(), kList, *this);
  list_->setObjectName("ReportList");
  list_->setFont(fonts.regular[0]);
  // The handheld's column widths add up to more than the window is wide: as proportions they
  // keep the actions' column on screen.
  list_->FitColumnsToWidth();
  std::vector<QIcon> images;
  for (uint32_t icon : {259u, 260u, 262u, 261u}) {
    images.push_back(QIcon(LoadPicture(ActionPicture(icon), QSize(16, 16), this)));
  }
  list_->SetImages(std::move(images));
  BindControl(list_, kList);
  layout->addWidget(list_, 1);
}

void ReportView::Refresh() {
  using namespace report_controls;
  for (uint32_t control : {kFilesTested, kInfected, kBytesTested, kDuration}) {
    labels_[control]->setText(ToQString(report_.value_text(control)));
  }
  list_->Sync();
  DialogView::Refresh();
}

RepositoryView::RepositoryView(RepositoryDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), repository_(dialog) {
  using namespace repository_controls;
  setObjectName("RepositoryView");
  SetBackground(ui::qt::kDialogGrey);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  list_ = new ui::qt::ListView(dialog.list(), kList, *this);
  list_->setObjectName("RepositoryList");
  list_->setFont(frame.fonts().regular[0]);
  // Every row is a file in the repository: the report's "moved to the repository" picture.
  list_->SetImages({QIcon(LoadPicture(ActionPicture(261), QSize(16, 16), this))});
  BindControl(list_, kList);
  layout->addWidget(list_, 1);
}

void RepositoryView::Refresh() {
  list_->Sync();
  DialogView::Refresh();
}

ConfigView::ConfigView(ConfigDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), config_(dialog) {
  setObjectName("ConfigView");
  SetBackground(ui::qt::kDialogGrey);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 10, 5, 5);
  layout->setSpacing(10);
  for (uint32_t id : config_controls::kBoxes) {
    auto* box =
        new QCheckBox(ToQString(LoadString(TemplateText(resources::kConfigTemplate, id))), this);
    box->setObjectName(QStringLiteral("Box%1").arg(id));
    box->setFont(frame.fonts().regular[0]);
    boxes_[id] = box;
    BindButton(box, id);
    layout->addWidget(box);
  }
  layout->addStretch(1);
}

void ConfigView::Refresh() {
  for (const auto& [id, box] : boxes_) {
    box->setChecked(config_.IsTicked(id));
    box->setEnabled(config_.IsBoxEnabled(id));
  }
  DialogView::Refresh();
}

HistoryView::HistoryView(HistoryDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame) {
  setObjectName("HistoryView");
  SetBackground(ui::qt::kDialogGrey);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  list_ = new ui::qt::ListView(dialog.list(), history_controls::kList, *this);
  list_->setObjectName("HistoryList");
  list_->setFont(frame.fonts().regular[0]);
  BindControl(list_, history_controls::kList);
  layout->addWidget(list_, 1);
}

void HistoryView::Refresh() {
  list_->Sync();
  DialogView::Refresh();
}

VirusListView::VirusListView(VirusListDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), viruses_(dialog) {
  using namespace virus_list_controls;
  setObjectName("VirusListView");
  SetBackground(ui::qt::kDialogGrey);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 2);
  list_ = new ui::qt::ListView(dialog.list(), kList, *this);
  list_->setObjectName("VirusList");
  list_->setFont(frame.fonts().bold);
  BindControl(list_, kList);
  layout->addWidget(list_, 1);
  description_ = new QPlainTextEdit(this);
  description_->setObjectName("VirusDescription");
  description_->setReadOnly(true);
  description_->setFont(frame.fonts().regular[0]);
  description_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  description_->installEventFilter(this);
  BindControl(description_, kDescription);
  layout->addWidget(description_, 1);
  status_ = new QLabel(this);
  status_->setObjectName("VirusListStatus");
  status_->setFont(frame.fonts().regular[0]);
  status_->setAlignment(Qt::AlignCenter);
  status_->setWordWrap(true);
  status_->setTextFormat(Qt::PlainText);
  layout->addWidget(status_);
}

bool VirusListView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == description_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Up &&
      description_->textCursor().blockNumber() == 0 &&
      description_->textCursor().positionInBlock() == description_->textCursor().position()) {
    viruses_.FocusList();
    frame().DialogChanged(viruses_);
    return true;
  }
  return DialogView::eventFilter(watched, event);
}

void VirusListView::Refresh() {
  list_->Sync();
  const QString text = ToQString(viruses_.description_text());
  if (description_->toPlainText() != text) description_->setPlainText(text);
  status_->setText(ToQString(viruses_.status_text()));
  DialogView::Refresh();
}

AboutView::AboutView(AboutDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), about_(dialog) {
  using namespace about_controls;
  setObjectName("AboutView");
  SetBackground(ui::qt::kDialogGrey);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  selector_ = new QComboBox(this);
  selector_->setObjectName("AboutPages");
  selector_->setFont(frame.fonts().bold);
  for (const std::u16string& page : dialog.pages()) selector_->addItem(ToQString(page));
  BindControl(selector_, kPageSelector);
  layout->addWidget(selector_);
  list_ = new ui::qt::ListView(dialog.list(), kList, *this);
  list_->setObjectName("AboutList");
  list_->setFont(frame.fonts().bold);
  list_->installEventFilter(this);
  BindControl(list_, kList);
  layout->addWidget(list_, 1);
  QObject::connect(selector_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index == about_.page()) return;
    about_.SelectPage(index);
    this->frame().DialogChanged(about_);
  });
}

bool AboutView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Up && about_.list().selected() == 0) {
    about_.FocusSelector();
    frame().DialogChanged(about_);
    return true;
  }
  return DialogView::eventFilter(watched, event);
}

void AboutView::Refresh() {
  if (selector_->currentIndex() != about_.page()) selector_->setCurrentIndex(about_.page());
  list_->Sync();
  DialogView::Refresh();
}

FolderPickerView::FolderPickerView(FolderPickerDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), picker_(dialog) {
  setObjectName("FolderPickerView");
  SetBackground(ui::qt::kDialogGrey);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  auto* label = new QLabel(ToQString(dialog.label()), this);
  label->setObjectName("Label1077");
  layout->addWidget(label);
  tree_ = new ui::qt::ListView(dialog.tree(), kFolderTreeControl, *this);
  tree_->setObjectName("FolderTree");
  tree_->setHeaderHidden(true);
  BindControl(tree_, kFolderTreeControl);
  layout->addWidget(tree_, 1);
}

void FolderPickerView::Refresh() {
  tree_->Sync();
  DialogView::Refresh();
}

SplashView::SplashView(SplashDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame) {
  setObjectName("SplashView");
  SetBackground(Qt::white);
  picture_ = new QLabel(this);
  picture_->setObjectName("SplashPicture");
  picture_->setPixmap(LoadPicture(SplashPicture(), QSize(kSplashSize, kSplashSize), this));
  picture_->setAlignment(Qt::AlignCenter);
}

void SplashView::resizeEvent(QResizeEvent* event) {
  DialogView::resizeEvent(event);
  picture_->setGeometry(width() / 2 - kSplashSize / 2, height() / 2 - kSplashSize / 2, kSplashSize,
                        kSplashSize);
}

void RegisterAntivirusViews(ui::qt::DialogFrame& frame) {
  frame.RegisterView<ScanDialog, ScanDialogView>();
  frame.RegisterView<VirusDetectedDialog, VirusDetectedView>();
  frame.RegisterView<ReportDialog, ReportView>();
  frame.RegisterView<RepositoryDialog, RepositoryView>();
  frame.RegisterView<ConfigDialog, ConfigView>();
  frame.RegisterView<HistoryDialog, HistoryView>();
  frame.RegisterView<AboutDialog, AboutView>();
  frame.RegisterView<VirusListDialog, VirusListView>();
  frame.RegisterView<FolderPickerDialog, FolderPickerView>();
  frame.RegisterView<SplashDialog, SplashView>();
  frame.RegisterView<UpdateDialog, UpdateView>();
  RegisterToolViews(frame);
}

}  // namespace kolvar::views
