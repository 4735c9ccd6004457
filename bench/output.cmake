# The audio queue's conversion to 16 bits, and a silent song rendered into a WAV file.
sorvanto_bench(output SOURCES ${CMAKE_CURRENT_LIST_DIR}/OutputBench.cpp DEPS sorvanto_app sorvanto_test_support)
