// Runs a renderer test once with each kind of temporary file: unnamed until the renames (where the
// file system has them, as on the test machine) and named from the start (the other path, which
// the test-only WALKERS_RENDER_NAMED_TEMPORARIES forces), so that both must clean up.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

namespace walkers::test {

template <class Body>
void forEachTemporaryKind(Body body) {
  for (const bool named : {false, true}) {
    if (named) {
      ::setenv("WALKERS_RENDER_NAMED_TEMPORARIES", "1", 1);
    } else {
      ::unsetenv("WALKERS_RENDER_NAMED_TEMPORARIES");
    }
    SCOPED_TRACE(named ? "named temporary files" : "unnamed temporary files");
    body(named);
  }
  ::unsetenv("WALKERS_RENDER_NAMED_TEMPORARIES");
}

}  // namespace walkers::test
