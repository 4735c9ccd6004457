# Cross build for 64-bit Windows with Debian's mingw-w64 compilers (the "posix" thread model,
# which std::thread, std::mutex and the other C++20 thread types need). Test programs run
# under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own libraries are linked in, so that a program runs from any folder without
# libstdc++, libgcc or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Test discovery and ctest start the programs through Wine. Debian installs the 64-bit loader
# outside PATH; "wine" is the launcher that picks it.
find_program(SORVANTO_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT SORVANTO_WINE)
  find_program(SORVANTO_WINE NAMES wine64 wine)
endif()
if(SORVANTO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SORVANTO_WINE})
endif()
