// An output of the renderer: opened and checked before the work, written with write(), and put
// in place whole by commit(), without ever harming what the name pointed at before.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/output_target.hpp"
#include "tools/pending_files.hpp"

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

// The descriptor of this process an output name reaches, if any: standard output for "-", and N
// for a name that leads through our own /proc/self/fd/N (/dev/stdout, /dev/stderr, /dev/fd/N,
// /proc/self/fd/N, links to them; see LinkEnd). Nothing for any other name, or one that cannot be
// followed (opening it says why). Call it for every output before opening any, so that no name
// reaches a descriptor the renderer opened itself.
std::optional<int> descriptorReached(const std::string& name);

// Where the bytes go depends on what the name is when the output is opened:
// - "-", or a name that reaches a descriptor of ours: that descriptor, written directly (waiting
//   for it when it does not block), as the shell's redirection left it: `>>` appends, and nothing
//   is renamed over the file it holds. It must be open for writing and, but for "-" (refused on
//   the command line), not a terminal.
// - an existing device, FIFO or other non-regular file: opened and written directly, as `>`
//   would, with no temporary file and no rename (so /dev/null and FIFOs keep working).
// - a regular file or a new name: a temporary file beside it (beside the file a symbolic link
//   finally points to, so the link stays a link) that commit() renames over it; an unnamed one
//   (named by prepare() just before the renames) where the file system allows. The replacement
//   keeps the old file's permission bits, and its owner when running as root. Until commit(),
//   and whenever anything fails, the target is untouched; the temporary file is removed by the
//   destructor or by a signal that ends the process.
// A target the user may not replace (see ReplacedFile::checkReplaceable) fails in the
// constructor, before any long work; one that no longer leads where it did at the start (a FIFO,
// a link or another file put under the name, its directory renamed or replaced) fails in
// prepare(), and nothing is put in its place. Several outputs may be pending at once.
class OutputFile {
 public:
  explicit OutputFile(const std::string& name) : OutputFile(name, descriptorReached(name)) {}
  // With what descriptorReached(name) answered, before other outputs were opened.
  OutputFile(std::string name, std::optional<int> descriptor);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Appends bytes: for streams, call as often as needed; for a file made whole in memory, once.
  void write(const void* data, std::size_t size);

  // The first step of putting the output in place, which may fail: sets the replacement's mode,
  // flushes it to disk, checks again that the name leads to the target found at the start and
  // that it may be replaced, and gives the temporary file its name beside the target; a direct
  // output is closed. No write() may follow.
  void prepare();

  // The second step: renames the temporary file over the target (prepares first if needed).
  void commit();

  // Whether this and `other` end up in one file: the same file or device now, however each was
  // spelt, or the same name in the same directory once links are followed.
  bool sameTarget(const OutputFile& other) const;

  // A failure on this output, "cannot write <name>: <reason>".
  [[noreturn]] void fail(int error) const;

 private:
  void openDescriptor(int descriptor);
  void openDirect(const char* path);
  void checkUnchanged() const;  // fails unless the name still leads to the target
  void openBeside(std::string path);
  void nameTemporary();  // names the temporary file beside the target; with signals blocked
  void keepOldOwnerAndMode();
  void release() noexcept;  // removes the temporary file, if any, and closes what is open
  friend void commitTogether(std::initializer_list<OutputFile*> outputs);

  std::string display_;  // the name for messages
  int fd_ = -1;
  bool ownFd_ = false;                  // false for standard output, which stays open
  std::optional<ReplacedFile> target_;  // when writing through a temporary file
  std::string stem_;                    // the temporary file's name, but for its random ending
  bool unnamed_ = false;                // the temporary file has no name until prepare()
  PendingName temporary_;               // the temporary file's name, once it has one
  std::optional<FileIdentity> file_;    // what is written to, or what the target holds now
  bool prepared_ = false;
  bool committed_ = false;
};

// Puts outputs in place all together or not at all: prepares every one, and only then renames
// them, so that a failure before the renames leaves every target as it was. Only a rename that
// fails after another succeeded (its directory removed in that instant, say) leaves some targets
// replaced; the message then names those too. A signal that would end the process waits until
// the last rename.
void commitTogether(std::initializer_list<OutputFile*> outputs);

}  // namespace walkers::render
