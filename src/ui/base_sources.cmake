target_sources(skarvel_base PRIVATE
  ${CMAKE_SOURCE_DIR}/src/ui/reference_text.cpp
  ${CMAKE_SOURCE_DIR}/src/ui/line_store.cpp
)
