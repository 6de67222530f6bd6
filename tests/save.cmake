# Saving the output's file beside the chosen one, without a desktop: in every build, under Wine too.
skarvel_add_test(save_file_test SOURCES save_file_test.cpp LIBS skarvel_base)
