// The list view over a list model; see list_view.h.
#include "ui/qt/list_view.h"

#include <QHeaderView>
#include <algorithm>
#include <cstdint>

#include "ui/qt/dialog_frame.h"
#include "ui/qt/dialog_view.h"
#include "ui/qt/qt_text.h"

namespace kolvar::ui::qt {

ListView::ListView(ListModel& model, uint32_t list_id, DialogView& owner)
    : QTreeWidget(&owner), model_(model), owner_(owner) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    if (syncing_) return;
    model_.Select(current != nullptr ? indexOfTopLevelItem(current) : ListModel::kNoRow);
    shown_generation_ = model_.generation();
    owner_.frame().DialogChanged(owner_.dialog());
  });
  connect(this, &QTreeWidget::itemActivated, this, [this, list_id](QTreeWidgetItem* item) {
    if (syncing_ || item == nullptr) return;
    owner_.dialog().OnRowActivated(list_id, indexOfTopLevelItem(item));
    owner_.frame().DialogChanged(owner_.dialog());
  });
}

void ListView::SetImages(std::vector<QIcon> images) {
  images_ = std::move(images);
  shown_generation_ = ~uint64_t{0};
}

void ListView::FitColumnsToWidth() {
  fit_to_width_ = true;
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTextElideMode(Qt::ElideMiddle);
  ApplyColumnWidths();
}

void ListView::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  if (fit_to_width_) ApplyColumnWidths();
}

void ListView::ApplyColumnWidths() {
  const std::vector<ListColumn>& columns = model_.columns();
  const int count = std::min(columnCount(), static_cast<int>(columns.size()));
  int total = 0;
  for (int c = 0; c < count; ++c) total += columns[static_cast<size_t>(c)].width;
  if (!fit_to_width_ || total <= 0) {
    for (int c = 0; c < count; ++c) {
      const int width = columns[static_cast<size_t>(c)].width;
      if (width > 0) setColumnWidth(c, width);
    }
    return;
  }
  // Each column its share of the viewport; the last takes what rounding left over.
  const int available = viewport()->width();
  int given = 0;
  int last = -1;
  for (int c = 0; c < count; ++c) {
    if (columns[static_cast<size_t>(c)].width > 0) last = c;
  }
  for (int c = 0; c < count; ++c) {
    const int width = columns[static_cast<size_t>(c)].width;
    if (width <= 0) continue;
    const int share = c == last ? std::max(0, available - given)
                                : static_cast<int>(static_cast<int64_t>(available) * width / total);
    setColumnWidth(c, share);
    given += share;
  }
}

void ListView::Rebuild() {
  const std::vector<ListColumn>& columns = model_.columns();
  QStringList titles;
  for (const ListColumn& column : columns) titles << ToQString(column.title);
  if (columnCount() != static_cast<int>(columns.size()))
    setColumnCount(static_cast<int>(columns.size()));
  setHeaderLabels(titles);
  for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
    const int width = columns[static_cast<size_t>(c)].width;
    setColumnHidden(c, width == 0);
  }
  ApplyColumnWidths();
  // Rows are updated in place where they exist, so the scroll position stays.
  while (topLevelItemCount() > model_.size()) delete takeTopLevelItem(topLevelItemCount() - 1);
  for (int r = 0; r < model_.size(); ++r) {
    QTreeWidgetItem* item = topLevelItem(r);
    if (item == nullptr) {
      item = new QTreeWidgetItem();
      addTopLevelItem(item);
    }
    const ListRow& row = model_.row(r);
    for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
      const QString text = ToQString(model_.Cell(r, static_cast<size_t>(c)));
      item->setText(c, text);
      // A cell cut to its column's width can still be read whole.
      if (fit_to_width_) item->setToolTip(c, text);
    }
    const bool has_icon = row.icon >= 0 && row.icon < static_cast<int>(images_.size());
    item->setIcon(0, has_icon ? images_[static_cast<size_t>(row.icon)] : QIcon());
  }
  QTreeWidgetItem* selected = model_.HasSelection() ? topLevelItem(model_.selected()) : nullptr;
  setCurrentItem(selected);
  if (selected == nullptr) clearSelection();
  if (selected != nullptr) scrollToItem(selected);
}

void ListView::Sync() {
  if (shown_generation_ == model_.generation()) return;
  syncing_ = true;
  Rebuild();
  syncing_ = false;
  shown_generation_ = model_.generation();
}

}  // namespace kolvar::ui::qt
