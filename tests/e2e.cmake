# End-to-end scenarios: the real program on its own Xvfb display with openbox, driven through
# xdotool against the board simulator. One at a time, as each runs a whole desktop.
if(SKARVEL_WITH_QT)
  foreach(scenario first_start first_start_typed window board_web polling connect_window screen_reader busy faults
                   slow_board)
    add_test(NAME e2e_${scenario}
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/${scenario}.sh $<TARGET_FILE:skarvel> $<TARGET_FILE:netio-sim>)
    # 77: the scenario needs a network namespace that this machine refuses.
    set_tests_properties(e2e_${scenario} PROPERTIES
      LABELS e2e TIMEOUT 120 RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
  endforeach()
  # The first start spends 20 s waiting for a connect that cannot come, a wait measured loosely
  # enough to share the machine with the tests that run beside it.
  set_tests_properties(e2e_first_start PROPERTIES RUN_SERIAL FALSE)
endif()
# The overview and the running log, and the link lost, the view's pictures left in the build's
# screenshots.
if(SKARVEL_WITH_QT)
  add_test(NAME e2e_lost_link
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/lost_link.sh $<TARGET_FILE:skarvel> $<TARGET_FILE:netio-sim>
            ${CMAKE_BINARY_DIR}/screenshots)
  set_tests_properties(e2e_lost_link PROPERTIES LABELS e2e TIMEOUT 120 RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
  add_test(NAME e2e_overview
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/overview.sh $<TARGET_FILE:skarvel> $<TARGET_FILE:netio-sim>
            ${CMAKE_BINARY_DIR}/screenshots)
  set_tests_properties(e2e_overview PROPERTIES LABELS e2e TIMEOUT 120 RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
endif()
# The README's demo command, run as a newcomer runs it (it builds into the tree's own build/).
if(SKARVEL_WITH_QT)
  add_test(NAME e2e_demo
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/demo.sh $<TARGET_FILE:skarvel> $<TARGET_FILE:netio-sim>
            ${CMAKE_SOURCE_DIR})
  set_tests_properties(e2e_demo PROPERTIES LABELS e2e TIMEOUT 660 RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
endif()
