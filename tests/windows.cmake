# The Windows program: it needs no DLL beside it, and end to end under Wine it does what the Linux
# build does (see e2e/wine.sh). SKARVEL_LINUX_PROGRAM, the Linux build's skarvel, is pictured
# beside it when given.
if(WIN32 AND TARGET skarvel)
  add_test(NAME windows_program_imports_only_system_dlls
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows_imports.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:skarvel>)

  set(SKARVEL_LINUX_PROGRAM "" CACHE FILEPATH "The Linux build's skarvel, pictured beside the Windows one")
  add_test(NAME e2e_wine
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine.sh $<TARGET_FILE:skarvel> ${NETIO_SIM_LINUX_PROGRAM}
            ${CLICK_COUNTER_LINUX_PROGRAM} ${CMAKE_BINARY_DIR}/wine ${CMAKE_BINARY_DIR}/screenshots
            ${SKARVEL_LINUX_PROGRAM})
  # 77: the machine refuses the network namespace the scenario needs.
  set_tests_properties(e2e_wine PROPERTIES
    LABELS e2e RESOURCE_LOCK wine_prefix TIMEOUT 300 SKIP_RETURN_CODE 77)

  # The front end's own windows tested from inside, and the program's main window pictured, at 96,
  # 144 and 192 dpi on a display under Wine (e2e/wine_desktop.sh).
  add_executable(windows_desktop_test windows_desktop_test.cpp)
  target_link_libraries(windows_desktop_test PRIVATE skarvel_core skarvel_desktop GTest::gtest GTest::gtest_main
                        oleacc oleaut32 uuid)
  target_include_directories(windows_desktop_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  add_test(NAME windows_desktop
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine_desktop.sh $<TARGET_FILE:windows_desktop_test>
            $<TARGET_FILE:skarvel> ${NETIO_SIM_LINUX_PROGRAM} ${CMAKE_BINARY_DIR}/wine ${CMAKE_BINARY_DIR}/screenshots)
  set_tests_properties(windows_desktop PROPERTIES
    LABELS e2e RESOURCE_LOCK wine_prefix TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()
# Where a user would be hurt, end to end under Wine: a board that drops, the command history,
# saving the output (see e2e/wine_more.sh).
if(WIN32 AND TARGET skarvel)
  add_test(NAME e2e_wine_more
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine_more.sh $<TARGET_FILE:skarvel> ${NETIO_SIM_LINUX_PROGRAM}
            ${CMAKE_BINARY_DIR}/wine ${CMAKE_BINARY_DIR}/screenshots)
  set_tests_properties(e2e_wine_more PROPERTIES
    LABELS e2e RESOURCE_LOCK wine_prefix TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

