# The simulator's tests; one of them runs the built netio-sim. (Windows builds have no simulator
# of their own.)
if(TARGET netio-sim)
  skarvel_add_test(sim_test SOURCES sim_test.cpp LIBS netio_sim skarvel_base)
  target_compile_definitions(sim_test PRIVATE NETIO_SIM_PATH="$<TARGET_FILE:netio-sim>")
  add_dependencies(sim_test netio-sim)
endif()
