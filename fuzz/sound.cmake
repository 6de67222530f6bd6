skarvel_add_fuzzer(fuzz_riff fuzz_riff.cpp)
