#include "workbench/main_form.h"

namespace polydec::workbench {

void MainForm::RegisterWorksheetCommands() {}

void MainForm::InitWorksheet() {}

}  // namespace polydec::workbench
