# The Windows build's libraries that Debian does not package for mingw-w64 (the codecs: LAME,
# libogg, libvorbis, libFLAC, libopus, libopusenc) come from Debian's source packages, built by
# scripts/windows-deps.sh into a folder kept beside the build folders, so that removing
# build/windows does not rebuild them. The script runs here when that folder holds no finished
# build; ./test.sh --windows runs it on every run, which rebuilds the libraries when Debian's
# versions or the script have changed.
set(SORVANTO_WINDOWS_DEPS ${PROJECT_SOURCE_DIR}/build/windows-deps
    CACHE PATH "Static libraries for the Windows build, made by scripts/windows-deps.sh")
if(NOT EXISTS ${SORVANTO_WINDOWS_DEPS}/stamp)
  message(STATUS "Building the codec libraries from Debian's source packages")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows-deps.sh ${SORVANTO_WINDOWS_DEPS}
                  RESULT_VARIABLE deps_result)
  if(NOT deps_result EQUAL 0)
    message(FATAL_ERROR "scripts/windows-deps.sh failed: the Windows build lacks its libraries")
  endif()
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${SORVANTO_WINDOWS_DEPS}/prefix)
# A rebuild of the libraries configures again, so that every program links the new ones.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SORVANTO_WINDOWS_DEPS}/stamp)
