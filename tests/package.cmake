# The Debian package, unpacked into a temp folder: its files, the validators, lintian, and the
# unpacked program against the unpacked simulator. A cross build's package (arm64) is of its own
# architecture, and its programs run under the build's emulator.
if(TARGET skarvel AND NOT WIN32)
  set(cross_arguments)
  if(CMAKE_CROSSCOMPILING)
    set(cross_arguments ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE} ${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
  add_test(NAME package_deb
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}
            ${SKARVEL_APP_ID} ${PROJECT_VERSION} ${cross_arguments})
  set_tests_properties(package_deb PROPERTIES LABELS package TIMEOUT 180)
endif()
