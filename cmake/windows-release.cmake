# The Windows release: version information in skarvel.exe. The version is the project's, as for
# the Debian package.
if(NOT WIN32 OR NOT TARGET skarvel)
  return()
endif()

# The copyright line is the licence's, with the sign Windows shows.
file(STRINGS ${CMAKE_SOURCE_DIR}/LICENSE copyright_lines REGEX "^Copyright ")
list(GET copyright_lines 0 SKARVEL_COPYRIGHT)
string(REPLACE "(c)" "©" SKARVEL_COPYRIGHT "${SKARVEL_COPYRIGHT}")
# Windows numbers a version with four parts.
set(SKARVEL_VERSION_NUMBERS)
foreach(part MAJOR MINOR PATCH TWEAK)
  set(number ${PROJECT_VERSION_${part}})
  if(number STREQUAL "")
    set(number 0)
  endif()
  list(APPEND SKARVEL_VERSION_NUMBERS ${number})
endforeach()
string(REPLACE ";" "," SKARVEL_VERSION_NUMBERS "${SKARVEL_VERSION_NUMBERS}")
set(release_dir ${CMAKE_BINARY_DIR}/release)
configure_file(${CMAKE_SOURCE_DIR}/data/windows/version.rc.in ${release_dir}/version.rc @ONLY)
target_sources(skarvel PRIVATE ${release_dir}/version.rc)
