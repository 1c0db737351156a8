# Hardened executables by default: PIE, stack protector and clash protection, fortified libc
# calls in optimised builds, full RELRO with immediate binding, and a non-executable stack; each
# flag only where the toolchain takes it (checked, so that a mingw-w64 or Emscripten build goes on
# without the ones it lacks).
option(WALKERS_HARDEN "Build hardened executables" ON)

add_library(walkers_hardening INTERFACE)
if(WALKERS_HARDEN)
  include(CheckPIESupported)
  include(CheckCXXCompilerFlag)
  include(CheckLinkerFlag)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  foreach(flag -fstack-protector-strong -fstack-clash-protection)
    string(MAKE_C_IDENTIFIER "walkers_cxx${flag}" result)
    check_cxx_compiler_flag(${flag} ${result})
    if(${result})
      target_compile_options(walkers_hardening INTERFACE ${flag})
    endif()
  endforeach()
  if(NOT WALKERS_SANITIZE)
    # Fortified calls need optimisation, and they get in the sanitizers' way.
    target_compile_options(walkers_hardening INTERFACE
      $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
  endif()
  # ELF linkers only: others (mingw-w64's PE linker) warn about and drop -z options.
  if(CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
    foreach(flag -Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack)
      string(MAKE_C_IDENTIFIER "walkers_link${flag}" result)
      check_linker_flag(CXX ${flag} ${result})
      if(${result})
        target_link_options(walkers_hardening INTERFACE ${flag})
      endif()
    endforeach()
  endif()
endif()
