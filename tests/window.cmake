if(SKARVEL_WITH_QT AND TARGET netio_sim)
  skarvel_add_test(window_test QT SOURCES window_test.cpp LIBS skarvel_core netio_sim Qt6::Test)
endif()
