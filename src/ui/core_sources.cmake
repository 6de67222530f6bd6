target_sources(skarvel_core PRIVATE
  ${CMAKE_SOURCE_DIR}/src/ui/main_window.cpp
  ${CMAKE_SOURCE_DIR}/src/ui/event_loop.cpp
  ${CMAKE_SOURCE_DIR}/src/ui/polling.cpp
  ${CMAKE_SOURCE_DIR}/src/ui/reference.cpp
)
