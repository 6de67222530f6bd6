# The program icon. tools/make_icon.cpp draws it; its output is kept in data/icons, where a test
# checks that it is what the generator writes. The window, the install rules and the Windows
# resources all take the icon from those files.
add_executable(make_icon ${CMAKE_SOURCE_DIR}/tools/make_icon.cpp)

if(TARGET skarvel_core AND NOT WIN32)
  file(GLOB icon_pictures CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/data/icons/*.png)
  qt_add_resources(skarvel_core program_icon PREFIX /icons BASE ${CMAKE_SOURCE_DIR}/data/icons
                   FILES ${icon_pictures})
  # The desktop matches the running program to its entry, and so to its icon, by this name.
  target_compile_definitions(skarvel_core PRIVATE SKARVEL_APP_ID="${SKARVEL_APP_ID}")
endif()
