#include "core/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace polydec::core {

namespace fs = std::filesystem;

namespace {

// Links are followed by hand (at most this many), so that a link to a file not yet made still
// names where the data goes.
constexpr int kMaxLinkHops = 40;
// Temporary files made before one is kept (see the constructor).
constexpr int kTemporaryAttempts = 20;

std::string SystemMessage(int error) { return std::strerror(error); }

// The file a path names after its symbolic links; empty with why set when it cannot be known.
std::string FollowLinks(const std::string& path, std::string& why) {
  fs::path p(path);
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) {
      if (errno == ENOENT) return p.string();
      why = "cannot be examined (" + SystemMessage(errno) + ")";
      return {};
    }
    if (!S_ISLNK(st.st_mode)) return p.string();
    std::error_code ec;
    const fs::path next = fs::read_symlink(p, ec);
    if (ec) {
      why = "is a link that cannot be read (" + ec.message() + ")";
      return {};
    }
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  why = "is a chain of links that does not end";
  return {};
}

// The temporary file of a save of NAME is ".NAME" followed by this marker and the six letters
// or digits mkstemp chooses: a name no user gives a file of their own (".NAME.backup" or
// ".NAME.run001" are theirs), so that removing the abandoned ones never removes a user's file.
constexpr std::string_view kTemporaryMarker = ".polydec-unfinished-save.";
constexpr std::size_t kUniqueLetters = 6;

std::string TemporaryPrefix(const std::string& name) {
  return "." + name + std::string(kTemporaryMarker);
}

// Whether entry is a name this writer gives the temporary files of a save of name.
bool IsTemporaryName(const std::string& entry, const std::string& name) {
  const std::string prefix = TemporaryPrefix(name);
  if (entry.size() != prefix.size() + kUniqueLetters ||
      entry.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (std::size_t k = prefix.size(); k < entry.size(); ++k)
    if (!std::isalnum(static_cast<unsigned char>(entry[k]))) return false;
  return true;
}

// The temporary files of target whose writer is gone: regular files named as this writer names
// them, of ours, not links, that nobody holds a lock on.
void RemoveAbandonedTemporaries(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return;
    const std::string entry = it->path().filename().string();
    if (!IsTemporaryName(entry, name)) continue;
    struct stat named {};
    if (::lstat(it->path().c_str(), &named) != 0 || !S_ISREG(named.st_mode) ||
        named.st_uid != ::geteuid())
      continue;
    const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened {};
    if (::fstat(fd, &opened) == 0 && opened.st_ino == named.st_ino &&
        opened.st_dev == named.st_dev && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(it->path().c_str());
    ::close(fd);
  }
}

// The lock that makes appends to one file take turns: an exclusive flock on the file's folder
// (the file itself is replaced by every append, so a lock on it would be left behind on the old
// one). Where the folder cannot be opened the file is locked instead, checked to be still the
// file under its name once the lock is held.
class AppendLock {
 public:
  AppendLock() = default;
  AppendLock(const AppendLock&) = delete;
  AppendLock& operator=(const AppendLock&) = delete;
  ~AppendLock() {
    if (fd_ >= 0) ::close(fd_);
  }

  std::optional<std::string> Take(const std::string& target) {
    const fs::path t(target);
    const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool onFolder = fd_ >= 0;
    for (int attempt = 0;; ++attempt) {
      if (!onFolder) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = ::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        // Neither the folder nor an existing file to lock: nothing else can be appending.
        if (fd_ < 0) return errno == ENOENT ? std::nullopt : Fail(errno);
      }
      if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        if (onFolder || SameFile(fd_, target)) return std::nullopt;
        continue;  // the file was replaced while we waited: lock the new one
      }
      if (errno != EWOULDBLOCK && errno != EINTR) return Fail(errno);
      if (attempt >= kAppendLockWait * 20)
        return std::string("another program has been writing to this file for ") +
               std::to_string(kAppendLockWait) + " seconds; nothing was appended";
      ::usleep(50000);
    }
  }

 private:
  static bool SameFile(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
           held.st_ino == named.st_ino && held.st_dev == named.st_dev;
  }
  static std::optional<std::string> Fail(int error) {
    return "the file cannot be locked against other appends (" + SystemMessage(error) + ")";
  }

  int fd_ = -1;
};

// The last byte of a file, if it has one.
std::optional<char> LastByte(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return std::nullopt;
  std::optional<char> last;
  if (std::fseek(in, -1, SEEK_END) == 0) {
    const int c = std::fgetc(in);
    if (c != EOF) last = static_cast<char>(c);
  }
  std::fclose(in);
  return last;
}

}  // namespace

AtomicWriter::AtomicWriter(const std::string& path) : path_(path) {
  if (path.empty()) {
    error_ = "no file name was given";
    return;
  }
  std::string why;
  target_ = FollowLinks(path, why);
  if (target_.empty()) {
    Fail("the path " + why);
    return;
  }

  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    const char* what = S_ISDIR(st.st_mode)                          ? "a folder"
                       : S_ISFIFO(st.st_mode)                       ? "a pipe"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                    : "not a regular file";
    {
      Fail(std::string("this is ") + what + ", not a file");
      return;
    }
  }
  if (!exists && errno != ENOENT) {
    Fail("the path cannot be examined (" + SystemMessage(errno) + ")");
    return;
  }
  // The rename needs write permission on the folder only, so a file the user may not change, or
  // one marked read-only by its mode, would be replaced (and change owner) all the same. It is
  // refused as writing into it would be; root, whom the system lets write anything, is stopped
  // by the mode too.
  if (exists && IsReadOnlyFile(target_)) {
    Fail("the file is read-only (no permission to write it); it was left as it is");
    return;
  }

  // mkstemp creates the file exclusively with a name no other file has, never through a link.
  const fs::path target(target_);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string base =
      (folder / (TemporaryPrefix(target.filename().string()) + std::string(kUniqueLetters, 'X')))
          .string();
  int fd = -1;
  // The lock tells later saves that this temporary file is still being written; a second
  // descriptor keeps it through the close before the rename. Between mkstemp and flock the file
  // is unlocked, and the clean-up of a save finishing at that moment may take it for abandoned:
  // a file that is no longer ours once locked is given up for a new one.
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    std::string pattern = base;
    fd = ::mkstemp(pattern.data());
    if (fd < 0) {
      Fail("no file can be created in the folder " + folder.string() + " (" + SystemMessage(errno) +
           ")");
      return;
    }
    lock_ = ::dup(fd);
    const bool locked = lock_ >= 0 && ::flock(lock_, LOCK_EX | LOCK_NB) == 0;
    const bool taken = lock_ >= 0 && !locked && errno == EWOULDBLOCK;
    struct stat held {};
    if (!taken && ::fstat(fd, &held) == 0 && held.st_nlink > 0) {
      // Where the system gives no lock the file is written without one, as it can.
      if (!locked && lock_ >= 0) {
        ::close(lock_);
        lock_ = -1;
      }
      temporary_ = pattern;
      break;
    }
    // A clean-up holds it or has removed it already: it is no longer ours.
    if (lock_ >= 0) ::close(lock_);
    lock_ = -1;
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    Fail("no temporary file of its own could be kept in the folder " + folder.string() +
         " (other programs removed each one made)");
    return;
  }
  // The new file gets the old file's permissions, or those a newly made file would get.
  mode_t mode = 0;
  if (exists) {
    mode = st.st_mode & 07777;
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Not owning the old file's owner is no reason to refuse; the permissions still hold.
    }
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
  file_ = ::fdopen(fd, "wb");
  if (file_ == nullptr) {
    ::close(fd);
    {
      Fail("the file could not be written (" + SystemMessage(errno) + ")");
      return;
    }
  }
}

AtomicWriter::~AtomicWriter() {
  if (!committed_) Discard();
}

void AtomicWriter::Fail(const std::string& why) {
  if (error_.empty()) error_ = why;
  Discard();
}

void AtomicWriter::Discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
  if (lock_ >= 0) {
    ::close(lock_);
    lock_ = -1;
  }
}

void AtomicWriter::Write(std::string_view bytes) {
  if (!ok() || bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
    Fail("the file could not be written completely (" + SystemMessage(errno) + ")");
}

void AtomicWriter::CopyExistingTarget() {
  if (!ok()) return;
  std::FILE* in = std::fopen(target_.c_str(), "rb");
  if (in == nullptr) {
    if (errno != ENOENT) Fail("the present file cannot be read (" + SystemMessage(errno) + ")");
    return;
  }
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0 && ok())
    Write(std::string_view(buffer, n));
  const bool readFailed = std::ferror(in) != 0;
  std::fclose(in);
  if (readFailed) Fail("the present file cannot be read");
}

std::optional<std::string> AtomicWriter::Commit() {
  if (!ok()) return error_;
  if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0) {
    Fail("the file could not be written completely (" + SystemMessage(errno) + ")");
    return error_;
  }
  const int closed = std::fclose(file_);
  file_ = nullptr;
  if (closed != 0) {
    Fail("the file could not be written completely (" + SystemMessage(errno) + ")");
    return error_;
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    Fail("the file could not be replaced (" + SystemMessage(errno) + ")");
    return error_;
  }
  temporary_.clear();
  if (lock_ >= 0) {
    ::close(lock_);
    lock_ = -1;
  }
  committed_ = true;
  const fs::path target(target_);
  RemoveAbandonedTemporaries(target.has_parent_path() ? target.parent_path() : fs::path("."),
                             target.filename().string());
  return std::nullopt;
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view content) {
  AtomicWriter w(path);
  w.Write(content);
  return w.Commit();
}

std::optional<std::string> AppendFileAtomically(const std::string& path, std::string_view content,
                                                std::string_view lineEnd) {
  AtomicWriter w(path);
  if (!w.ok()) return w.Commit();
  AppendLock lock;
  if (auto why = lock.Take(w.Target())) return why;
  w.CopyExistingTarget();
  if (!lineEnd.empty()) {
    const std::optional<char> last = LastByte(w.Target());
    if (last == '\r')
      w.Write("\n");
    else if (last && *last != '\n')
      w.Write(lineEnd);
  }
  w.Write(content);
  return w.Commit();
}

}  // namespace polydec::core
