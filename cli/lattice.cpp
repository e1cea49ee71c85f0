#include "common.h"

namespace polydec::cli {

void AddLatticeCommand(CLI::App& app) {
  app.add_subcommand("lattice", "Lattice spacing and plane normal of a reflection");
}

}  // namespace polydec::cli
