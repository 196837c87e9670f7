# Form parser: the three body parsers, URL decoding and a whole POST request.
rovak_fuzz(cgi_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/cgi_fuzz.cpp LIBS cgi)
