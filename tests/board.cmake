skarvel_add_test(settings_test SOURCES settings_test.cpp LIBS skarvel_base)
skarvel_add_test(reference_text_test SOURCES reference_text_test.cpp LIBS skarvel_base)
skarvel_add_test(replies_test SOURCES replies_test.cpp LIBS skarvel_base)
if(TARGET netio_sim)
  skarvel_add_test(connection_test SOURCES connection_test.cpp LIBS skarvel_base netio_sim)
endif()
if(WIN32)
  # What keeps a Windows program inside its own network: see the script.
  add_test(NAME connection_isolated_network
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine_isolated_network.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
            ${NETIO_SIM_LINUX_PROGRAM} $<TARGET_FILE:connection_test>)
  set_tests_properties(connection_isolated_network PROPERTIES
    RESOURCE_LOCK wine_prefix TIMEOUT 450 SKIP_RETURN_CODE 77)
endif()
