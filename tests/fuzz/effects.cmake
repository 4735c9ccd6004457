# Effect parameters from arbitrary system-exclusive messages, with the effects running.
sorvanto_fuzzer(effects SOURCES ${CMAKE_CURRENT_LIST_DIR}/EffectsFuzz.cpp DEPS sorvanto_effects)
