# The INI settings files of the platform layer (the encoder location and later the
# desktop program's settings): hostile text must neither crash the reader nor break a
# value written back through it.
sorvanto_fuzzer(settings_ini SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsIniFuzz.cpp DEPS sorvanto_platform)
