sorvanto_bench(synth SOURCES ${CMAKE_CURRENT_LIST_DIR}/SynthBench.cpp DEPS sorvanto_synth sorvanto_test_support)
