sorvanto_bench(resampler SOURCES ${CMAKE_CURRENT_LIST_DIR}/ResamplerBench.cpp DEPS sorvanto_synth)
