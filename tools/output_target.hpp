// Resolving an output name to the file it will replace: symbolic links followed as open() would
// (but not links planted by others in sticky directories), the directory and name that remain,
// and whether the user may replace the file there.
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

// A name that an output replaces by renaming a new file over it. Every failure throws
// std::system_error with the errno value that says why.
class ReplacedFile {
 public:
  // Follows the symbolic links of `path`'s last component to the name that will be replaced (a
  // dangling link gives the name it points to, which is then created), opens that name's
  // directory and checks that the name can be replaced (checkReplaceable()).
  explicit ReplacedFile(std::string path);
  ~ReplacedFile();
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  int directory() const { return directory_; }  // an O_PATH descriptor
  const std::string& name() const { return name_; }
  FileIdentity directoryIdentity() const;
  std::optional<FileIdentity> existing() const;  // the file the name holds now, if any

  // Fails unless the user may put a new file under the name now: the directory must be writable
  // and neither append-only nor immutable (a file made there could never be renamed or removed);
  // a file already there must be writable, neither append-only nor immutable, and in a sticky
  // directory the user's or the directory owner's (root may replace any).
  void checkReplaceable() const;

 private:
  int directory_ = -1;
  std::string name_;
};

}  // namespace walkers::render
