# The release packages, made by cpack in a Release build for Windows (see
# scripts/release.sh): a portable zip and an installer, named with the
# version of project().
install(TARGETS tamarin-time tamarinc RUNTIME DESTINATION .)

# Texts for Windows users are UTF-8 with a byte order mark and CRLF line
# ends: Notepad before Windows 10 1903 reads a file without the mark in the
# ANSI code page, and shows LF alone as one long line.
string(ASCII 239 187 191 TAMARIN_BOM)
function(tamarin_windows_text source name)
  file(READ ${source} text)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/package/${name} CONTENT "${TAMARIN_BOM}${text}"
       @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/package/${name} DESTINATION .)
endfunction()
tamarin_windows_text(${CMAKE_SOURCE_DIR}/README.md README.txt)
tamarin_windows_text(${CMAKE_SOURCE_DIR}/resources/README-ja.txt.in README-ja.txt)

set(CPACK_PACKAGE_NAME tamarin-time)
set(CPACK_PACKAGE_VENDOR "Halden Works")
set(CPACK_PACKAGE_FILE_NAME tamarin-time-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR ZIP NSIS)
# The installer's own script: Japanese, the logon task, and an uninstaller
# that keeps the settings unless asked.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake)
# The installer's name ends in -setup.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/package-names.cmake)
include(CPack)
