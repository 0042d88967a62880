// The views of the virus-detected dialog, the report, the folder picker and the splash.
#ifndef KOLVAR_ANTIVIRUS_VIEWS_DIALOG_VIEWS_H_
#define KOLVAR_ANTIVIRUS_VIEWS_DIALOG_VIEWS_H_

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <map>

#include "antivirus/about_dialog.h"
#include "antivirus/config_dialog.h"
#include "antivirus/folder_picker_dialog.h"
#include "antivirus/history_dialog.h"
#include "antivirus/report_dialog.h"
#include "antivirus/repository_dialog.h"
#include "antivirus/splash_dialog.h"
#include "antivirus/virus_detected_dialog.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/dialog_view.h"
#include "ui/qt/list_view.h"

namespace kolvar::views {

class VirusDetectedView : public ui::qt::DialogView {
 public:
  VirusDetectedView(VirusDetectedDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  QLabel* label(uint32_t control) const { return labels_.at(control); }

 private:
  VirusDetectedDialog& virus_;
  std::map<uint32_t, QLabel*> labels_;
};

class ReportView : public ui::qt::DialogView {
 public:
  ReportView(ReportDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  ui::qt::ListView* list() const { return list_; }
  QLabel* label(uint32_t control) const { return labels_.at(control); }

 private:
  ReportDialog& report_;
  std::map<uint32_t, QLabel*> labels_;
  ui::qt::ListView* list_;
};

class RepositoryView : public ui::qt::DialogView {
 public:
  RepositoryView(RepositoryDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  ui::qt::ListView* list() const { return list_; }

 private:
  RepositoryDialog& repository_;
  ui::qt::ListView* list_;
};

class ConfigView : public ui::qt::DialogView {
 public:
  ConfigView(ConfigDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  QCheckBox* box(uint32_t control) const { return boxes_.at(control); }

 private:
  ConfigDialog& config_;
  std::map<uint32_t, QCheckBox*> boxes_;
};

class HistoryView : public ui::qt::DialogView {
 public:
  HistoryView(HistoryDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  ui::qt::ListView* list() const { return list_; }

 private:
  ui::qt::ListView* list_;
};

class VirusListView : public ui::qt::DialogView {
 public:
  VirusListView(VirusListDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  ui::qt::ListView* list() const { return list_; }
  QPlainTextEdit* description() const { return description_; }
  QLabel* status() const { return status_; }

 protected:
  // The Up key on the description's first line gives the focus back to the list.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  VirusListDialog& viruses_;
  ui::qt::ListView* list_;
  QPlainTextEdit* description_;
  QLabel* status_;
};

class AboutView : public ui::qt::DialogView {
 public:
  AboutView(AboutDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  QComboBox* selector() const { return selector_; }
  ui::qt::ListView* list() const { return list_; }

 protected:
  // The Up key on the list's top row moves the focus to the page selector.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  AboutDialog& about_;
  QComboBox* selector_;
  ui::qt::ListView* list_;
};

class FolderPickerView : public ui::qt::DialogView {
 public:
  FolderPickerView(FolderPickerDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  ui::qt::ListView* tree() const { return tree_; }

 private:
  FolderPickerDialog& picker_;
  ui::qt::ListView* tree_;
};

class SplashView : public ui::qt::DialogView {
 public:
  SplashView(SplashDialog& dialog, ui::qt::DialogFrame& frame);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLabel* picture_;
};

// Registers the views of every dialog of the program with the frame.
void RegisterAntivirusViews(ui::qt::DialogFrame& frame);

}  // namespace kolvar::views

#endif  // KOLVAR_ANTIVIRUS_VIEWS_DIALOG_VIEWS_H_
