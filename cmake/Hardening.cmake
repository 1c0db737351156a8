# Hardened executables by default: PIE, stack protector and clash protection, fortified libc
# calls in optimised builds, full RELRO with immediate binding, and a non-executable stack.
option(WALKERS_HARDEN "Build hardened executables" ON)

add_library(walkers_hardening INTERFACE)
if(WALKERS_HARDEN)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  target_compile_options(walkers_hardening INTERFACE
    -fstack-protector-strong -fstack-clash-protection)
  if(NOT WALKERS_SANITIZE)
    # Fortified calls need optimisation, and they get in the sanitizers' way.
    target_compile_options(walkers_hardening INTERFACE
      $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
  endif()
  target_link_options(walkers_hardening INTERFACE
    -Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack)
endif()
