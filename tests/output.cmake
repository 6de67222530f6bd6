# The output: its line store, its model and the running log without a toolkit; the view through
# the real window.
skarvel_add_test(line_store_test SOURCES line_store_test.cpp LIBS skarvel_base)
skarvel_add_test(output_model_test SOURCES output_model_test.cpp LIBS skarvel_base)
skarvel_add_test(running_log_test SOURCES running_log_test.cpp LIBS skarvel_base)
if(SKARVEL_WITH_QT AND TARGET netio_sim)
  skarvel_add_test(output_view_test QT SOURCES output_view_test.cpp LIBS skarvel_core skarvel_desktop netio_sim Qt6::Test)
endif()
