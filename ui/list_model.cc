// The list view's data; see list_model.h.
#include "ui/list_model.h"

#include <utility>

namespace kolvar::ui {

void ListModel::SetColumns(std::vector<ListColumn> columns) {
  columns_ = std::move(columns);
  ++generation_;
}

void ListModel::Clear() {
  rows_.clear();
  selected_ = kNoRow;
  ++generation_;
}

int ListModel::AddRow(ListRow row) {
  rows_.push_back(std::move(row));
  ++generation_;
  return size() - 1;
}

void ListModel::SetCell(int row, size_t column, std::u16string text) {
  if (row < 0 || row >= size()) return;
  std::vector<std::u16string>& cells = rows_[static_cast<size_t>(row)].cells;
  if (cells.size() <= column) cells.resize(column + 1);
  cells[column] = std::move(text);
  ++generation_;
}

void ListModel::SetIcon(int row, int icon) {
  if (row < 0 || row >= size()) return;
  rows_[static_cast<size_t>(row)].icon = icon;
  ++generation_;
}

std::u16string ListModel::Cell(int row, size_t column) const {
  if (row < 0 || row >= size()) return u"";
  const std::vector<std::u16string>& cells = rows_[static_cast<size_t>(row)].cells;
  return column < cells.size() ? cells[column] : u"";
}

void ListModel::Select(int row) {
  const int chosen = row >= 0 && row < size() ? row : kNoRow;
  if (chosen == selected_) return;
  selected_ = chosen;
  ++generation_;
}

}  // namespace kolvar::ui
