// Opening, writing and committing the renderer's outputs, and the signal handling that removes
// their temporary files when the process is ended early.
#include "tools/output_file.hpp"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "tools/render_options.hpp"

namespace walkers::render {
namespace {

// Temporary files that exist right now, where the signal handler can reach them without
// allocating. Slots change only with every signal blocked, so the handler sees whole entries.
struct PendingSlot {
  volatile std::sig_atomic_t active = 0;
  int dirFd = -1;
  char name[256] = {};
};
std::array<PendingSlot, 8> pending;

extern "C" void removePendingAndDie(int signal) {
  for (PendingSlot& slot : pending) {
    if (slot.active) ::unlinkat(slot.dirFd, slot.name, 0);
  }
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigaction(signal, &fallback, nullptr);
  // The signal stays blocked until this handler returns; then its default action ends the
  // process with the status the sender expects.
  ::raise(signal);
}

// Blocks every signal for the life of the object.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t all;
    ::sigfillset(&all);
    ::sigprocmask(SIG_BLOCK, &all, &saved_);
  }
  ~SignalsBlocked() { ::sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t saved_{};
};

std::vector<int> endingSignals() {
  std::vector<int> signals{SIGHUP,    SIGINT,  SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2,   SIGALRM,
                           SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGPWR,  SIGSTKFLT, SIGABRT};
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_UNDEFINED__)
  // Faults too, except where the sanitizers report them (they would never see them otherwise).
  for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGSYS, SIGTRAP}) {
    signals.push_back(fault);
  }
#endif
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) signals.push_back(signal);
  return signals;
}

bool signalsPrepared = false;

// Follows the symbolic links of the last component, as open() would, to the name that will
// actually be replaced; a dangling link gives the name it points to, which is then created.
std::string finalTarget(std::string path, const OutputFile& output) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
      if (errno == ENOENT) return path;
      output.fail(errno);
    }
    if (!S_ISLNK(status.st_mode)) return path;
    // As the kernel does for open(): a link in a sticky world-writable directory such as /tmp is
    // followed only if it belongs to the user or to the directory's owner, so that nobody can
    // plant a link there that makes root replace a file of their choosing.
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    struct stat directory {};
    if (::stat(folder.c_str(), &directory) != 0) output.fail(errno);
    if ((directory.st_mode & S_ISVTX) && (directory.st_mode & S_IWOTH) &&
        status.st_uid != ::geteuid() && status.st_uid != directory.st_uid) {
      output.fail(EACCES);
    }
    std::vector<char> link(static_cast<std::size_t>(status.st_size) + 256);
    const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
    if (length < 0) output.fail(errno);
    if (length == 0 || static_cast<std::size_t>(length) == link.size()) output.fail(ENOENT);
    std::string next(link.data(), static_cast<std::size_t>(length));
    if (next.front() != '/' && slash != std::string::npos) next.insert(0, path, 0, slash + 1);
    path = std::move(next);
  }
  output.fail(ELOOP);
}

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

}  // namespace

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

void prepareSignals() {
  if (signalsPrepared) return;
  signalsPrepared = true;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, nullptr);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
  struct sigaction cleanup {};
  cleanup.sa_handler = removePendingAndDie;
  ::sigfillset(&cleanup.sa_mask);
  for (const int signal : endingSignals()) {
    struct sigaction before {};
    if (::sigaction(signal, nullptr, &before) != 0) continue;
    if (before.sa_handler == SIG_IGN) continue;  // ignored at start (nohup): stays ignored
    ::sigaction(signal, &cleanup, nullptr);
  }
}

OutputFile::OutputFile(std::string name) : display_(escapeForMessage(name)) {
  prepareSignals();
  if (name == kStandardOutput) {
    display_ = "standard output";
    fd_ = STDOUT_FILENO;
    noteIdentity(fd_);
    return;
  }
  try {
    struct stat status {};
    if (::stat(name.c_str(), &status) == 0) {
      if (S_ISDIR(status.st_mode)) fail(EISDIR);
      if (!S_ISREG(status.st_mode)) {
        openDirect(name.c_str());
        return;
      }
    } else if (errno != ENOENT) {
      fail(errno);
    }
    openBeside(finalTarget(std::move(name), *this));
  } catch (...) {
    release();  // the destructor does not run for a constructor that throws
    throw;
  }
}

void OutputFile::openDirect(const char* path) {
  // No O_TRUNC: devices and FIFOs have nothing to cut, and a file swapped in meanwhile is kept.
  fd_ = ::open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) fail(errno);
  ownFd_ = true;
  if (::isatty(fd_) == 1) {
    throw OutputError("cannot write " + display_ + ": it is a terminal");
  }
  noteIdentity(fd_);
}

void OutputFile::noteIdentity(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) fail(errno);
  device_ = status.st_dev;
  inode_ = status.st_ino;
}

bool OutputFile::sameTarget(const OutputFile& other) const {
  return device_ == other.device_ && inode_ == other.inode_ && base_ == other.base_;
}

void OutputFile::openBeside(const std::string& target) {
  const auto slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : target.substr(0, slash);
  base_ = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base_.empty() || base_ == "." || base_ == "..") fail(EISDIR);

  dirFd_ = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dirFd_ < 0) fail(errno);
  struct stat folder {};
  if (::fstat(dirFd_, &folder) != 0) fail(errno);
  device_ = folder.st_dev;
  inode_ = folder.st_ino;
  struct stat existing {};
  if (::fstatat(dirFd_, base_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    if (::faccessat(dirFd_, base_.c_str(), W_OK, AT_EACCESS) != 0) fail(errno);
    // In a sticky directory only the owner of a file (or of the directory) may replace it; the
    // rename would fail after all the work, so say so now. Root may, through CAP_FOWNER.
    const uid_t user = ::geteuid();
    if ((folder.st_mode & S_ISVTX) && user != 0 && existing.st_uid != user &&
        folder.st_uid != user) {
      fail(EPERM);
    }
  } else if (errno != ENOENT) {
    fail(errno);
  }

  // "<name>.tmp.XXXXXX", with the name shortened (at a character boundary) to fit the
  // directory's limit on name length, so that names up to that limit work.
  long nameMax = ::fpathconf(dirFd_, _PC_NAME_MAX);
  if (nameMax <= 0 || nameMax > 255) nameMax = 255;
  std::size_t keep =
      std::min(base_.size(), static_cast<std::size_t>(nameMax) - kTail.size() - kRandom);
  while (keep > 0 && (static_cast<unsigned char>(base_[keep]) & 0xc0) == 0x80) --keep;
  stem_ = base_.substr(0, keep) + std::string(kTail);

  // An unnamed file in the target's directory, when the file system has them and /proc can name
  // it later: it gets a name only at commit(), so nothing is left behind however the process
  // ends, even by SIGKILL or a crash. Otherwise a named file, removed on failure or by a signal.
  if (::access("/proc/self/fd", X_OK) == 0) {
    fd_ = ::openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      ownFd_ = true;
      unnamed_ = true;
      return;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) fail(errno);
  }
  SignalsBlocked blocked;
  nameTemporary();
  ownFd_ = true;
}

void OutputFile::nameTemporary() {
  for (slot_ = 0; slot_ < static_cast<int>(pending.size()) && pending[slot_].active; ++slot_) {
  }
  if (slot_ == static_cast<int>(pending.size())) {
    slot_ = -1;
    throw OutputError("cannot write " + display_ + ": too many outputs at once");
  }
  PendingSlot& slot = pending[static_cast<std::size_t>(slot_)];
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  for (int attempt = 0;; ++attempt) {
    const std::string name = stem_ + randomSuffix(kRandom);
    int made = 0;
    if (unnamed_) {
      made = ::linkat(AT_FDCWD, self.c_str(), dirFd_, name.c_str(), AT_SYMLINK_FOLLOW);
    } else {
      made = fd_ =
          ::openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
    }
    if (made >= 0) {
      std::memcpy(slot.name, name.c_str(), name.size() + 1);
      break;
    }
    if (errno != EEXIST || attempt == 100) {
      const int error = errno;
      slot_ = -1;
      fail(error);
    }
  }
  slot.dirFd = dirFd_;
  slot.active = 1;
}

OutputFile::~OutputFile() { release(); }

void OutputFile::release() noexcept {
  if (slot_ >= 0) {
    SignalsBlocked blocked;
    PendingSlot& slot = pending[static_cast<std::size_t>(slot_)];
    if (slot.active) ::unlinkat(slot.dirFd, slot.name, 0);
    slot.active = 0;
    slot_ = -1;
  }
  if (ownFd_ && fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (dirFd_ >= 0) ::close(dirFd_);
  dirFd_ = -1;
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
      if (errno == EINTR) continue;
      fail(errno);
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

void OutputFile::commit() {
  if (committed_) return;
  if (slot_ < 0 && !unnamed_) {  // written directly: nothing to put in place
    committed_ = true;
    if (ownFd_) {
      const int closed = ::close(fd_);
      fd_ = -1;
      if (closed != 0 && errno != EINTR) fail(errno);
    }
    return;
  }
  // The replacement takes the old file's permission bits (not set-id ones) and, for root, its
  // owner, read now so that a change made during the work is kept too.
  struct stat existing {};
  if (::fstatat(dirFd_, base_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
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
  if (::fsync(fd_) != 0) fail(errno);
  SignalsBlocked blocked;
  if (unnamed_) nameTemporary();
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0 && errno != EINTR) fail(errno);
  PendingSlot& slot = pending[static_cast<std::size_t>(slot_)];
  if (::renameat(dirFd_, slot.name, dirFd_, base_.c_str()) != 0) fail(errno);
  slot.active = 0;
  slot_ = -1;
  committed_ = true;
}

}  // namespace walkers::render
