# The decoded form of a compressed font, for bench/compressed.sh.
add_executable(bench_sf3_to_sf2 ${CMAKE_CURRENT_LIST_DIR}/Sf3ToSf2.cpp)
target_link_libraries(bench_sf3_to_sf2 PRIVATE sorvanto_instruments sorvanto_warnings)
set_target_properties(bench_sf3_to_sf2 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)
