# SoundFont reader and instrument construction on arbitrary bytes.
sorvanto_fuzzer(sf2 SOURCES ${CMAKE_CURRENT_LIST_DIR}/sf2.cpp DEPS sorvanto_instruments)
