# On Linux with clang, the fuzz targets are a third build, in build/fuzz,
# whose fixed-length runs join this build's ctest run.
include(ExternalProject)

set(TAMARIN_FUZZ_BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz)
ExternalProject_Add(fuzz
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz
  BINARY_DIR ${TAMARIN_FUZZ_BINARY_DIR}
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${TAMARIN_CLANGXX}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
)

file(WRITE ${CMAKE_BINARY_DIR}/fuzz-tests.cmake "subdirs(\"${TAMARIN_FUZZ_BINARY_DIR}\")\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/fuzz-tests.cmake)
