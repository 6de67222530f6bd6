# The output: its line store without Qt; the view through the real window.
skarvel_add_test(line_store_test SOURCES line_store_test.cpp LIBS skarvel_base)
if(SKARVEL_WITH_QT AND TARGET netio_sim)
  skarvel_add_test(output_view_test QT SOURCES output_view_test.cpp LIBS skarvel_core netio_sim Qt6::Test)
endif()
# A screen reader's view of the output, over AT-SPI with the real program.
if(SKARVEL_WITH_QT)
  add_test(NAME e2e_screen_reader
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/screen_reader.sh $<TARGET_FILE:skarvel> $<TARGET_FILE:netio-sim>)
  set_tests_properties(e2e_screen_reader PROPERTIES LABELS e2e TIMEOUT 120 RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
endif()
