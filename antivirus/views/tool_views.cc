// The device tools' views; see tool_views.h.
#include "antivirus/views/tool_views.h"

#include <QVBoxLayout>

#include "antivirus/views/pictures.h"

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

void RegisterToolViews(ui::qt::DialogFrame& frame) {
  frame.RegisterView<tools::RegistryViewerDialog, RegistryViewerView>();
}

}  // namespace kolvar::views
