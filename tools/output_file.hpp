// An output of the renderer: opened and checked before the work, written with write(), and put
// in place whole by commit(), without ever harming what the name pointed at before.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace walkers::render {

// A failure to open, write or put an output in place; the message names the path and the reason.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The name "-": standard output.
inline constexpr std::string_view kStandardOutput = "-";

// Command-line check of an output name, before anything is opened: a reason (naming the option)
// if the name can never be written, such as "" or "-" while standard output is a terminal.
std::optional<std::string> checkOutputName(std::string_view option, std::string_view name);

// Ignores SIGPIPE and SIGXFSZ, so that writing to a closed pipe or past the file size limit fails
// with an error instead of ending the process, and sets every other catchable signal that would
// end the process, unless it was ignored at start, to remove all pending temporary files first.
// Idempotent; the first OutputFile calls it too.
void prepareSignals();

// Where the bytes go depends on what the name is when the output is opened:
// - "-": standard output, written directly.
// - an existing device, FIFO or other non-regular file: opened and written directly, as `>`
//   would, with no temporary file and no rename (so /dev/null and FIFOs keep working).
// - a regular file or a new name: a temporary file beside it (beside the file a symbolic link
//   finally points to, so the link stays a link) that commit() renames over it; an unnamed one
//   (named by commit() just before the rename) where the file system allows. The replacement
//   keeps the old file's permission bits, and its owner when running as root. Until commit(),
//   and whenever anything fails, the target is untouched; the temporary file is removed by the
//   destructor or by a signal that ends the process.
// A target the user may not write, or whose directory they may not write in, fails in the
// constructor, before any long work. Several outputs may be pending at once.
class OutputFile {
 public:
  explicit OutputFile(std::string name);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Appends bytes: for streams, call as often as needed; for a file made whole in memory, once.
  void write(const void* data, std::size_t size);

  // Makes everything written final: flushes to disk and renames into place, or closes the
  // device. No write() may follow.
  void commit();

  // Whether this and `other` end up in the same file: the same device or FIFO, or the same name in
  // the same directory once links are followed, however each was spelt.
  bool sameTarget(const OutputFile& other) const;

  // The name for messages: the path as given (control characters escaped) or "standard output".
  const std::string& displayName() const { return display_; }

  // A failure on this output, "cannot write <name>: <reason>".
  [[noreturn]] void fail(int error) const;

 private:
  void openDirect(const char* path);
  void noteIdentity(int fd);
  void nameTemporary();  // names the temporary file beside the target; with signals blocked
  void openBeside(const std::string& target);
  void release() noexcept;  // removes the temporary file, if any, and closes what is open

  std::string display_;
  int fd_ = -1;
  bool ownFd_ = false;    // false for standard output, which stays open
  int dirFd_ = -1;        // the target's directory, when writing through a temporary file
  std::string base_;      // the target's name within that directory
  std::string stem_;      // the temporary file's name, but for its random ending
  bool unnamed_ = false;  // the temporary file has no name until commit()
  int slot_ = -1;         // the pending-file slot the signal handler sees
  dev_t device_ = 0;      // what is written to (or the target's directory), for sameTarget()
  ino_t inode_ = 0;
  bool committed_ = false;
};

}  // namespace walkers::render
