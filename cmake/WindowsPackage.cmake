# What the Windows build installs, and the ZIP and the NSIS installer CPack makes of it.
install(TARGETS walkers walkers_saver RUNTIME DESTINATION .)
install(FILES README.md DESTINATION .)
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_PACKAGE_NAME walkers)
set(CPACK_PACKAGE_VENDOR walkers)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME walkers-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY walkers)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_ZIP_COMPONENT_INSTALL OFF)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

# A 64-bit installer: NSIS makes a 32-bit one unless told, and 64-bit Program Files and System32
# are what a 64-bit installer sees as they are. cmake/WindowsInstaller.nsh adds the steps of its
# own (every file replaced or removed, or nothing touched and status 2; the screen saver in the
# system folder, where Screen Saver Settings lists screen savers), run through the hooks below.
set(CPACK_NSIS_DEFINES
    "Target amd64-unicode\n!include '${PROJECT_SOURCE_DIR}/cmake/WindowsInstaller.nsh'")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME walkers)
set(CPACK_NSIS_PACKAGE_NAME walkers)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/host/win32/walkers.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/host/win32/walkers.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME walkers.exe)
# The Start menu: the window, and the screen saver's settings (and CPack's Uninstall). The
# settings link says /c: the shell starts a .scr given nothing with /S, which would run the
# screen saver instead.
set(CPACK_NSIS_MENU_LINKS walkers.exe walkers)
set(CPACK_NSIS_CREATE_ICONS_EXTRA
    "CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\walkers screen saver settings.lnk' '$INSTDIR\\walkers.scr' '/c'")
set(CPACK_NSIS_DELETE_ICONS_EXTRA
    "Delete '$SMPROGRAMS\\$MUI_TEMP\\walkers screen saver settings.lnk'")
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!insertmacro WalkersBeforeInstall")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro WalkersAfterInstall")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!insertmacro WalkersBeforeUninstall")
include(CPack)
