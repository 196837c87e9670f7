rovak_fuzz(kavrel_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/kavrel_fuzz.cpp LIBS client)
