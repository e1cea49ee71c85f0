#include "qt_services.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include "qt_text.h"

namespace polydec::gui {

using workbench::Answer;
using workbench::Buttons;
using workbench::MessageKind;

QStringList NameFilters(const std::string& filter) {
  QStringList parts = ToQt(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1].trimmed();
    pattern.replace(';', ' ');
    QStringList globs = pattern.split(' ', Qt::SkipEmptyParts);
    for (QString& g : globs)
      if (g == "*.*") g = "*";
    filters << parts[i].trimmed() + " (" + globs.join(' ') + ")";
  }
  if (filters.isEmpty()) filters << "All files (*)";
  return filters;
}

void QtServices::Attach(QWidget* window, std::function<void()> refresh) {
  window_ = window;
  refresh_ = std::move(refresh);
}

Answer QtServices::Message(MessageKind kind, const std::string& text, Buttons buttons) {
  QMessageBox box(window_);
  switch (kind) {
    case MessageKind::kInformation:
      box.setIcon(QMessageBox::Information);
      box.setWindowTitle("Information");
      break;
    case MessageKind::kWarning:
      box.setIcon(QMessageBox::Warning);
      box.setWindowTitle("Warning");
      break;
    case MessageKind::kConfirmation:
      box.setIcon(QMessageBox::Question);
      box.setWindowTitle("Confirm");
      break;
    case MessageKind::kError:
      box.setIcon(QMessageBox::Critical);
      box.setWindowTitle("Error");
      break;
  }
  box.setText(ToQt(text));
  // Closing the box without a choice gives the cautious answer.
  Answer fallback = Answer::kOk;
  switch (buttons) {
    case Buttons::kOk:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Buttons::kYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      fallback = Answer::kNo;
      break;
    case Buttons::kYesNoNoToAll:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::NoToAll);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      fallback = Answer::kNo;
      break;
    case Buttons::kOkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Cancel);
      fallback = Answer::kCancel;
      break;
  }
  PauseBusy();
  box.exec();
  ResumeBusy();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
      return Answer::kOk;
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::NoToAll:
      return Answer::kNoToAll;
    case QMessageBox::Cancel:
      return Answer::kCancel;
    default:
      return fallback;
  }
}

bool QtServices::Execute(workbench::FileDialog& dialog, bool save) {
  QFileDialog box(window_, ToQt(dialog.title), ToQt(dialog.initialDir));
  box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  box.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = NameFilters(dialog.filter);
  box.setNameFilters(filters);
  const int index = dialog.filterIndex;
  if (index >= 1 && index <= filters.size()) box.selectNameFilter(filters[index - 1]);
  if (!dialog.fileName.empty()) box.selectFile(ToQt(dialog.fileName));
  PauseBusy();
  const bool accepted = box.exec() == QDialog::Accepted && !box.selectedFiles().isEmpty();
  ResumeBusy();
  if (!accepted) return false;
  dialog.fileName = FromQt(box.selectedFiles().front());
  const qsizetype chosen = filters.indexOf(box.selectedNameFilter());
  if (chosen >= 0) dialog.filterIndex = static_cast<int>(chosen) + 1;
  return true;
}

void QtServices::SetClipboard(const std::string& text) {
  QApplication::clipboard()->setText(ToQt(text));
}

std::string QtServices::Clipboard() { return FromQt(QApplication::clipboard()->text()); }

void QtServices::Repaint() {
  if (refresh_) refresh_();
  // Paint what changed, but keep the user's clicks and keys until the command is done: long
  // loops stop early only through their own questions.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtServices::BeginBusy() {
  if (busy_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtServices::EndBusy() {
  if (busy_ > 0 && --busy_ == 0) QApplication::restoreOverrideCursor();
}

void QtServices::PauseBusy() {
  if (busy_ > 0) QApplication::setOverrideCursor(Qt::ArrowCursor);
}

void QtServices::ResumeBusy() {
  if (busy_ > 0) QApplication::restoreOverrideCursor();
}

namespace {

// Swallows the user's input while long work polls for a cancel; notes an Escape key.
class EscapeWatch : public QObject {
 public:
  bool pressed = false;
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) pressed = true;
        return true;
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
        return true;
      default:
        return QObject::eventFilter(watched, event);
    }
  }
};

}  // namespace

bool QtServices::CancelRequested() {
  EscapeWatch watch;
  QCoreApplication::instance()->installEventFilter(&watch);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::instance()->removeEventFilter(&watch);
  return watch.pressed;
}

}  // namespace polydec::gui
