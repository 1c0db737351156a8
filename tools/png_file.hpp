// Writing a canvas as an 8-bit RGB PNG that appears at its path whole or not at all.
#pragma once

#include <stdexcept>
#include <string>

#include "engine/canvas.hpp"

namespace walkers::render {

// A failure to create, write or rename the output; the message names the path and the reason.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A temporary file beside the target, created up front so that an unwritable path fails before
// a long render. commit() writes the PNG and renames it over the target; if commit() is never
// reached, or fails, or the process is interrupted by SIGINT, SIGTERM or SIGHUP, the temporary
// file is removed and the target is untouched. One at a time per process.
class PendingPng {
 public:
  explicit PendingPng(std::string target);
  ~PendingPng();
  PendingPng(const PendingPng&) = delete;
  PendingPng& operator=(const PendingPng&) = delete;

  void commit(const Canvas& canvas);

 private:
  std::string target_;
  std::string temporary_;
  int fd_ = -1;
};

}  // namespace walkers::render
