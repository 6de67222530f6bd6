# The icon files in data/icons are what tools/make_icon.cpp draws.
add_test(NAME icon_files_are_generated
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/icon_files.sh $<TARGET_FILE:make_icon> ${CMAKE_SOURCE_DIR}/data/icons)
