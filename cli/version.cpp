#include <iostream>

#include "common.h"
#include "polydec_version.h"

namespace polydec::cli {

void AddVersionCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("version", "Print the version of polydec");
  cmd->callback([] { std::cout << "polydec " << POLYDEC_VERSION << "\n"; });
}

}  // namespace polydec::cli
