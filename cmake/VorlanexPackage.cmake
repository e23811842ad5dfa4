# Installation links and the Debian package (scripts/package).

# Links to the programs in the binary folder, so both are on the PATH while they
# stay beside the engine.
if(NOT WIN32)
  set(_programs vorlanex-cli)
  if(VORLANEX_BUILD_APP)
    list(APPEND _programs vorlanex)
  endif()
  file(RELATIVE_PATH _to_programs "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${VORLANEX_PROGRAM_DIR}")
  install(CODE "
    set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${_bin}\")
    foreach(_program ${_programs})
      message(STATUS \"Installing link: \${_bin}/\${_program}\")
      file(CREATE_LINK \"${_to_programs}/\${_program}\" \"\${_bin}/\${_program}\" SYMBOLIC)
    endforeach()")
endif()

set(CPACK_PACKAGE_NAME vorlanex)
set(CPACK_PACKAGE_VENDOR "Vorlanex")
set(CPACK_PACKAGE_CONTACT "Vorlanex <${VORLANEX_SUPPORT_MAIL}>")
if(NOT VORLANEX_SUPPORT_MAIL)
  set(CPACK_PACKAGE_CONTACT "Vorlanex <support@vorlanex.example>")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Reads the ZIP archives of the state cadastral registry (plans of territory and
land plot extracts), recognises each document and files the archive under the
folder its rule names. A desktop window (vorlanex) and a command-line sorter
(vorlanex-cli).")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so the library scan cannot see them: Qt's platform plugins
# and a font with Cyrillic letters for the window.
if(VORLANEX_BUILD_APP)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation | fonts-dejavu-core")
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
