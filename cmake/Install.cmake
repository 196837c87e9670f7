# cmake --install: programs with their manual pages, the libraries with their public headers, the
# Kavrel object, the Java jar, the web site with its serve command, the CMake package and the
# pkg-config files, the documentation and the examples.
#
# Layout under the prefix (one layout for every install, a Debian package included):
#   bin/                      programs and rovak-serve
#   include/rovak/            public headers, side by side (they include each other by bare name)
#   lib/rovak/                static libraries, Kavrel.o, libcgi.so, libtrelvo.so (private
#                             names such as libcommon.a stay out of the shared library folder)
#   lib/cmake/Rovak/          find_package(Rovak CONFIG)
#   lib/pkgconfig/            rovak-client, rovak-vx9200, rovak-trelvo, rovak-kernel, rovak-cgi
#   share/java/trelvo.jar     the navigation library's Java class and front end
#   share/rovak/site/         the web site's pages, viewer and lighttpd configuration template
#   share/man/man1/           manual pages
#   share/doc/rovak/          README, docs and examples
#
# Components (the Debian packages are cut along them): programs, runtime, dev, java, site, doc.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ROVAK_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR}/rovak)
set(ROVAK_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/rovak)
set(ROVAK_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Rovak)
set(ROVAK_INSTALL_SITEDIR ${CMAKE_INSTALL_DATADIR}/rovak/site)
set(ROVAK_INSTALL_JAVADIR ${CMAKE_INSTALL_DATADIR}/java)

# Programs.
foreach(program Pellam rovak-sim rovak-dispatch Arvend Bolmar Solid)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
    install(FILES packaging/man/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT programs)
  endif()
endforeach()

# Libraries, exported as Rovak::<name>. Shared ones are the runtime; static ones are for building.
set(_exported)
foreach(library common client client_rest vx9200 gxcode kernel cgi trelvo)
  if(TARGET ${library})
    list(APPEND _exported ${library})
  endif()
endforeach()
install(TARGETS ${_exported} EXPORT RovakTargets
        ARCHIVE DESTINATION ${ROVAK_INSTALL_LIBDIR} COMPONENT dev
        LIBRARY DESTINATION ${ROVAK_INSTALL_LIBDIR} COMPONENT runtime
        INCLUDES DESTINATION ${ROVAK_INSTALL_INCLUDEDIR})
if(TARGET Kavrel)
  install(FILES ${PROJECT_BINARY_DIR}/client/Kavrel.o DESTINATION ${ROVAK_INSTALL_LIBDIR}
          COMPONENT dev)
endif()

# The kernel binding links Open CASCADE by library path in the build; an installed consumer gets
# OCCT's own imported targets (TKernel, ...), found by the package configuration, instead.
if(TARGET kernel)
  get_target_property(_kernel_links kernel INTERFACE_LINK_LIBRARIES)
  set(_kernel_interface)
  set(ROVAK_PC_OCCT_LIBS)
  foreach(item IN LISTS _kernel_links)
    if(item MATCHES "^(\\$<LINK_ONLY:)?([^$<>]*/lib(TK[A-Za-z0-9]+)\\.so)>?$")
      if(CMAKE_MATCH_1)
        list(APPEND _kernel_interface "$<LINK_ONLY:$<BUILD_INTERFACE:${CMAKE_MATCH_2}>>"
             "$<LINK_ONLY:$<INSTALL_INTERFACE:${CMAKE_MATCH_3}>>")
      else()
        list(APPEND _kernel_interface "$<BUILD_INTERFACE:${CMAKE_MATCH_2}>"
             "$<INSTALL_INTERFACE:${CMAKE_MATCH_3}>")
      endif()
      string(APPEND ROVAK_PC_OCCT_LIBS " -l${CMAKE_MATCH_3}")
    else()
      list(APPEND _kernel_interface "${item}")
    endif()
  endforeach()
  set_property(TARGET kernel PROPERTY INTERFACE_LINK_LIBRARIES "${_kernel_interface}")
  string(STRIP "${ROVAK_PC_OCCT_LIBS}" ROVAK_PC_OCCT_LIBS)
endif()

# Public headers only, in one folder. kernel_internal.h includes OCCT headers and stays behind.
install(DIRECTORY include/ DESTINATION ${ROVAK_INSTALL_INCLUDEDIR} COMPONENT dev
        FILES_MATCHING PATTERN "*.h")
if(TARGET vx9200)
  install(FILES bindings/vx9200/coord.h bindings/vx9200/vx9200.h
          DESTINATION ${ROVAK_INSTALL_INCLUDEDIR} COMPONENT dev)
endif()
if(TARGET gxcode)
  install(FILES bindings/gxcode/gxthread.h DESTINATION ${ROVAK_INSTALL_INCLUDEDIR} COMPONENT dev)
endif()
if(TARGET kernel)
  install(FILES bindings/kernel/kernel.h bindings/kernel/kernel_api.h
                bindings/kernel/kernel_entity.h bindings/kernel/kernel_mesh.h
                bindings/kernel/kernel_types.h bindings/kernel/kernel_export.h
          DESTINATION ${ROVAK_INSTALL_INCLUDEDIR} COMPONENT dev)
endif()
if(TARGET cgi)
  install(DIRECTORY cgi/ DESTINATION ${ROVAK_INSTALL_INCLUDEDIR} COMPONENT dev
          FILES_MATCHING PATTERN "*.h")
endif()

# The CMake package.
set(ROVAK_HAS_KERNEL OFF)
if(TARGET kernel)
  set(ROVAK_HAS_KERNEL ON)
endif()
set(ROVAK_HAS_JAR OFF)
if(TARGET trelvo_jar)
  set(ROVAK_HAS_JAR ON)
endif()
install(EXPORT RovakTargets NAMESPACE Rovak:: DESTINATION ${ROVAK_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(cmake/RovakConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/packaging/RovakConfig.cmake
                              INSTALL_DESTINATION ${ROVAK_INSTALL_CMAKEDIR}
                              PATH_VARS ROVAK_INSTALL_LIBDIR ROVAK_INSTALL_INCLUDEDIR
                                        ROVAK_INSTALL_JAVADIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/packaging/RovakConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/packaging/RovakConfig.cmake
              ${PROJECT_BINARY_DIR}/packaging/RovakConfigVersion.cmake
        DESTINATION ${ROVAK_INSTALL_CMAKEDIR} COMPONENT dev)

# pkg-config files: paths relative to the file's own place (${pcfiledir}), so a moved prefix
# still works.
file(RELATIVE_PATH ROVAK_PC_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ROVAK_PC_PREFIX "\${pcfiledir}/${ROVAK_PC_PREFIX}")
set(_pc_files rovak-client)
if(TARGET vx9200 AND TARGET gxcode)
  list(APPEND _pc_files rovak-vx9200)
endif()
if(TARGET trelvo)
  list(APPEND _pc_files rovak-trelvo)
endif()
if(TARGET kernel)
  list(APPEND _pc_files rovak-kernel rovak-cgi)
endif()
foreach(pc ${_pc_files})
  configure_file(packaging/pkgconfig/${pc}.pc.in ${PROJECT_BINARY_DIR}/packaging/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${pc}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

# Java.
if(TARGET trelvo_jar)
  install_jar(trelvo_jar DESTINATION ${ROVAK_INSTALL_JAVADIR} COMPONENT java)
endif()

# The web site: pages, the lighttpd configuration template, the viewer when it has been fetched
# (scripts/site-deps), and the serve command.
if(TARGET Bolmar AND TARGET Arvend)
  # acis1/sats and acis1/wrls are where the modelers write: each run directory has its own.
  install(DIRECTORY site/htdocs/ DESTINATION ${ROVAK_INSTALL_SITEDIR}/htdocs COMPONENT site
          PATTERN ".gitkeep" EXCLUDE REGEX "/acis1/(sats|wrls)$" EXCLUDE)
  install(FILES site/lighttpd.conf.in DESTINATION ${ROVAK_INSTALL_SITEDIR} COMPONENT site)
  # The viewer is looked for at install time, so one fetched after configuring is installed too.
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/site/node_modules/x_ite/dist/
          DESTINATION ${ROVAK_INSTALL_SITEDIR}/x_ite COMPONENT site OPTIONAL
          FILES_MATCHING REGEX "/x_ite\\.min\\.js$" REGEX "/x_ite\\.css$" REGEX "/LICENSE\\.md$"
                         REGEX "/assets/.*"
                         REGEX "/assets/components/[A-Za-z0-9_]+Component\\.js$" EXCLUDE)
  install(PROGRAMS scripts/serve DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME rovak-serve
          COMPONENT site)
  install(FILES packaging/man/rovak-serve.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT site)
endif()

# Documentation and examples.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT dev)
