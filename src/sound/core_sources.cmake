# The click over the audio output: Qt Multimedia, or DirectSound on Windows.
if(WIN32)
  target_sources(skarvel_core PRIVATE
    ${CMAKE_SOURCE_DIR}/src/sound/click.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/audio_win32.cpp
  )
else()
  target_sources(skarvel_core PRIVATE
    ${CMAKE_SOURCE_DIR}/src/sound/click.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/audio_qt.cpp
  )
  target_link_libraries(skarvel_core PUBLIC Qt6::Multimedia)
endif()
