# What `cmake --install` puts in place, and the Debian package CPack makes of it.
include(GNUInstallDirs)

if(WALKERS_WINDOW)
  install(TARGETS walkers RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES data/walkers.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

if(WALKERS_TOOLS)
  install(TARGETS walkers-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The icon is a real pattern, grown by walkers-render at each size from the same seed.
  set(icons)
  foreach(size 16 24 32 48 64 128 256)
    math(EXPR ticks "${size} * 600 / 256")
    set(icon ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/walkers.png)
    add_custom_command(OUTPUT ${icon}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}
      COMMAND walkers-render --size ${size}x${size} --ticks ${ticks} --seed 11 --output ${icon}
      DEPENDS walkers-render VERBATIM)
    list(APPEND icons ${icon})
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(walkers_icons ALL DEPENDS ${icons})
endif()

# Manual pages, stamped with the version and compressed as Debian expects.
set(manuals)
foreach(page walkers.6 walkers-render.1)
  configure_file(docs/man/${page} ${CMAKE_CURRENT_BINARY_DIR}/man/${page} @ONLY)
  string(REGEX REPLACE ".*\\." "" section ${page})
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND gzip -9nkf ${CMAKE_CURRENT_BINARY_DIR}/man/${page}
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/man/${page} VERBATIM)
  list(APPEND manuals ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(walkers_manuals ALL DEPENDS ${manuals})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME walkers)
set(CPACK_PACKAGE_VENDOR "walkers")
set(CPACK_PACKAGE_CONTACT "walkers maintainers <walkers@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "walkers grow a coloured line pattern in a window")
set(CPACK_PACKAGE_DESCRIPTION
  "Up to 501 walkers move one pixel per millisecond over a black window, paint each pixel they\n"
  "reach with a random bright colour, turn on black and branch on painted pixels. Enter starts\n"
  "a fresh pattern, Esc quits. walkers-render grows the same patterns into PNG files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # dependencies computed from the binaries
include(CPack)
