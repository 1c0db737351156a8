# The warning set every target of ours compiles with (and, through it, the hardening and sanitizer
# flags).
option(WALKERS_WERROR "Treat compiler warnings as errors" OFF)
add_library(walkers_warnings INTERFACE)
target_compile_options(walkers_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion
  # clang's -Wconversion also covers signedness, which GCC's leaves to -Wsign-conversion.
  $<$<CXX_COMPILER_ID:Clang>:-Wno-sign-conversion>)
if(WALKERS_WERROR)
  target_compile_options(walkers_warnings INTERFACE -Werror)
endif()
target_link_libraries(walkers_warnings INTERFACE walkers_hardening walkers_sanitizers)
