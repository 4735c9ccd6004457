# Shared compile settings for every Sorvanto target.
add_library(sorvanto_warnings INTERFACE)
target_compile_options(sorvanto_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(SORVANTO_WERROR)
  target_compile_options(sorvanto_warnings INTERFACE -Werror)
endif()

if(SORVANTO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(SORVANTO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (use the fuzz preset)")
  endif()
  # Libraries get coverage instrumentation; only the fuzz executables link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# sorvanto_library(NAME SOURCES... [DEPS ...]) - one static library per src/ folder.
function(sorvanto_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(sorvanto_${name} STATIC ${ARG_SOURCES})
  target_include_directories(sorvanto_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(sorvanto_${name} PUBLIC ${ARG_DEPS} PRIVATE sorvanto_warnings)
endfunction()
