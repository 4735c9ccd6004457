# Reading and converting a song of a million note events.
sorvanto_bench(song SOURCES ${CMAKE_CURRENT_LIST_DIR}/SongBench.cpp DEPS sorvanto_song)
