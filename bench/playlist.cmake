# The playlist of the desktop program: opening a folder of 10,000 songs and searching it.
sorvanto_bench(playlist SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlaylistBench.cpp
               DEPS sorvanto_desktop sorvanto_test_support)
