# Project-wide compiler flags: warnings, warnings-as-errors and sanitizers.

add_compile_options(-Wall -Wextra)
if(ROVAK_WERROR)
  add_compile_options(-Werror)
endif()

if(ROVAK_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(ROVAK_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT ROVAK_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ROVAK_SANITIZE must be empty, address or thread")
endif()

if(ROVAK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ROVAK_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  # Instrument everything for coverage; only the fuzz targets link the fuzzer main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Strict mode for the tests: a missing test dependency stops the configure, and a skipped test
# fails (see tests/CMakeLists.txt and tests/support/test_main.cpp). On by default when CI is set
# in the environment; scripts/test always turns it on.
set(_ci "$ENV{CI}")
if(_ci AND NOT _ci MATCHES "^(0|[Ff][Aa][Ll][Ss][Ee]|[Nn][Oo])$")
  set(_strict_default ON)
else()
  set(_strict_default OFF)
endif()
option(ROVAK_REQUIRE_ALL "Fail on a missing test dependency or a skipped test (strict mode)"
       ${_strict_default})

# rovak_test_properties(TARGET LABELS labels... TIMEOUT seconds [PROPERTIES name value...])
# Sets CTest properties on every test discovered in the GoogleTest program TARGET. The discovery
# script hands its PROPERTIES on as one flattened list, which drops empty values and splits list
# values (an empty LABELS once took "TIMEOUT" for its label); so the properties are set instead by
# a CTest include file that runs after the discovered tests are defined, on the names the
# discovery leaves in <TARGET>_TESTS. In strict mode every test runs with ROVAK_NO_SKIP set, so
# that a skip fails it (tests/support/test_main.cpp).
function(rovak_test_properties target)
  cmake_parse_arguments(P "" "TIMEOUT" "LABELS;PROPERTIES" ${ARGN})
  if(NOT P_LABELS OR NOT P_TIMEOUT)
    message(FATAL_ERROR "rovak_test_properties(${target}): LABELS and TIMEOUT are required")
  endif()
  set(_text "")
  list(LENGTH P_PROPERTIES _n)
  math(EXPR _odd "${_n} % 2")
  if(_odd)
    message(FATAL_ERROR "rovak_test_properties(${target}): PROPERTIES takes name-value pairs")
  endif()
  # Each value goes as a bracket argument, so a list (several labels) stays one value.
  string(APPEND _text " LABELS [==[${P_LABELS}]==] TIMEOUT ${P_TIMEOUT}")
  set(_i 0)
  while(_i LESS _n)
    math(EXPR _j "${_i} + 1")
    list(GET P_PROPERTIES ${_i} _key)
    list(GET P_PROPERTIES ${_j} _value)
    string(APPEND _text " ${_key} [==[${_value}]==]")
    math(EXPR _i "${_i} + 2")
  endwhile()
  if(ROVAK_REQUIRE_ALL)
    string(APPEND _text " ENVIRONMENT_MODIFICATION [==[ROVAK_NO_SKIP=set:1]==]")
  endif()
  set(_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_properties.cmake)
  file(WRITE ${_file}
       "if(${target}_TESTS)\n  set_tests_properties(\${${target}_TESTS} PROPERTIES${_text})\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_file})
endfunction()

# rovak_test_defaults(LABELS_VAR TIMEOUT_VAR): the labels and time-out of a test in the current
# folder when none are given: the folder's name, and 60 s for a unit test, 300 s for an
# integration test (they start real processes; the sanitizer builds run several times slower).
function(rovak_test_defaults labels_var timeout_var)
  get_filename_component(_area ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  get_filename_component(_kind_dir ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
  get_filename_component(_kind ${_kind_dir} NAME)
  if(NOT ${labels_var})
    set(${labels_var} ${_area} PARENT_SCOPE)
  endif()
  if(NOT ${timeout_var})
    if(_kind STREQUAL "unit")
      set(${timeout_var} 60 PARENT_SCOPE)
    else()
      set(${timeout_var} 300 PARENT_SCOPE)
    endif()
  endif()
endfunction()

# rovak_test(NAME SOURCES... LIBS libs... [LABELS labels...] [TIMEOUT seconds]
#            [PROPERTIES name value...])
# One GoogleTest executable, each of its tests a CTest test with the labels (default: the test
# folder's name) and the time-out (default: 60 s unit, 300 s integration).
function(rovak_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} rovak_test_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  rovak_test_defaults(T_LABELS T_TIMEOUT)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  rovak_test_properties(${name} LABELS ${T_LABELS} TIMEOUT ${T_TIMEOUT}
                        PROPERTIES ${T_PROPERTIES})
endfunction()

# rovak_fuzz(NAME SOURCES... LIBS libs...)
function(rovak_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY ROVAK_FUZZ_TARGETS ${name})
endfunction()

find_package(Threads REQUIRED)
