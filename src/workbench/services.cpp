#include "workbench/services.h"

namespace polydec::workbench {

Answer HeadlessServices::Message(MessageKind kind, const std::string& text, Buttons buttons) {
  messages.push_back({kind, text, buttons});
  if (buttons == Buttons::kOk) return Answer::kOk;
  // Unscripted questions take the cautious answer: no, or cancel.
  if (answers.empty()) return buttons == Buttons::kOkCancel ? Answer::kCancel : Answer::kNo;
  const Answer a = answers.front();
  answers.pop_front();
  return a;
}

bool HeadlessServices::Execute(FileDialog& dialog, bool save) {
  dialogs.push_back({save, dialog});
  if (files.empty() || !files.front()) {
    if (!files.empty()) files.pop_front();
    return false;
  }
  dialog.fileName = *files.front();
  files.pop_front();
  return true;
}

std::vector<std::string> HeadlessServices::Texts() const {
  std::vector<std::string> texts;
  for (const Shown& m : messages) texts.push_back(m.text);
  return texts;
}

}  // namespace polydec::workbench
