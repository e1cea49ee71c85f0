#include "workbench/main_form.h"

namespace polydec::workbench {

void MainForm::RegisterFitCommands() {}

}  // namespace polydec::workbench
