# The click: its image and RIFF walk without Qt, its playback through a real PulseAudio server.
skarvel_add_test(sound_image_test SOURCES sound_image_test.cpp LIBS skarvel_base)

# The data in the tree comes from the build machine's generator.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME sound_click_data_is_generated
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/sound_click_data.sh $<TARGET_FILE:make_click>
            ${CMAKE_SOURCE_DIR}/src/sound/click_sound_data.cpp)
endif()

if(SKARVEL_WITH_QT)
  # Each case starts its own sound server; sound_server.cpp is there for other tests to reuse.
  skarvel_add_test(sound_playback_test QT SOURCES sound_playback_test.cpp sound_server.cpp LIBS skarvel_core)
endif()

if(SKARVEL_WITH_QT AND TARGET netio_sim)
  skarvel_add_test(sound_window_test QT SOURCES sound_window_test.cpp sound_server.cpp
                   LIBS skarvel_core netio_sim Qt6::Test)
endif()

# Hears the click for the Windows build's end-to-end test under Wine (a Linux program, built by
# the Windows build's own Linux side).
if(NOT WIN32)
  add_executable(click_counter click_counter.cpp sound_server.cpp)
  target_link_libraries(click_counter PRIVATE skarvel_base Threads::Threads)
  target_include_directories(click_counter PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
endif()
