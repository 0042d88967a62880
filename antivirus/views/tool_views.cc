// The device tools' views; see tool_views.h.
#include "antivirus/views/tool_views.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

#include "antivirus/views/pictures.h"
#include "ui/qt/qt_text.h"

namespace kolvar::views {

RegistryViewerView::RegistryViewerView(tools::RegistryViewerDialog& dialog,
                                       ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), viewer_(dialog) {
  setObjectName("RegistryViewerView");
  SetBackground(ui::qt::kDialogGrey);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  pages_ = new QStackedWidget(this);
  tree_ = new ui::qt::ListView(dialog.tree(), tools::kRegistryTreeControl, *this);
  tree_->setObjectName("RegistryTree");
  tree_->setHeaderHidden(true);
  tree_->FitColumnsToWidth();
  tree_->setFont(frame.fonts().regular[0]);
  BindControl(tree_, tools::kRegistryTreeControl);
  values_ = new ui::qt::ListView(dialog.values(), tools::kRegistryValuesControl, *this);
  values_->setObjectName("RegistryValues");
  values_->setFont(frame.fonts().regular[0]);
  std::vector<QIcon> images;
  for (int icon : {tools::kValueIconText, tools::kValueIconString, tools::kValueIconBinary,
                   tools::kValueIconNumber}) {
    images.push_back(QIcon(LoadPicture(RegistryValuePicture(icon), QSize(16, 16), this)));
  }
  values_->SetImages(std::move(images));
  BindControl(values_, tools::kRegistryValuesControl);
  pages_->addWidget(tree_);
  pages_->addWidget(values_);
  layout->addWidget(pages_, 1);
}

void RegistryViewerView::Refresh() {
  tree_->Sync();
  values_->Sync();
  pages_->setCurrentWidget(viewer_.showing_values() ? static_cast<QWidget*>(values_) : tree_);
  DialogView::Refresh();
}

ProcessManagerView::ProcessManagerView(tools::ProcessManagerDialog& dialog,
                                       ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), manager_(dialog) {
  setObjectName("ProcessManagerView");
  SetBackground(ui::qt::kDialogGrey);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  list_ = new ui::qt::ListView(dialog.list(), tools::kProcessListControl, *this);
  list_->setObjectName("ProcessList");
  list_->setFont(frame.fonts().regular[0]);
  list_->SetImages({QIcon(LoadPicture(ProcessPicture(), QSize(16, 16), this))});
  BindControl(list_, tools::kProcessListControl);
  layout->addWidget(list_, 1);
  // The status line: white on black under the list.
  status_ = new QLabel(this);
  status_->setObjectName("ProcessStatus");
  status_->setFont(frame.fonts().regular[0]);
  QPalette palette = status_->palette();
  palette.setColor(QPalette::WindowText, Qt::white);
  palette.setColor(QPalette::Window, Qt::black);
  status_->setPalette(palette);
  status_->setAutoFillBackground(true);
  layout->addWidget(status_);
}

void ProcessManagerView::Refresh() {
  list_->Sync();
  status_->setText(ui::qt::ToQString(manager_.status_text()));
  DialogView::Refresh();
}

SystemInformationView::SystemInformationView(tools::SystemInformationDialog& dialog,
                                             ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame) {
  setObjectName("SystemInformationView");
  SetBackground(ui::qt::kDialogGrey);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  list_ = new ui::qt::ListView(dialog.list(), tools::kSystemInformationListControl, *this);
  list_->setObjectName("SystemInformationList");
  list_->setFont(frame.fonts().regular[0]);
  BindControl(list_, tools::kSystemInformationListControl);
  layout->addWidget(list_, 1);
}

void SystemInformationView::Refresh() {
  list_->Sync();
  DialogView::Refresh();
}

tools::DisplayFacts QtDisplayFacts() {
  tools::DisplayFacts facts;
  facts.screen = []() -> std::optional<tools::ScreenFacts> {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return std::nullopt;
    tools::ScreenFacts facts;
    facts.bits_per_pixel = static_cast<uint32_t>(screen->depth());
    const QSize pixels = screen->geometry().size() * screen->devicePixelRatio();
    facts.width = static_cast<uint32_t>(pixels.width());
    facts.height = static_cast<uint32_t>(pixels.height());
    facts.pixels_per_inch_x = static_cast<uint32_t>(std::lround(screen->logicalDotsPerInchX()));
    facts.pixels_per_inch_y = static_cast<uint32_t>(std::lround(screen->logicalDotsPerInchY()));
    // A pixel's relative width grows as the horizontal density falls, and its height likewise.
    facts.aspect_x = static_cast<uint32_t>(std::lround(screen->physicalDotsPerInchY()));
    facts.aspect_y = static_cast<uint32_t>(std::lround(screen->physicalDotsPerInchX()));
    return facts;
  };
  facts.fonts = [] {
    std::vector<tools::FontFamily> families;
    for (const QString& family : QFontDatabase::families()) {
      // The family's plain style where it has one, not the first that the database lists.
      const QStringList styles = QFontDatabase::styles(family);
      QString style = styles.isEmpty() ? QString() : styles.first();
      for (const char* plain : {"Regular", "Book", "Normal", "Roman", "Medium"}) {
        if (styles.contains(QLatin1String(plain))) {
          style = QLatin1String(plain);
          break;
        }
      }
      families.push_back({ui::qt::FromQString(family), ui::qt::FromQString(style),
                          QFontDatabase::isSmoothlyScalable(family)});
    }
    return families;
  };
  return facts;
}

void RegisterToolViews(ui::qt::DialogFrame& frame) {
  tools::InstallDisplayFacts(QtDisplayFacts());
  frame.RegisterView<tools::SystemInformationDialog, SystemInformationView>();
  frame.RegisterView<tools::ProcessManagerDialog, ProcessManagerView>();
  frame.RegisterView<tools::RegistryViewerDialog, RegistryViewerView>();
}

}  // namespace kolvar::views
