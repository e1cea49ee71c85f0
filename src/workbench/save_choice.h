// The save dialog of a command, followed by the question a read-only choice asks. The writer
// never replaces a file without write permission (the command line refuses it); in the window
// the user chose the file and is asked whether it should be replaced all the same.
#pragma once

#include "workbench/services.h"

namespace polydec::workbench {

// Shows the save dialog. True when the user chose a file that may be written: a new or writable
// one, or a read-only one they agreed to replace, which is then made writable for its owner.
// False when they cancelled or declined, or when the file cannot be made writable (they are
// told why; the file is left as it is).
bool ChooseSaveFile(Services& services, FileDialog& dialog);

}  // namespace polydec::workbench
