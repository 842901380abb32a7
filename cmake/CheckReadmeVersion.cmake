# Fails unless README states VERSION as the current version ("Version X.Y.Z" in its text).
file(READ ${README} text)
string(REGEX MATCH "Version ([0-9]+\\.[0-9]+\\.[0-9]+)" found "${text}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "README.md states version '${CMAKE_MATCH_1}', the build is ${VERSION}")
endif()
message(STATUS "README.md states version ${VERSION}")
