# Key-to-sound latency of the live output (a plain program: it plays in real time).
add_executable(bench_live_latency ${CMAKE_CURRENT_LIST_DIR}/LiveLatency.cpp)
target_link_libraries(bench_live_latency PRIVATE sorvanto_app sorvanto_warnings)
set_target_properties(bench_live_latency PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)
