// Why a window system's Unix socket cannot be reached: missing, something else, or refusing.
#pragma once

#include <string>

namespace walkers {

// Why `path` takes no connection, for a message: the system's words for a name that cannot be
// looked up ("No such file or directory"), "it is a FIFO, not a socket" (and the like) for a
// file of another kind, the system's words for a socket that refuses ("Connection refused");
// empty when a connection is taken now (it is closed again at once).
std::string whySocketRefuses(const std::string& path);

// Why the X display `name` (HOST:NUMBER[.SCREEN]) takes no connection, when that can be said:
// `code` (errno from the attempt) when the fault is this process's (out of descriptors or
// memory); for a local display, why its socket in /tmp/.X11-unix refuses ("<path>: <reason>"),
// or that the server did not accept this client; for a remote one, `code`'s words. Empty when
// nothing more can be said.
std::string whyDisplayUnreachable(const std::string& name, int code);

}  // namespace walkers
