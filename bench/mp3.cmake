# MP3 conversion of the demo song against WAV conversion and the encoder alone, with both
# ways of waiting at the ring.
sorvanto_bench(mp3 SOURCES ${CMAKE_CURRENT_LIST_DIR}/Mp3Bench.cpp DEPS sorvanto_app sorvanto_test_support)
add_dependencies(bench_mp3 gogo)
target_compile_definitions(bench_mp3 PRIVATE SORVANTO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             GOGO_LIBRARY_PATH="$<TARGET_FILE:gogo>")
