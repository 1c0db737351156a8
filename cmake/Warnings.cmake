# The warning set every target of ours compiles with.
add_library(walkers_warnings INTERFACE)
target_compile_options(walkers_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion)
if(WALKERS_WERROR)
  target_compile_options(walkers_warnings INTERFACE -Werror)
endif()
