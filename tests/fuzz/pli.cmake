# Playlist files come from anywhere: their lines must split without reading past the end.
sorvanto_fuzzer(pli SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlaylistFuzz.cpp DEPS sorvanto_app)
