# The click image and its RIFF reader need no Qt, so the sanitizer and fuzz builds get them too.
target_sources(skarvel_base PRIVATE
  ${CMAKE_SOURCE_DIR}/src/sound/riff.cpp
  ${CMAKE_SOURCE_DIR}/src/sound/click_sound_data.cpp
)

# Writes src/sound/click_sound_data.cpp: make_click ${CMAKE_SOURCE_DIR}/src/sound/click_sound_data.cpp [click.wav]
add_executable(make_click ${CMAKE_SOURCE_DIR}/tools/make_click.cpp)
