# What `cmake --install` puts in place, and the Debian package CPack makes of it.
include(GNUInstallDirs)

set(WALKERS_CONTACT "walkers maintainers <walkers@example.org>")

if(WALKERS_PROGRAM)
  install(TARGETS walkers RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES data/walkers.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/org.example.walkers.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # Screensaver daemons run display programs from libexec/xscreensaver. A relative link there
  # keeps one binary and resolves under any prefix, the package's staging tree included.
  file(RELATIVE_PATH screensaver_link_target ${CMAKE_INSTALL_FULL_LIBEXECDIR}/xscreensaver
       ${CMAKE_INSTALL_FULL_BINDIR}/walkers)
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/xscreensaver)
  file(CREATE_LINK ${screensaver_link_target} ${CMAKE_CURRENT_BINARY_DIR}/xscreensaver/walkers
       SYMBOLIC)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/xscreensaver/walkers
          DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
  install(FILES data/walkers.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)

  # MATE's and Xfce's entry names the program by its full path, so it is written at install
  # time, when the prefix is known (cmake --install --prefix, or /usr inside the package).
  # Its folder is made now, so a later install as another user than a first `sudo` one can still
  # replace the file.
  set(screensaver_entry ${CMAKE_CURRENT_BINARY_DIR}/screensavers/walkers.desktop)
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/screensavers)
  install(CODE "
    set(libexecdir \"${CMAKE_INSTALL_LIBEXECDIR}\")
    if(NOT IS_ABSOLUTE \"\${libexecdir}\")
      set(libexecdir \"\${CMAKE_INSTALL_PREFIX}/\${libexecdir}\")
    endif()
    set(WALKERS_SCREENSAVER_PATH \"\${libexecdir}/xscreensaver/walkers\")
    configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/data/walkers-screensaver.desktop.in\"
                   \"${screensaver_entry}\" @ONLY)")
  install(FILES ${screensaver_entry} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications/screensavers)

  # xsecurelock runs the saver module named by XSECURELOCK_SAVER from libexec/xsecurelock. The
  # module names walkers by its full path, so it too is written at install time.
  set(locker_saver ${CMAKE_CURRENT_BINARY_DIR}/xsecurelock/saver_walkers)
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/xsecurelock)
  install(CODE "
    set(bindir \"${CMAKE_INSTALL_BINDIR}\")
    if(NOT IS_ABSOLUTE \"\${bindir}\")
      set(bindir \"\${CMAKE_INSTALL_PREFIX}/\${bindir}\")
    endif()
    set(WALKERS_PROGRAM_PATH \"\${bindir}/walkers\")
    configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/data/saver_walkers.in\" \"${locker_saver}\"
                   @ONLY)")
  install(PROGRAMS ${locker_saver} DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xsecurelock)
endif()

if(WALKERS_TOOLS)
  install(TARGETS walkers-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The icon is a real pattern, grown by walkers-render at each size from the same seed: the one
  # built here, or, when cross-compiling (a program built here cannot run), one built for this
  # machine and named by WALKERS_ICON_RENDERER; without it a cross build installs no icons.
  set(WALKERS_ICON_RENDERER "" CACHE FILEPATH
      "walkers-render for the build machine, which draws the icons in a cross build")
  set(renderer ${WALKERS_ICON_RENDERER})
  if(NOT renderer AND NOT CMAKE_CROSSCOMPILING)
    set(renderer walkers-render)
  endif()
  set(icons)
  if(NOT renderer)
    message(STATUS "walkers: no icons (cross build without WALKERS_ICON_RENDERER)")
    set(sizes)
  else()
    set(sizes 16 24 32 48 64 128 256)
  endif()
  foreach(size ${sizes})
    math(EXPR ticks "${size} * 600 / 256")
    set(icon ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/walkers.png)
    add_custom_command(OUTPUT ${icon}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${renderer} --size ${size}x${size} --ticks ${ticks} --seed 11 --output ${icon}
      DEPENDS ${renderer} VERBATIM)
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

# The changelog and the machine-readable copyright file (from LICENSE) that Debian expects.
set(docs ${CMAKE_CURRENT_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${docs}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${docs}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/data/changelog ${docs}/changelog
  COMMAND gzip -9nf ${docs}/changelog
  DEPENDS data/changelog VERBATIM)
add_custom_command(OUTPUT ${docs}/copyright
  COMMAND ${CMAKE_COMMAND} -DLICENSE=${CMAKE_CURRENT_SOURCE_DIR}/LICENSE
          "-DCONTACT=${WALKERS_CONTACT}" -DOUTPUT=${docs}/copyright
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/DebianCopyright.cmake
  DEPENDS LICENSE cmake/DebianCopyright.cmake VERBATIM)
add_custom_target(walkers_docs ALL DEPENDS ${docs}/changelog.gz ${docs}/copyright)
install(FILES ${docs}/changelog.gz ${docs}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME walkers)
set(CPACK_PACKAGE_VENDOR "walkers")
set(CPACK_PACKAGE_CONTACT ${WALKERS_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "graphics toy that grows a coloured line pattern")
# Debian wants description lines of at most 80 columns, counting the space CPack puts first.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Up to 501 walkers move one pixel per millisecond over a black window,"
  "paint each pixel they reach with a random bright colour, turn on black"
  "and branch on painted pixels. Enter starts a fresh pattern, Esc quits."
  "The program also runs as a screensaver or on the desktop background,"
  "and walkers-render grows the same patterns into PNG files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# An X11 display program installed in /usr/bin, libexec/xscreensaver and libexec/xsecurelock,
# as Debian's other screensaver programs are; the games section would ask for /usr/games instead.
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # dependencies computed from the binaries
# Packaging takes the build as it stands: neither cpack nor the install target builds first, so
# the package test, run beside the others, never relinks programs they are running (or picks up
# sources being edited). Build, then package.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
