# The Windows release (cmake/windows-release.cmake): the installer, the zip and the program's version
# information as files, then the installer and the zip used under Wine as a user would.
if(WIN32 AND TARGET windows_release)
  add_test(NAME windows_release_files
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows_release_files.sh ${PROJECT_VERSION} ${SKARVEL_MSI}
            ${SKARVEL_ZIP} ${SKARVEL_WXS} ${SKARVEL_RELEASE_FILES} ${CMAKE_SOURCE_DIR}/LICENSE)

  add_test(NAME e2e_wine_release
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine_release.sh ${SKARVEL_MSI} ${SKARVEL_ZIP}
            ${SKARVEL_RELEASE_FILES} ${SKARVEL_WXS} ${NETIO_SIM_LINUX_PROGRAM} ${CMAKE_BINARY_DIR}/wine)
  # It copies the build's prefix, which must not change meanwhile. 77: no network namespace here.
  set_tests_properties(e2e_wine_release PROPERTIES
    LABELS e2e RESOURCE_LOCK wine_prefix TIMEOUT 240 SKIP_RETURN_CODE 77)
endif()
