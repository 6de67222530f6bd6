# The core over the tests' desktop-free window (headless/): the event loop, polling, the reference
# and the start-up run in every build, the sanitized and the Windows one too.
add_library(skarvel_headless STATIC headless/window.cpp headless/audio.cpp)
target_include_directories(skarvel_headless PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(skarvel_headless PUBLIC skarvel_base)
if(TARGET netio_sim)
  skarvel_add_test(core_test SOURCES core_test.cpp LIBS skarvel_core skarvel_headless netio_sim)
  skarvel_add_test(overview_test SOURCES overview_test.cpp LIBS skarvel_core skarvel_headless netio_sim)
endif()
if(TARGET netio_sim AND NOT WIN32)
  # The tests' own stand-in for a real board speaks POSIX sockets.
  skarvel_add_test(stand_in_test SOURCES stand_in_test.cpp LIBS skarvel_core skarvel_headless netio_sim)
endif()
