rovak_fuzz(dispatch_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/dispatch_fuzz.cpp LIBS common)
