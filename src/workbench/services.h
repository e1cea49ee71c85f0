// What a command asks of the window's toolkit: message boxes with their answers, the shared
// open and save dialogs, the clipboard, and repainting while long work goes on. The Qt front
// end implements this with real dialogs; HeadlessServices answers from a script and records
// what it was shown, for tests and the command line.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "workbench/form.h"

namespace polydec::workbench {

enum class MessageKind { kInformation, kWarning, kConfirmation, kError };
enum class Buttons { kOk, kYesNo, kYesNoNoToAll, kOkCancel };
enum class Answer { kOk, kYes, kNo, kNoToAll, kCancel };

class Services {
 public:
  virtual ~Services() = default;
  // Shows a modal message box and returns the button pressed.
  virtual Answer Message(MessageKind kind, const std::string& text, Buttons buttons) = 0;
  // Shows the dialog as set up; on acceptance the dialog's fileName holds the chosen file
  // (and filterIndex the chosen filter) and true is returned.
  virtual bool ExecuteOpen(FileDialog& dialog) = 0;
  virtual bool ExecuteSave(FileDialog& dialog) = 0;
  virtual void SetClipboard(const std::string& text) = 0;
  virtual std::string Clipboard() = 0;
  // Lets the front end show the Form's current state (status bar, grids) during long work.
  virtual void Repaint() = 0;
  // Busy indicator around long work.
  virtual void BeginBusy() {}
  virtual void EndBusy() {}
  // Asked between the steps of long work: true once the user has asked to stop it (the Qt
  // window: the Escape key). The work then stops at the next step it can end cleanly.
  virtual bool CancelRequested() { return false; }

  // The common information box with one OK button.
  void Inform(const std::string& text) { Message(MessageKind::kInformation, text, Buttons::kOk); }
};

// Keeps the front end's busy indicator on for as long as a command works, on every way out.
class BusyScope {
 public:
  explicit BusyScope(Services& services) : services_(services) { services_.BeginBusy(); }
  ~BusyScope() { services_.EndBusy(); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  Services& services_;
};

// Scripted answers and a record of everything shown.
class HeadlessServices : public Services {
 public:
  struct Shown {
    MessageKind kind;
    std::string text;
    Buttons buttons;
  };
  struct DialogCall {
    bool save;
    FileDialog dialog;  // as the command set it up
  };

  std::vector<Shown> messages;
  std::vector<DialogCall> dialogs;
  std::deque<Answer> answers;                    // for message boxes with a choice
  std::deque<std::optional<std::string>> files;  // for dialogs: a file name, or nullopt to cancel
  std::string clipboard;
  int repaints = 0;
  // CancelRequested answers true from query number cancelAfter + 1 on; -1: never.
  int cancelAfter = -1;
  int cancelQueries = 0;

  Answer Message(MessageKind kind, const std::string& text, Buttons buttons) override;
  bool ExecuteOpen(FileDialog& dialog) override { return Execute(dialog, false); }
  bool ExecuteSave(FileDialog& dialog) override { return Execute(dialog, true); }
  void SetClipboard(const std::string& text) override { clipboard = text; }
  std::string Clipboard() override { return clipboard; }
  void Repaint() override { ++repaints; }
  bool CancelRequested() override { return cancelAfter >= 0 && ++cancelQueries > cancelAfter; }

  // Texts of the messages shown so far.
  std::vector<std::string> Texts() const;

 private:
  bool Execute(FileDialog& dialog, bool save);
};

}  // namespace polydec::workbench
