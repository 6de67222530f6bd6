# The Windows release, built with the program: version information in skarvel.exe, and from the
# program, the licence and a readme, the installer skarvel-<version>-x64.msi (made by wixl from
# data/windows/skarvel.wxs) and the portable skarvel-<version>-win64.zip. The version is the
# project's, as for the Debian package.
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

# What the installer and the zip hold, gathered in one folder, where wixl looks for its files:
# the program without its debug information, the texts with Windows line ends.
set(SKARVEL_RELEASE_FILES ${release_dir}/files)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${SKARVEL_RELEASE_FILES}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/data/windows/README.txt.in ${SKARVEL_RELEASE_FILES}/README.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/data/icons/skarvel.ico ${SKARVEL_RELEASE_FILES}/skarvel.ico COPYONLY)
add_custom_command(OUTPUT ${SKARVEL_RELEASE_FILES}/skarvel.exe
  COMMAND ${CMAKE_STRIP} -o ${SKARVEL_RELEASE_FILES}/skarvel.exe $<TARGET_FILE:skarvel>
  DEPENDS skarvel
  VERBATIM)

find_program(WIXL wixl REQUIRED)
find_program(ZIP zip REQUIRED)
set(SKARVEL_MSI ${CMAKE_BINARY_DIR}/skarvel-${PROJECT_VERSION}-x64.msi)
set(SKARVEL_ZIP ${CMAKE_BINARY_DIR}/skarvel-${PROJECT_VERSION}-win64.zip)
set(SKARVEL_WXS ${CMAKE_SOURCE_DIR}/data/windows/skarvel.wxs)
set(shipped ${SKARVEL_RELEASE_FILES}/skarvel.exe ${SKARVEL_RELEASE_FILES}/LICENSE.txt
            ${SKARVEL_RELEASE_FILES}/README.txt)
add_custom_command(OUTPUT ${SKARVEL_MSI}
  COMMAND ${WIXL} --arch x64 --define Version=${PROJECT_VERSION} --output ${SKARVEL_MSI} ${SKARVEL_WXS}
  WORKING_DIRECTORY ${SKARVEL_RELEASE_FILES}
  DEPENDS ${SKARVEL_WXS} ${shipped} ${SKARVEL_RELEASE_FILES}/skarvel.ico
  VERBATIM)
# Made anew, so that nothing of an earlier build stays in it; the files at its top level.
add_custom_command(OUTPUT ${SKARVEL_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${SKARVEL_ZIP}
  COMMAND ${ZIP} -q -X -j ${SKARVEL_ZIP} ${shipped}
  DEPENDS ${shipped}
  VERBATIM)
add_custom_target(windows_release ALL DEPENDS ${SKARVEL_MSI} ${SKARVEL_ZIP})
