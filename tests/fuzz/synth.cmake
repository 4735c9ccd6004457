# The render path (voices, resampling, mixing, effects) under hostile fonts and events.
sorvanto_fuzzer(synth SOURCES ${CMAKE_CURRENT_LIST_DIR}/SynthFuzz.cpp DEPS sorvanto_effects sorvanto_synth sorvanto_instruments)
