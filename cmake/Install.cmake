# cmake --install: programs, libraries with their headers, the Kavrel object and the Java jar.
include(GNUInstallDirs)

foreach(program Pellam Arvend Bolmar rovak-sim rovak-dispatch)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

foreach(library common client client_rest vx9200 gxcode kernel cgi trelvo)
  if(TARGET ${library})
    install(TARGETS ${library} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
                               LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  endif()
endforeach()

if(TARGET Kavrel)
  install(FILES ${PROJECT_BINARY_DIR}/client/Kavrel.o DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

set(_hdr ${CMAKE_INSTALL_INCLUDEDIR}/rovak)
install(DIRECTORY include/ DESTINATION ${_hdr} FILES_MATCHING PATTERN "*.h")
install(FILES bindings/vx9200/coord.h bindings/vx9200/vx9200.h bindings/gxcode/gxthread.h
        DESTINATION ${_hdr} OPTIONAL)
if(TARGET cgi)
  install(DIRECTORY cgi/ DESTINATION ${_hdr}/cgi FILES_MATCHING PATTERN "*.h")
  install(DIRECTORY bindings/kernel/ DESTINATION ${_hdr}/kernel FILES_MATCHING PATTERN "kernel*.h")
endif()
if(TARGET trelvo_jar)
  install_jar(trelvo_jar DESTINATION ${CMAKE_INSTALL_DATADIR}/java)
endif()
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
