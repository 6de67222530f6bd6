# The click over the audio output: the PulseAudio client library, or DirectSound on Windows.
if(WIN32)
  target_sources(skarvel_core PRIVATE
    ${CMAKE_SOURCE_DIR}/src/sound/click.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/audio_win32.cpp
  )
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBPULSE REQUIRED IMPORTED_TARGET libpulse)
  target_sources(skarvel_core PRIVATE
    ${CMAKE_SOURCE_DIR}/src/sound/click.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/audio_pulse.cpp
  )
  target_link_libraries(skarvel_core PUBLIC PkgConfig::LIBPULSE)
endif()
