// SIGTERM, SIGINT and SIGHUP turned into a descriptor the loop can sleep on.
#pragma once

#include <cstdint>

#include "host/core/seams.hpp"

namespace walkers {

// While one exists, SIGTERM, SIGINT and SIGHUP no longer end the process: each makes fd()
// readable instead (a self-pipe), so a host can wait on it together with its display connection
// and end the program cleanly. Should the program still be running 50 ms after the first stop
// signal (held up inside Xlib by an X server that stopped answering), it ends there with status
// 0. A SIGHUP ignored at start (nohup) stays ignored. Only one may exist at a time; destruction
// restores the old handlers.
class StopSignals : public StopRequest {
 public:
  StopSignals();
  ~StopSignals() override;
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  int fd() const { return read_; }
  std::intptr_t waitable() const override { return read_; }
  // Whether a stop signal has arrived; once it has, this stays true.
  bool requested() const override;

 private:
  int read_ = -1;
};

}  // namespace walkers
