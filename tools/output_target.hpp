// Resolving an output name to the file it will replace: symbolic links followed as open() would
// (but not links planted by others in sticky directories), the directory and name that remain,
// whether the user may replace the file there, and whether the name still leads there later.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace walkers::render {

// A file's identity on its system: two names with the same identity reach one file.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// A path's directory ("." or "/" where it has none of its own) and its last component.
struct PathParts {
  std::string directory;
  std::string name;
};
PathParts splitPath(const std::string& path);

// Where a name leads once the symbolic links of its last component are followed as open() would
// follow them (a dangling link leads to the name it points to).
struct LinkEnd {
  // A name that leads through an entry N of this process's own descriptor directory
  // (/proc/self/fd/N, as /dev/stdout, /dev/stderr, /dev/fd/N, /proc/<its pid>/fd/N and links to
  // them do) reaches open descriptor N itself: the kernel opens what N has open, whatever the
  // entry's link text says (a pipe, a file deleted or moved since, one seen through another
  // mount), so the text is never followed as a name.
  std::optional<int> descriptor;
  std::string path;  // otherwise the last name, which may not exist
};

// Follows `path`. Fails (std::system_error) as open() would: a link that cannot be read, too many
// links, a link planted by another user in a sticky world-writable directory (EACCES), and
// EBADF for an entry of our descriptor directory that is no open descriptor.
LinkEnd followLinks(std::string path);

// A name that an output replaces by renaming a new file over it. Every failure throws
// std::system_error with the errno value that says why.
class ReplacedFile {
 public:
  // Follows the symbolic links of `path`'s last component to the name that will be replaced (a
  // dangling link gives the name it points to, which is then created), opens that name's
  // directory and checks that the name can be replaced (checkReplaceable()). What it found (the
  // directory, and the file under the name or its absence) is kept for unchanged(). A name that
  // leads to a descriptor of ours is none to replace (EBADF): it is written through the
  // descriptor (see LinkEnd).
  explicit ReplacedFile(std::string path);
  ~ReplacedFile();
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  int directory() const { return directory_; }  // an O_PATH descriptor
  const std::string& name() const { return name_; }
  FileIdentity directoryIdentity() const;
  std::optional<FileIdentity> existing() const;  // the file the name holds now, if any
  const std::optional<FileIdentity>& existingAtStart() const { return existingAtStart_; }

  // Fails unless the user may put a new file under the name now: the directory must be writable
  // and neither append-only nor immutable (a file made there could never be renamed or removed);
  // a file already there must be writable, neither append-only nor immutable, and in a sticky
  // directory the user's or the directory owner's (root may replace any).
  void checkReplaceable() const;

  // Whether `path` still leads where it did when this was made: through the same links to the same
  // name in the same directory, which holds the same file, or still none. False once anything
  // else was put there meanwhile (a FIFO, a link, another file, a renamed or new directory).
  bool unchanged() const;

  // Whether the directory was removed since (it has no links left).
  bool directoryRemoved() const;

 private:
  std::string path_;  // as given
  int directory_ = -1;
  std::string name_;
  FileIdentity directoryAtStart_;
  std::optional<FileIdentity> existingAtStart_;
  // The file found under the name, held open (O_PATH) so that its inode number cannot go to a
  // file made there since (a FIFO made right after it was removed would otherwise look the same).
  int existingHeld_ = -1;
};

}  // namespace walkers::render
