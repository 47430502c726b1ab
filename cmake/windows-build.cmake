# On Linux, the Windows program is a second build of this same project with
# the MinGW-w64 toolchain, in build/windows. Its tests join this build's
# ctest run, so one ctest command runs native and Wine tests together.
include(ExternalProject)

set(TAMARIN_WINDOWS_BINARY_DIR ${CMAKE_BINARY_DIR}/windows)
ExternalProject_Add(windows
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${TAMARIN_WINDOWS_BINARY_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DBUILD_TESTING=${BUILD_TESTING}
    -DTAMARIN_GTEST_SOURCE_DIR=${TAMARIN_GTEST_SOURCE_DIR}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
)

if(BUILD_TESTING)
  file(WRITE ${CMAKE_BINARY_DIR}/windows-tests.cmake "subdirs(\"${TAMARIN_WINDOWS_BINARY_DIR}\")\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/windows-tests.cmake)
endif()
