// Finding the file an output name will replace, and whether the user may replace it.
#include "tools/output_target.hpp"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <system_error>
#include <vector>

namespace walkers::render {
namespace {

[[noreturn]] void failWith(int error) { throw std::system_error(error, std::generic_category()); }

// Like fstatat() without following links, as a statx that also says whether the file is
// append-only or immutable. False (with errno set) if there is no such file.
bool look(int directory, const char* name, struct statx& status) {
  const int flags = AT_SYMLINK_NOFOLLOW | (*name == '\0' ? AT_EMPTY_PATH : 0);
  return ::statx(directory, name, flags, STATX_BASIC_STATS, &status) == 0;
}

bool locked(const struct statx& status) {
  return (status.stx_attributes & status.stx_attributes_mask &
          (STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE)) != 0;
}

FileIdentity identityOf(const struct stat& status) { return {status.st_dev, status.st_ino}; }

// Whether the directory `directory` is this process's own descriptor directory (/proc/self/fd
// or /proc/thread-self/fd, however it was reached).
bool ownDescriptorDirectory(int directory) {
  struct statfs system {};
  struct stat status {};
  if (::fstatfs(directory, &system) != 0 || system.f_type != PROC_SUPER_MAGIC ||
      ::fstat(directory, &status) != 0) {
    return false;
  }
  for (const char* own : {"/proc/self/fd", "/proc/thread-self/fd"}) {
    struct stat mine {};
    if (::stat(own, &mine) == 0 && identityOf(mine) == identityOf(status)) return true;
  }
  return false;
}

// The descriptor that `path` names if it is an entry of our own descriptor directory.
std::optional<int> ownDescriptorEntry(const std::string& path) {
  const PathParts parts = splitPath(path);
  const int directory = ::open(parts.directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return std::nullopt;  // the walk finds out what is wrong with it
  const bool own = ownDescriptorDirectory(directory);
  ::close(directory);  // before the number is looked at, so that it is not this one
  if (!own) return std::nullopt;
  // The entries are the numbers in decimal, without leading zeros; anything else is no entry.
  const std::string& name = parts.name;
  if (name.empty() || name == "." || name == "..") return std::nullopt;  // the directory's own
  if (name.size() > 1 && name[0] == '0') failWith(ENOENT);
  long number = 0;
  for (const char digit : name) {
    if (digit < '0' || digit > '9') failWith(ENOENT);
    number = number * 10 + (digit - '0');
    if (number > INT_MAX) failWith(ENOENT);
  }
  const int descriptor = static_cast<int>(number);
  if (::fcntl(descriptor, F_GETFD) == -1) failWith(EBADF);
  return descriptor;
}

}  // namespace

LinkEnd followLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    if (auto descriptor = ownDescriptorEntry(path)) return {descriptor, std::move(path)};
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
      if (errno == ENOENT) return {std::nullopt, std::move(path)};
      failWith(errno);
    }
    if (!S_ISLNK(status.st_mode)) return {std::nullopt, std::move(path)};
    // As the kernel does for open(): a link in a sticky world-writable directory such as /tmp is
    // followed only if it belongs to the user or to the directory's owner, so that nobody can
    // plant a link there that makes root replace a file of their choosing.
    const PathParts parts = splitPath(path);
    struct stat directory {};
    if (::stat(parts.directory.c_str(), &directory) != 0) failWith(errno);
    if ((directory.st_mode & S_ISVTX) && (directory.st_mode & S_IWOTH) &&
        status.st_uid != ::geteuid() && status.st_uid != directory.st_uid) {
      failWith(EACCES);
    }
    std::vector<char> link(static_cast<std::size_t>(status.st_size) + 256);
    const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
    if (length < 0) failWith(errno);
    if (length == 0 || static_cast<std::size_t>(length) == link.size()) failWith(ENOENT);
    std::string next(link.data(), static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    if (next.front() != '/' && slash != std::string::npos) next.insert(0, path, 0, slash + 1);
    path = std::move(next);
  }
  failWith(ELOOP);
}

PathParts splitPath(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

ReplacedFile::ReplacedFile(std::string path) : path_(std::move(path)) {
  LinkEnd end = followLinks(path_);
  if (end.descriptor) failWith(EBADF);
  PathParts parts = splitPath(end.path);
  name_ = std::move(parts.name);
  if (name_.empty() || name_ == "." || name_ == "..") failWith(EISDIR);
  directory_ = ::open(parts.directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (directory_ < 0) failWith(errno);
  try {
    directoryAtStart_ = directoryIdentity();
    existingHeld_ = ::openat(directory_, name_.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (existingHeld_ >= 0) {
      struct stat status {};
      if (::fstat(existingHeld_, &status) != 0) failWith(errno);
      existingAtStart_ = identityOf(status);
    } else if (errno != ENOENT) {
      failWith(errno);
    }
    checkReplaceable();
  } catch (...) {
    // The destructor does not run for a constructor that throws.
    if (existingHeld_ >= 0) ::close(existingHeld_);
    ::close(directory_);
    throw;
  }
}

ReplacedFile::~ReplacedFile() {
  if (existingHeld_ >= 0) ::close(existingHeld_);
  ::close(directory_);
}

FileIdentity ReplacedFile::directoryIdentity() const {
  struct stat status {};
  if (::fstat(directory_, &status) != 0) failWith(errno);
  return {status.st_dev, status.st_ino};
}

std::optional<FileIdentity> ReplacedFile::existing() const {
  struct stat status {};
  if (::fstatat(directory_, name_.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return FileIdentity{status.st_dev, status.st_ino};
}

bool ReplacedFile::unchanged() const {
  LinkEnd end;
  try {
    end = followLinks(path_);
  } catch (const std::system_error&) {
    return false;  // a link that cannot be followed now, or a loop, was put on the way
  }
  if (end.descriptor) return false;
  const PathParts parts = splitPath(end.path);
  if (parts.name != name_) return false;
  const int directory = ::open(parts.directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return false;
  struct stat status {};
  const bool same = ::fstat(directory, &status) == 0 && identityOf(status) == directoryAtStart_;
  ::close(directory);
  return same && existing() == existingAtStart_;
}

bool ReplacedFile::directoryRemoved() const {
  struct stat status {};
  return ::fstat(directory_, &status) == 0 && status.st_nlink == 0;
}

void ReplacedFile::checkReplaceable() const {
  struct statx folder {};
  if (!look(directory_, "", folder)) failWith(errno);
  if (::faccessat(directory_, ".", W_OK | X_OK, AT_EACCESS) != 0) failWith(errno);
  if (locked(folder)) failWith(EPERM);
  struct statx existing {};
  if (!look(directory_, name_.c_str(), existing)) {
    if (errno == ENOENT) return;
    failWith(errno);
  }
  if (::faccessat(directory_, name_.c_str(), W_OK, AT_EACCESS) != 0) failWith(errno);
  // In a sticky directory only the owner of a file (or of the directory) may replace it; the
  // rename would fail after all the work, so say so now. Root may, through CAP_FOWNER.
  const uid_t user = ::geteuid();
  if ((folder.stx_mode & S_ISVTX) && user != 0 && existing.stx_uid != user &&
      folder.stx_uid != user) {
    failWith(EPERM);
  }
  if (locked(existing)) failWith(EPERM);
}

}  // namespace walkers::render
