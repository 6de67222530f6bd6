# The click over the audio output, which Qt Multimedia provides.
target_sources(skarvel_core PRIVATE
  ${CMAKE_SOURCE_DIR}/src/sound/click.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/audio_qt.cpp
)
target_link_libraries(skarvel_core PUBLIC Qt6::Multimedia)
