# The click: its image and RIFF walk without Qt, its playback through a real PulseAudio server.
skarvel_add_test(sound_image_test SOURCES sound_image_test.cpp LIBS skarvel_base)

# The data in the tree comes from the build machine's generator.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME sound_click_data_is_generated
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/sound_click_data.sh $<TARGET_FILE:make_click>
            ${CMAKE_SOURCE_DIR}/src/sound/click_sound_data.cpp)
endif()

if(NOT WIN32)
  # A PulseAudio server of a test's own that records what it plays: each sound test starts one,
  # and the benchmarks reuse it.
  add_library(sound_server STATIC sound_server.cpp)
  target_include_directories(sound_server PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(sound_server PUBLIC skarvel_base Threads::Threads)

  # Hears the click for the Windows build's end-to-end test under Wine (a Linux program, built by
  # the Windows build's own Linux side).
  add_executable(click_counter click_counter.cpp)
  target_link_libraries(click_counter PRIVATE sound_server)
endif()

if(SKARVEL_WITH_QT)
  skarvel_add_test(sound_playback_test QT SOURCES sound_playback_test.cpp LIBS skarvel_core skarvel_desktop sound_server)
endif()

if(SKARVEL_WITH_QT AND TARGET netio_sim)
  skarvel_add_test(sound_window_test QT SOURCES sound_window_test.cpp
                   LIBS skarvel_core skarvel_desktop netio_sim sound_server Qt6::Test)
endif()
