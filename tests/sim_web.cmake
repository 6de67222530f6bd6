# The simulator's web page, through curl beside the command port.
if(TARGET netio-sim)
  add_test(NAME sim_web_page COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/sim_web.sh $<TARGET_FILE:netio-sim>)
  set_tests_properties(sim_web_page PROPERTIES TIMEOUT 60)
endif()
