# System-exclusive messages of any length and content.
sorvanto_fuzzer(sysex SOURCES ${CMAKE_CURRENT_LIST_DIR}/SysexFuzz.cpp DEPS sorvanto_song)
