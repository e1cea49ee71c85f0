// polydec-gui: the workbench's main window.
#include <QApplication>
#include <QMessageBox>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "main_window.h"
#include "polydec/data_files.h"
#include "polydec_version.h"
#include "program_folder.h"
#include "qt_services.h"

namespace {

void PrintUsage(const polydec::DataFiles& files) {
  std::cout << "usage: polydec-gui [Qyxo] [Qt options]\n"
               "       polydec-gui --version\n"
               "\n"
               "Opens the window \"Diffraction Elastic Constants for Polycrystals\": diffraction\n"
               "elastic constants, stress factors, stress fits and elastic constants of\n"
               "polycrystals.\n"
               "\n"
               "  Qyxo   (as the first argument, spelt exactly so) shows the buttons for fitting\n"
               "         single-crystal constants to measured diffraction elastic constants,\n"
               "         \"Load SC Constants Fit Input\" and \"Fit SC constants\". They sit in\n"
               "         the group \"Special Functions\" of the page \"DEC/Stress/Strain\", which\n"
               "         the box \"Show hidden functions\" of the page \"Settings\" shows.\n"
               "\n"
               "Keys: Ctrl+O and Ctrl+S load and save the worksheet, Ctrl+D runs \"Calc DEC\" and\n"
               "Ctrl+R \"Calc Stress\". In the worksheet, the stiffness grid and the twin table:\n"
               "Ctrl+C, Ctrl+X, Ctrl+V copy, cut and paste TAB-separated blocks, Delete blanks\n"
               "the selection, Enter moves down, and a formula such as =A1*2 or =B1+C1 typed\n"
               "into a cell is applied to the selected range with Ctrl+Enter.\n"
               "\n"
               "Data files: in a build tree everything is beside the program; an installed\n"
               "program reads its shipped data from <prefix>/share/polydec, keeps its settings\n"
               "in $XDG_CONFIG_HOME/polydec (~/.config/polydec) and adds materials to the\n"
               "user's copy of the database in $XDG_DATA_HOME/polydec (~/.local/share/polydec),\n"
               "made from the shipped one on the first \"Add to Database\".\n"
               "\n"
               "This run uses:\n"
               "  material database   "
            << polydec::ActiveDatabase(files) << " (" << polydec::DatabaseOrigin(files)
            << ")\n"
               "  materials added to  "
            << files.userDatabase
            << "\n"
               "  settings            "
            << (std::filesystem::path(files.settingsFolder) / "polydec.ini").string()
            << "\n"
               "  orientation sets    "
            << files.shippedFolder
            << "\n"
               "\n"
               "Without a display, run it under xvfb-run or with QT_QPA_PLATFORM=offscreen.\n"
               "The command-line tool for the same calculations is polydec (see polydec --help).\n";
}

// Every event runs inside this guard: an exception that escaped a command's own checks ends in
// an error box instead of ending the program (and whatever the user has not saved).
class GuardedApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
      Report("There is not enough memory for this input.");
    } catch (const std::exception& e) {
      Report(e.what());
    } catch (...) {
      Report("An unexpected error occurred.");
    }
    return false;
  }

 private:
  static void Report(const std::string& what) {
    std::cerr << "polydec-gui: error: " << what << "\n";
    QMessageBox::critical(nullptr, "polydec", QString::fromStdString(what));
  }
};

}  // namespace

int main(int argc, char** argv) {
  const polydec::DataFiles files = polydec::LocateDataFiles(
      polydec::gui::ExecutableFolder(argc > 0 ? argv[0] : nullptr).string());

  // Told without a display and without creating or copying anything.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintUsage(files);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::cout << "polydec-gui " << POLYDEC_VERSION << "\n";
      return 0;
    }
  }

  GuardedApplication app(argc, argv);
  QApplication::setApplicationName("polydec");

  // Qt has taken its own options out of argv; the rest belong to the window.
  std::vector<std::string> args(argv + 1, argv + argc);
  polydec::gui::QtServices services;
  polydec::workbench::MainForm mainForm(services, files, args);
  polydec::gui::MainWindow window(mainForm);
  services.Attach(&window, [&window] { window.Refresh(); });
  window.show();
  return QApplication::exec();
}
