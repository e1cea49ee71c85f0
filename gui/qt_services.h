// The workbench's services with real Qt dialogs: message boxes, the shared open and save file
// dialogs, the system clipboard, repainting during long work and the wait cursor.
#pragma once

#include <QStringList>
#include <functional>
#include <string>

#include "workbench/services.h"

class QWidget;

namespace polydec::gui {

// "desc|pattern|desc|pattern" as Qt name filters "desc (pattern)". "*.*" means every file, as it
// does on the system the filter lists were written for; on Unix it would miss names without a dot.
QStringList NameFilters(const std::string& filter);

class QtServices : public workbench::Services {
 public:
  // The window the dialogs belong to and the refresh it runs on Repaint.
  void Attach(QWidget* window, std::function<void()> refresh);

  workbench::Answer Message(workbench::MessageKind kind, const std::string& text,
                            workbench::Buttons buttons) override;
  bool ExecuteOpen(workbench::FileDialog& dialog) override { return Execute(dialog, false); }
  bool ExecuteSave(workbench::FileDialog& dialog) override { return Execute(dialog, true); }
  void SetClipboard(const std::string& text) override;
  std::string Clipboard() override;
  void Repaint() override;
  void BeginBusy() override;
  void EndBusy() override;
  // Delivers pending events with every click and key swallowed, and reports whether Escape was
  // among the keys; so the window repaints but no other command can start meanwhile.
  bool CancelRequested() override;

 private:
  bool Execute(workbench::FileDialog& dialog, bool save);
  // While busy, a dialog shows the normal cursor.
  void PauseBusy();
  void ResumeBusy();

  QWidget* window_ = nullptr;
  std::function<void()> refresh_;
  int busy_ = 0;
};

}  // namespace polydec::gui
