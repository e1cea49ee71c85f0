#include "workbench/main_form.h"

namespace polydec::workbench {

void MainForm::RegisterMacroCommands() {}

}  // namespace polydec::workbench
