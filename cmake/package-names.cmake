# Read by cpack for each generator: the installer is told from the zip by its
# name, tamarin-time-VERSION-win64-setup.exe.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
