// Why a window system's Unix socket cannot be reached: missing, something else, or refusing.
#pragma once

#include <string>

namespace walkers {

// Why `path` takes no connection, for a message: the system's words for a name that cannot be
// looked up ("No such file or directory"), "it is a FIFO, not a socket" (and the like) for a
// file of another kind, the system's words for a socket that refuses ("Connection refused");
// empty when a connection is taken now (it is closed again at once).
std::string whySocketRefuses(const std::string& path);

}  // namespace walkers
