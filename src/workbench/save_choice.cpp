#include "workbench/save_choice.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "core/atomic_file.h"

namespace polydec::workbench {

bool ChooseSaveFile(Services& services, FileDialog& dialog) {
  if (!services.ExecuteSave(dialog)) return false;
  const std::string& path = dialog.fileName;
  if (!core::IsReadOnlyFile(path)) return true;
  if (services.Message(MessageKind::kConfirmation,
                       "The file " + path + " is read-only. Replace it anyway?",
                       Buttons::kYesNo) != Answer::kYes)
    return false;
  struct stat st {};
  const bool changed =
      ::stat(path.c_str(), &st) == 0 && ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
  const int error = changed ? 0 : errno;
  if (!changed || core::IsReadOnlyFile(path)) {
    services.Inform("The file " + path + " cannot be made writable" +
                    (error != 0 ? " (" + std::string(std::strerror(error)) + ")" : std::string()) +
                    "; it was left as it is.");
    return false;
  }
  return true;
}

}  // namespace polydec::workbench
