# The arm64 build (cmake/aarch64-linux-gnu.cmake) runs its tests under qemu-user, within the
# suite's time: every GoogleTest program without a desktop (the core over the headless window, the
# board, the simulator), the simulator's web page and the package. qemu runs the program ctest
# hands it, but a program that program starts by its path does not run (no binfmt handler for
# arm64 here). So, in this build only, the rest is left unbuilt or shown as not run:
#   - the Qt front end's test programs: not built, for time (their code is the build machine's,
#     where they run);
#   - every other test ctest runs directly, but the package's: the end-to-end scenarios start the
#     program by its path, the fit runs use a Qt test program; the simulator's web page runs
#     again below, through the emulated simulator;
#   - the cases that start the simulator, or their own program again, by its path: SimProgram.*
#     (sim_test) and IsolatedNetwork.* (connection_test).
if(NOT CMAKE_CROSSCOMPILING OR WIN32)
  return()
endif()

if(TARGET netio-sim)
  add_test(NAME sim_web_page_emulated COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/sim_web.sh ${SKARVEL_NETIO_SIM_COMMAND})
  set_tests_properties(sim_web_page_emulated PROPERTIES TIMEOUT 60)
endif()

# Run once every test list of this folder is read.
function(skarvel_arm64_test_set)
  get_property(targets DIRECTORY PROPERTY BUILDSYSTEM_TARGETS)
  set(unbuilt_programs)
  foreach(target IN LISTS targets)
    get_target_property(libraries ${target} LINK_LIBRARIES)
    if(NOT libraries)
      set(libraries "")
    endif()
    if("GTest::gtest" IN_LIST libraries AND NOT "skarvel_desktop" IN_LIST libraries)
      continue()
    endif()
    # What a built program needs is still built for it.
    set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL ON)
    if("GTest::gtest" IN_LIST libraries)
      list(APPEND unbuilt_programs ${target})
    endif()
  endforeach()

  get_property(direct_tests DIRECTORY PROPERTY TESTS)
  list(REMOVE_ITEM direct_tests package_deb sim_web_page_emulated)
  if(direct_tests)
    set_tests_properties(${direct_tests} PROPERTIES DISABLED TRUE)
  endif()

  # GoogleTest's cases are known only once ctest reads their lists; this file is read after them.
  # An unbuilt program stands there as PROGRAM_NOT_BUILT, a built one lists its cases in PROGRAM_TESTS.
  set(late ${CMAKE_CURRENT_BINARY_DIR}/arm64_not_run.cmake)
  file(WRITE ${late} "# Written by tests/arm64.cmake: what the arm64 build does not run under emulation.\n")
  foreach(program IN LISTS unbuilt_programs)
    file(APPEND ${late} "if(NOT DEFINED ${program}_TESTS)\n"
                        "  set_tests_properties(${program}_NOT_BUILT PROPERTIES DISABLED TRUE)\n"
                        "endif()\n")
  endforeach()
  file(APPEND ${late} [[
foreach(case IN LISTS sim_test_TESTS connection_test_TESTS)
  if(case MATCHES "^(SimProgram|IsolatedNetwork)\\.")
    set_tests_properties(${case} PROPERTIES DISABLED TRUE)
  endif()
endforeach()
]])
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${late})
endfunction()
cmake_language(DEFER CALL skarvel_arm64_test_set)
