// The table of text cells that the worksheet and the other grids are, as the public API
// defines it.
#pragma once

#include "polydec/cell_table.h"

namespace polydec::core {

using polydec::CellTable;

}  // namespace polydec::core
