# The program icon. tools/make_icon.cpp draws it; its output is kept in data/icons, where a test
# checks that it is what the generator writes. The Qt window, the install rules and the Windows
# resources all take the icon from those files.
add_executable(make_icon ${CMAKE_SOURCE_DIR}/tools/make_icon.cpp)
