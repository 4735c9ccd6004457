# Songs come from anywhere: the MIDI reader (plain and RMID) and the title scan must
# survive any bytes without reading out of bounds, looping or growing without bound.
sorvanto_fuzzer(midi SOURCES ${CMAKE_CURRENT_LIST_DIR}/MidiFuzz.cpp DEPS sorvanto_song)
sorvanto_fuzzer(rmid SOURCES ${CMAKE_CURRENT_LIST_DIR}/MidiFuzz.cpp DEPS sorvanto_song)
target_compile_definitions(fuzz_rmid PRIVATE SVT_FUZZ_RMID=1)
