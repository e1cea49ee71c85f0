// The one way the program writes a file: into a new temporary file beside the target, flushed
// to the disk, then renamed over the target, so that the target holds either its old or its
// new contents whatever happens in between (a full disk, a crash, a kill), and a failure says
// why. The target keeps its permissions; a symbolic link stays a link and its file is
// replaced; folders, devices and pipes are refused, and so is a file without write permission.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace polydec::core {

// A file being written; nothing shows under the target's name until Commit succeeds. Dropping
// an uncommitted writer removes its temporary file.
class AtomicWriter {
 public:
  // Opens the temporary file; on failure ok() is false and Error() says why (without the
  // path, which the caller names).
  explicit AtomicWriter(const std::string& path);
  ~AtomicWriter();
  AtomicWriter(const AtomicWriter&) = delete;
  AtomicWriter& operator=(const AtomicWriter&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  // The file the data will land in (the target of a symbolic link).
  const std::string& Target() const { return target_; }

  // Appends bytes; a write failure is remembered and reported by Commit.
  void Write(std::string_view bytes);
  // Copies the present contents of the target first (for an append); a target that does not
  // exist yet copies nothing. Read in pieces, never whole.
  void CopyExistingTarget();
  // Flushes, syncs and renames over the target. Empty on success, else why it failed (the
  // target is then as it was and the temporary file is gone). After a success the temporary
  // files that saves of the same target left when they were killed are removed: a writer holds
  // a lock on its temporary file as long as it lives, so a file without one is abandoned. Only
  // files named as this writer names its temporary files are touched (".NAME" followed by a
  // marker of the program and six letters), never a user's ".NAME.backup" beside the target.
  std::optional<std::string> Commit();

 private:
  void Fail(const std::string& why);
  void Discard();

  std::string path_;
  std::string target_;
  std::string temporary_;
  std::FILE* file_ = nullptr;
  int lock_ = -1;  // holds the lock on the temporary file until it is renamed or removed
  std::string error_;
  bool committed_ = false;
};

// Whether path names an existing file that the writer refuses to replace: its mode has no write
// bit, or the user may not write it.
bool IsReadOnlyFile(const std::string& path);

// Replaces the file at path by content. Empty on success, else why it failed.
std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view content);
// The file's present contents followed by content, written the same way (a missing file is
// created), so that a failed append leaves the file as it was. Appends to one file exclude each
// other (a lock on the file's folder, held from reading the present contents to the rename), so
// that of two at once neither loses the other's data; an append that cannot have the lock within
// kAppendLockWait seconds fails saying so. When the present contents end without a line end,
// lineEnd (if given) is put before content, so that it starts on a line of its own.
inline constexpr int kAppendLockWait = 60;
std::optional<std::string> AppendFileAtomically(const std::string& path, std::string_view content,
                                                std::string_view lineEnd = {});

}  // namespace polydec::core
