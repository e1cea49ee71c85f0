#include "workbench/main_form.h"

namespace polydec::workbench {

void MainForm::RegisterStressCommands() {}

}  // namespace polydec::workbench
