// Finding the file an output name will replace, and whether the user may replace it.
#include "tools/output_target.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// Follows the symbolic links of the last component, as open() would, to the name that will
// actually be replaced.
std::string finalTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
      if (errno == ENOENT) return path;
      failWith(errno);
    }
    if (!S_ISLNK(status.st_mode)) return path;
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

}  // namespace

PathParts splitPath(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

ReplacedFile::ReplacedFile(std::string path) {
  PathParts parts = splitPath(finalTarget(std::move(path)));
  name_ = std::move(parts.name);
  if (name_.empty() || name_ == "." || name_ == "..") failWith(EISDIR);
  directory_ = ::open(parts.directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (directory_ < 0) failWith(errno);
  try {
    checkReplaceable();
  } catch (...) {
    ::close(directory_);  // the destructor does not run for a constructor that throws
    throw;
  }
}

ReplacedFile::~ReplacedFile() { ::close(directory_); }

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
