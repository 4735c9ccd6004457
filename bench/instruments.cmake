sorvanto_bench(instruments SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstrumentsBench.cpp DEPS sorvanto_instruments)
