// A dialog's list view as data: columns (title and width; width 0 hides a column that only carries
// data), rows of cell texts with an optional icon, and the selected row. The dialog owns it and
// changes it; the view (ui/qt/list_view.h) shows it and reports the user's selection with Select.
//
//   list.SetColumns({{u"Infected File", 180}, {u"Virus Name", 200}, {u"", 0}});
//   list.AddRow({{path, name, u"7"}, kIconNone});
//   list.Select(0);
#ifndef KOLVAR_UI_LIST_MODEL_H_
#define KOLVAR_UI_LIST_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kolvar::ui {

struct ListColumn {
  std::u16string title;
  int width = 100;  // device pixels; 0 hides the column
};

struct ListRow {
  std::vector<std::u16string> cells;
  int icon = -1;  // index into the view's images; -1 none
};

class ListModel {
 public:
  static constexpr int kNoRow = -1;

  void SetColumns(std::vector<ListColumn> columns);
  const std::vector<ListColumn>& columns() const { return columns_; }

  void Clear();
  // Appends a row and returns its index.
  int AddRow(ListRow row);
  void SetCell(int row, size_t column, std::u16string text);
  void SetIcon(int row, int icon);
  const ListRow& row(int index) const { return rows_[static_cast<size_t>(index)]; }
  // The cell text, empty for a row or column that is not there.
  std::u16string Cell(int row, size_t column) const;
  int size() const { return static_cast<int>(rows_.size()); }
  bool empty() const { return rows_.empty(); }

  // kNoRow when no row is selected; Select of a row that is not there selects none.
  int selected() const { return selected_; }
  void Select(int row);
  bool HasSelection() const { return selected_ != kNoRow; }

  // Changes with every change of columns, rows or selection, so a view redraws only when needed.
  uint64_t generation() const { return generation_; }

 private:
  std::vector<ListColumn> columns_;
  std::vector<ListRow> rows_;
  int selected_ = kNoRow;
  uint64_t generation_ = 0;
};

}  // namespace kolvar::ui

#endif  // KOLVAR_UI_LIST_MODEL_H_
