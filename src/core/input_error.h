// The one record of bad input that every reader returns: which file, where in it (line, and
// column or field when known) and what is wrong, so that the window, the command line and the
// public API show a refusal the same way. Defined with the API's result type.
#pragma once

#include "polydec/error.h"

namespace polydec::core {

using polydec::InputError;

}  // namespace polydec::core
