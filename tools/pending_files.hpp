// The renderer's temporary files that exist under a name right now, and the signal handling that
// removes them when a signal ends the process early.
#pragma once

#include <csignal>
#include <string_view>

namespace walkers::render {

// Ignores SIGPIPE and SIGXFSZ, so that writing to a closed pipe or past the file size limit fails
// with an error instead of ending the process, and sets every other catchable signal that would
// end the process, unless it was ignored at start, to remove all pending names first.
// Idempotent; the first output file calls it too.
void prepareSignals();

// Blocks every signal for the life of the object, so that a name is made and registered, or
// renamed away and forgotten, with no signal handled in between.
class SignalsBlocked {
 public:
  SignalsBlocked();
  ~SignalsBlocked();
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t saved_{};
};

// A name in a directory that a signal ending the process removes, and that remove() or the
// destructor removes unless it was forgotten first.
class PendingName {
 public:
  PendingName() = default;
  ~PendingName() { remove(); }
  PendingName(const PendingName&) = delete;
  PendingName& operator=(const PendingName&) = delete;

  // Registers `name` in the directory `directory`; call it with signals blocked, right after
  // making the file. False if too many names are pending already (then nothing is held).
  bool hold(int directory, std::string_view name);
  const char* name() const;  // while held

  // Removes the file by its name, and forgets it.
  void remove() noexcept;
  // Forgets the name without removing anything, once it was renamed into place; call it with
  // signals blocked, together with the rename.
  void forget() noexcept;

 private:
  int slot_ = -1;
};

}  // namespace walkers::render
