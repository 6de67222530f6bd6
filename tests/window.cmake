if(SKARVEL_WITH_QT AND TARGET netio_sim)
  skarvel_add_test(window_test QT SOURCES window_test.cpp LIBS skarvel_core skarvel_desktop netio_sim Qt6::Test)
  skarvel_add_test(startup_test QT SOURCES startup_test.cpp LIBS skarvel_core skarvel_desktop netio_sim Qt6::Test)
endif()
