// Opening, writing and putting in place the renderer's outputs: written directly, or through a
// temporary file beside the target that is renamed over it once complete.
#include "tools/output_file.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "common/option_text.hpp"

namespace walkers::render {
namespace {

// A temporary file's name: the target's, then kTail and kRandom letters and digits.
constexpr std::string_view kTail = ".tmp.";
constexpr std::size_t kRandom = 6;

// A name of `size` letters and digits drawn at random.
std::string randomSuffix(std::size_t size) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::array<unsigned char, 16> noise{};
  if (::getrandom(noise.data(), noise.size(), GRND_NONBLOCK) !=
      static_cast<ssize_t>(noise.size())) {
    // No entropy yet: the process id and a counter still make clashes rare, and O_EXCL makes
    // them harmless.
    static unsigned counter = 0;
    const unsigned mix = static_cast<unsigned>(::getpid()) * 2654435761U + ++counter * 40503U;
    for (std::size_t i = 0; i < noise.size(); ++i) {
      noise[i] = static_cast<unsigned char>((mix >> (i % 4 * 8)) + i * 37);
    }
  }
  std::string suffix;
  for (std::size_t i = 0; i < size; ++i) suffix += kAlphabet[noise[i] % kAlphabet.size()];
  return suffix;
}

// Unnamed temporary files need /proc to be named later. WALKERS_RENDER_NAMED_TEMPORARIES (for
// tests only) makes them named from the start, as where the file system has no unnamed files.
bool unnamedAllowed() {
  return std::getenv("WALKERS_RENDER_NAMED_TEMPORARIES") == nullptr &&
         ::access("/proc/self/fd", X_OK) == 0;
}

FileIdentity identityOf(const struct stat& status) { return {status.st_dev, status.st_ino}; }

}  // namespace

std::optional<int> descriptorReached(const std::string& name) {
  if (name == kStandardOutput) return STDOUT_FILENO;
  try {
    return followLinks(name).descriptor;
  } catch (const std::system_error&) {
    return std::nullopt;  // opening the output says what is wrong
  }
}

std::optional<std::string> checkOutputName(std::string_view option, std::string_view name) {
  if (name.empty()) {
    return "bad " + std::string(option) + " \"\": expected a file name, or - for standard output";
  }
  if (name == kStandardOutput && ::isatty(STDOUT_FILENO) == 1) {
    return std::string(option) +
           " -: standard output is a terminal; redirect it to a file or a pipe";
  }
  return std::nullopt;
}

OutputFile::OutputFile(std::string name, std::optional<int> descriptor)
    : display_(name == kStandardOutput ? "standard output" : escapeForMessage(name, kEchoLimit)) {
  prepareSignals();
  try {
    if (descriptor) {
      openDescriptor(*descriptor);
      return;
    }
    struct stat status {};
    std::optional<FileIdentity> reached;
    if (::stat(name.c_str(), &status) == 0) {
      if (S_ISDIR(status.st_mode)) fail(EISDIR);
      if (!S_ISREG(status.st_mode)) {
        openDirect(name.c_str());
        return;
      }
      reached = identityOf(status);
    } else if (errno != ENOENT) {
      fail(errno);
    }
    openBeside(std::move(name));
    // A name can reach a file that no link text names: /proc/<another process>/fd/N to a file
    // deleted since it was opened reads as "f (deleted)", a name that replacing would create.
    if (reached && file_ != reached) {
      throw OutputError("cannot write " + display_ +
                        ": the file it reaches has no name to replace it by (deleted or moved)");
    }
  } catch (...) {
    release();  // the destructor does not run for a constructor that throws
    throw;
  }
}

void OutputFile::openDescriptor(int descriptor) {
  fd_ = descriptor;  // not ours to close
  // Checked now rather than by a write after the render: open, and for writing.
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags == -1) fail(errno);
  if ((flags & O_PATH) != 0 || (flags & O_ACCMODE) == O_RDONLY) fail(EBADF);
  if (::isatty(fd_) == 1) {
    throw OutputError("cannot write " + display_ + ": it is a terminal");
  }
  struct stat status {};
  if (::fstat(fd_, &status) != 0) fail(errno);
  file_ = identityOf(status);
}

void OutputFile::openDirect(const char* path) {
  // No O_TRUNC: devices and FIFOs have nothing to cut, and a file swapped in meanwhile is kept.
  fd_ = ::open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) fail(errno);
  ownFd_ = true;
  if (::isatty(fd_) == 1) {
    throw OutputError("cannot write " + display_ + ": it is a terminal");
  }
  struct stat status {};
  if (::fstat(fd_, &status) != 0) fail(errno);
  file_ = identityOf(status);
}

bool OutputFile::sameTarget(const OutputFile& other) const {
  if (file_ && other.file_ && *file_ == *other.file_) return true;
  return target_ && other.target_ && target_->name() == other.target_->name() &&
         target_->directoryIdentity() == other.target_->directoryIdentity();
}

void OutputFile::openBeside(std::string path) {
  try {
    target_.emplace(std::move(path));
  } catch (const std::system_error& error) {
    fail(error.code().value());
  }
  file_ = target_->existingAtStart();
  const int directory = target_->directory();
  const std::string& base = target_->name();
  // "<name>.tmp.XXXXXX", with the name shortened (at a character boundary) to fit the
  // directory's limit on name length, so that names up to that limit work.
  long nameMax = ::fpathconf(directory, _PC_NAME_MAX);
  if (nameMax <= 0 || nameMax > 255) nameMax = 255;
  std::size_t keep =
      std::min(base.size(), static_cast<std::size_t>(nameMax) - kTail.size() - kRandom);
  while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xc0) == 0x80) --keep;
  stem_ = base.substr(0, keep) + std::string(kTail);

  // An unnamed file in the target's directory where the file system has them: it gets a name
  // only just before the renames, so nothing is left behind however the process ends, even by
  // SIGKILL or a crash. Otherwise a named file, removed on failure or by a signal.
  ownFd_ = true;
  if (unnamedAllowed()) {
    fd_ = ::openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      unnamed_ = true;
      return;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) fail(errno);
  }
  SignalsBlocked blocked;
  nameTemporary();
}

void OutputFile::nameTemporary() {
  const int directory = target_->directory();
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  for (int attempt = 0;; ++attempt) {
    const std::string name = stem_ + randomSuffix(kRandom);
    int made = 0;
    if (unnamed_) {
      made = ::linkat(AT_FDCWD, self.c_str(), directory, name.c_str(), AT_SYMLINK_FOLLOW);
    } else {
      made = fd_ = ::openat(directory, name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
    }
    if (made >= 0) {
      if (temporary_.hold(directory, name)) return;
      ::unlinkat(directory, name.c_str(), 0);
      throw OutputError("cannot write " + display_ + ": too many outputs at once");
    }
    if (errno != EEXIST || attempt == 100) fail(errno);
  }
}

OutputFile::~OutputFile() { release(); }

void OutputFile::release() noexcept {
  temporary_.remove();
  if (ownFd_ && fd_ >= 0) ::close(fd_);
  fd_ = -1;
  target_.reset();
}

void OutputFile::fail(int error) const {
  throw OutputError("cannot write " + display_ + ": " + std::strerror(error));
}

// Not const: it changes the file, though no member.
// NOLINTNEXTLINE(readability-make-member-function-const)
void OutputFile::write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd_, bytes, size);
    if (written < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        // A descriptor that does not block (a parent's O_NONBLOCK pipe as standard output): wait
        // until the reader makes room, and go on.
        pollfd ready{fd_, POLLOUT, 0};
        if (::poll(&ready, 1, -1) < 0 && errno != EINTR) fail(errno);
      } else if (errno != EINTR) {
        fail(errno);
      }
      continue;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

// The replacement takes the old file's permission bits (not set-id ones) and, for root, its
// owner, read now so that a change made during the work is kept too.
void OutputFile::keepOldOwnerAndMode() {
  struct stat existing {};
  if (::fstatat(target_->directory(), target_->name().c_str(), &existing, AT_SYMLINK_NOFOLLOW) ==
          0 &&
      S_ISREG(existing.st_mode)) {
    if (::geteuid() == 0) {
      if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0) fail(errno);
    } else {
      // Keeping the group works when the user belongs to it, as with any new file of theirs.
      if (::fchown(fd_, static_cast<uid_t>(-1), existing.st_gid) != 0) errno = 0;
    }
    if (::fchmod(fd_, existing.st_mode & 0777) != 0) fail(errno);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0) fail(errno);
  }
}

void OutputFile::checkUnchanged() const {
  if (target_->unchanged()) return;
  if (target_->directoryRemoved()) fail(ENOENT);
  throw OutputError("cannot write " + display_ +
                    ": it no longer leads where it did when the render started (something else "
                    "was put there, or its directory was moved); it was left as it is");
}

void OutputFile::prepare() {
  if (prepared_) return;
  if (target_) {
    keepOldOwnerAndMode();
    if (::fsync(fd_) != 0) fail(errno);
    // Again: the name, its links or its directory may have changed during the work. Only the
    // target found at the start is ever replaced.
    checkUnchanged();
    try {
      target_->checkReplaceable();
    } catch (const std::system_error& error) {
      fail(error.code().value());
    }
    SignalsBlocked blocked;
    if (unnamed_) {
      nameTemporary();
    } else {
      // Still there under its name, and not removed with its directory during the work.
      struct stat named {};
      struct stat opened {};
      if (::fstatat(target_->directory(), temporary_.name(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
        fail(errno);
      }
      if (::fstat(fd_, &opened) != 0) fail(errno);
      if (!(identityOf(named) == identityOf(opened))) fail(ENOENT);
    }
  }
  if (ownFd_) {
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0 && errno != EINTR) fail(errno);
  }
  prepared_ = true;
}

void OutputFile::commit() {
  if (committed_) return;
  prepare();
  if (target_) {
    SignalsBlocked blocked;
    const int directory = target_->directory();
    const char* name = target_->name().c_str();
    // A name that held nothing at the start gets the file only if it still holds nothing, even
    // if something came since the last check; where the file system cannot say, a plain rename.
    int renamed = 0;
    if (!target_->existingAtStart()) {
      renamed = ::renameat2(directory, temporary_.name(), directory, name, RENAME_NOREPLACE);
      if (renamed != 0 && errno == EEXIST) {
        checkUnchanged();
        fail(EEXIST);
      }
      if (renamed != 0 && errno == EINVAL) {
        renamed = ::renameat(directory, temporary_.name(), directory, name);
      }
    } else {
      renamed = ::renameat(directory, temporary_.name(), directory, name);
    }
    if (renamed != 0) fail(errno);
    temporary_.forget();
  }
  committed_ = true;
}

void commitTogether(std::initializer_list<OutputFile*> outputs) {
  for (OutputFile* output : outputs) {
    if (output) output->prepare();
  }
  // Once more, since preparing the others (flushing them to disk) may have taken a while.
  for (OutputFile* output : outputs) {
    if (output && output->target_) output->checkUnchanged();
  }
  std::string replaced;  // the targets already renamed over, for a failure after them
  // A signal that would end the process waits until the last rename, so that it finds every
  // output in place or none.
  SignalsBlocked blocked;
  for (OutputFile* output : outputs) {
    if (!output) continue;
    try {
      output->commit();
    } catch (const OutputError& error) {
      if (replaced.empty()) throw;
      throw OutputError(std::string(error.what()) + " (already replaced: " + replaced + ")");
    }
    if (output->target_) replaced += (replaced.empty() ? "" : ", ") + output->display_;
  }
}

}  // namespace walkers::render
