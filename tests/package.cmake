# The Debian package, unpacked into a temp folder: its files, the validators, lintian, and the
# unpacked program against the unpacked simulator.
if(TARGET skarvel AND NOT WIN32)
  add_test(NAME package_deb
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}
            ${SKARVEL_APP_ID} ${PROJECT_VERSION})
  set_tests_properties(package_deb PROPERTIES LABELS package TIMEOUT 180)
endif()
