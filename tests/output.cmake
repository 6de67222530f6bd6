# The output: its line store without Qt; the view through the real window.
skarvel_add_test(line_store_test SOURCES line_store_test.cpp LIBS skarvel_base)
