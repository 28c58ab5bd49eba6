# The Windows installation: everything in one folder, as Windows programs are laid out. Included
# from the top-level CMakeLists.txt when building for Windows.

install(TARGETS tavrin tavrin-console RUNTIME DESTINATION .)
foreach(library Qt6Core Qt6Gui Qt6Widgets Qt6SerialPort libstdc++-6 libgcc_s_seh-1 libwinpthread-1)
    install(FILES ${QT6_INSTALL_PREFIX}/bin/${library}.dll DESTINATION .)
endforeach()
# The line database's client and the TLS it connects with.
if(TAVRIN_HAS_LINE)
    foreach(library libpq libssl-3-x64 libcrypto-3-x64)
        install(FILES ${TAVRIN_LIBPQ_PREFIX}/bin/${library}.dll DESTINATION .)
    endforeach()
    install(FILES ${TAVRIN_LIBPQ_PREFIX}/licenses/PostgreSQL-COPYRIGHT.txt
        ${TAVRIN_LIBPQ_PREFIX}/licenses/OpenSSL-LICENSE.txt DESTINATION licenses)
endif()
install(FILES ${QT6_INSTALL_PREFIX}/plugins/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${QT6_INSTALL_PREFIX}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles)

# Qt is used under the LGPL version 3, which builds on the GPL version 3; the MinGW runtime's
# terms are in its copyright file.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/THIRD-PARTY.txt README.md DESTINATION .)
install(FILES /usr/share/common-licenses/LGPL-3 DESTINATION licenses RENAME LGPL-3.txt)
install(FILES /usr/share/common-licenses/GPL-3 DESTINATION licenses RENAME GPL-3.txt)
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licenses
    RENAME mingw-w64-runtime.txt)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses
    RENAME gcc-runtime.txt)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME Tavrin)
set(CPACK_PACKAGE_VENDOR "The Tavrin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read, save, write and verify a device's data EEPROM")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tavrin)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tavrin)
set(CPACK_PACKAGE_EXECUTABLES tavrin Tavrin)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_LIST_DIR}/THIRD-PARTY.txt)
set(CPACK_PACKAGE_FILE_NAME tavrin-${PROJECT_VERSION}-win64-setup)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME tavrin.exe)
set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/app/icons/tavrin.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/app/icons/tavrin.ico)
set(CPACK_NSIS_DISPLAY_NAME Tavrin)
set(CPACK_NSIS_PACKAGE_NAME Tavrin)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer for a 64-bit program: it installs into the 64-bit Program Files and its
# registry entries land where 64-bit Windows looks for them.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# The uninstaller removes the installation's key, and the vendor's key too once it is empty.
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
    "DeleteRegKey SHCTX 'Software\\\\${CPACK_PACKAGE_VENDOR}\\\\${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}'
  DeleteRegKey /ifempty SHCTX 'Software\\\\${CPACK_PACKAGE_VENDOR}'")
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_STRIP_FILES ON)
# The .zip is named for what it is, not for the installer.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackPerGenerator.cmake)
include(CPack)
