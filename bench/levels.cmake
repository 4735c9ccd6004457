# Levels of real renders: peak, RMS, clipping and how much the limiter works (a plain program).
add_executable(bench_levels ${CMAKE_CURRENT_LIST_DIR}/LevelReport.cpp)
target_link_libraries(bench_levels PRIVATE sorvanto_app sorvanto_test_support sorvanto_warnings)
target_include_directories(bench_levels PRIVATE ${PROJECT_SOURCE_DIR}/tests)
set_target_properties(bench_levels PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)
