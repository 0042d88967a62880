// A list view over a ui::ListModel: the model's columns (hidden when 0 wide), rows, icons and
// selection, full-row selection, the user's selection reported back into the model, and a double
// click (or tap) reported to the dialog as OnRowActivated. Sync redraws only what changed since
// the last call (by the model's generation), so views may call it in every Refresh.
// With FitColumnsToWidth the model's widths are proportions: the columns share the view's width
// in them, so every column stays on screen at any window size, and long texts are cut in the
// middle (a path keeps its file name).
#ifndef KOLVAR_UI_QT_LIST_VIEW_H_
#define KOLVAR_UI_QT_LIST_VIEW_H_

#include <QIcon>
#include <QTreeWidget>
#include <cstdint>
#include <vector>

#include "ui/list_model.h"

namespace kolvar::ui::qt {

class DialogView;

class ListView : public QTreeWidget {
 public:
  // `list_id` is the dialog's control id of the list. The model must outlive the view.
  ListView(ListModel& model, uint32_t list_id, DialogView& owner);

  // The images that the model's icon indexes name.
  void SetImages(std::vector<QIcon> images);
  void Sync();
  void FitColumnsToWidth();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Rebuild();
  void ApplyColumnWidths();

  ListModel& model_;
  DialogView& owner_;
  std::vector<QIcon> images_;
  uint64_t shown_generation_ = ~uint64_t{0};
  bool syncing_ = false;
  bool fit_to_width_ = false;
};

}  // namespace kolvar::ui::qt

#endif  // KOLVAR_UI_QT_LIST_VIEW_H_
