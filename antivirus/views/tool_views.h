// The views of the device tools: the registry viewer (its key tree and value list taking turns
// in one place), the process manager and the system information pages (one list each, the
// process manager with its status line under the list).
#ifndef KOLVAR_ANTIVIRUS_VIEWS_TOOL_VIEWS_H_
#define KOLVAR_ANTIVIRUS_VIEWS_TOOL_VIEWS_H_

#include <QLabel>
#include <QStackedWidget>

#include "antivirus/tools/process_manager_dialog.h"
#include "antivirus/tools/registry_viewer_dialog.h"
#include "antivirus/tools/system_information.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/dialog_view.h"
#include "ui/qt/list_view.h"

namespace kolvar::views {

class RegistryViewerView : public ui::qt::DialogView {
 public:
  RegistryViewerView(tools::RegistryViewerDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  ui::qt::ListView* tree() const { return tree_; }
  ui::qt::ListView* values() const { return values_; }

 private:
  tools::RegistryViewerDialog& viewer_;
  QStackedWidget* pages_;
  ui::qt::ListView* tree_;
  ui::qt::ListView* values_;
};

class ProcessManagerView : public ui::qt::DialogView {
 public:
  ProcessManagerView(tools::ProcessManagerDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  ui::qt::ListView* list() const { return list_; }
  QLabel* status() const { return status_; }

 private:
  tools::ProcessManagerDialog& manager_;
  ui::qt::ListView* list_;
  QLabel* status_;
};

class SystemInformationView : public ui::qt::DialogView {
 public:
  SystemInformationView(tools::SystemInformationDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  ui::qt::ListView* list() const { return list_; }

 private:
  ui::qt::ListView* list_;
};

// The screen and the fonts as Qt sees them, for the system information pages.
tools::DisplayFacts QtDisplayFacts();

// Registers the tools' views with the frame, and installs the display's facts.
void RegisterToolViews(ui::qt::DialogFrame& frame);

}  // namespace kolvar::views

#endif  // KOLVAR_ANTIVIRUS_VIEWS_TOOL_VIEWS_H_
