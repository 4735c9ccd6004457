sorvanto_bench(effects SOURCES ${CMAKE_CURRENT_LIST_DIR}/EffectsBench.cpp DEPS sorvanto_effects)
