# AddressSanitizer and UndefinedBehaviorSanitizer for walkers' own targets (the asan preset): the
# flags ride on walkers_sanitizers, which every target of ours links through walkers_warnings, so
# a project that embeds walkers keeps its own flags.
option(WALKERS_SANITIZE "Build walkers' targets with AddressSanitizer and UndefinedBehaviorSanitizer"
       OFF)

add_library(walkers_sanitizers INTERFACE)
if(WALKERS_SANITIZE)
  target_compile_options(walkers_sanitizers INTERFACE -fsanitize=address,undefined
                         -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(walkers_sanitizers INTERFACE -fsanitize=address,undefined
                      -fno-sanitize-recover=all)
endif()
