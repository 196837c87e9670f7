# SAT reader: whole files and single bodies, then measuring, meshing and deleting what was read.
if(TARGET kernel)
  rovak_fuzz(sat_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/sat_fuzz.cpp LIBS kernel)
endif()
