// The polydec command: the workbench's engine without a window, for scripts and batch runs.
#include <filesystem>
#include <iostream>
#include <new>

#include "common.h"
#include "polydec_version.h"

int main(int argc, char** argv) {
  CLI::App app{
      "polydec - diffraction elastic constants, stress factors and stress analysis of "
      "polycrystals"};
  app.name("polydec");
  app.require_subcommand(1, 1);
  app.fallthrough(false);
  app.set_version_flag("--version", std::string("polydec ") + POLYDEC_VERSION,
                       "Print the version and exit");

  polydec::cli::AddVersionCommand(app);
  polydec::cli::AddLatticeCommand(app);
  polydec::cli::AddMaterialsCommand(app);
  polydec::cli::AddDecCommand(app);
  polydec::cli::AddEshelbyCommand(app);
  polydec::cli::AddOdfCommand(app);
  polydec::cli::AddFitCommand(app);
  polydec::cli::AddWorksheetCommand(app);
  polydec::cli::AddAggregateCommand(app);
  polydec::cli::AddCijCommand(app);
  polydec::cli::AddGrainsCommand(app);
  polydec::cli::AddPoleFigureCommand(app);
  polydec::cli::AddFibreCommand(app);
  polydec::cli::AddSCTensorCommand(app);
  polydec::cli::AddTwinsCommand(app);
  polydec::cli::AddTaylorCommand(app);
  polydec::cli::AddSchmidCommand(app);
  polydec::cli::AddElongationCommand(app);
  polydec::cli::AddMapCommand(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "polydec: " << e.what() << "\n"
              << "Run 'polydec --help' or 'polydec COMMAND --help' for usage.\n";
    return 2;
  } catch (const polydec::cli::ExitStatus& e) {
    return e.status;
  } catch (const polydec::cli::Failure& e) {
    std::cerr << "polydec: error: " << e.what() << "\n";
    return 1;
  } catch (const std::filesystem::filesystem_error& e) {
    // A path the system cannot even look at (a loop of links, a name over the length limit).
    std::cerr << "polydec: error: " << e.path1().string() << ": " << e.code().message() << "\n";
    return 1;
  } catch (const std::bad_alloc&) {
    std::cerr << "polydec: error: not enough memory for this input\n";
    return 1;
  } catch (const std::exception& e) {
    // The last resort: whatever escaped the commands' own checks is still reported, not
    // aborted on.
    std::cerr << "polydec: error: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
