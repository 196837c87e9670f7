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

# rovak_test(NAME SOURCES... LIBS libs... [LABELS labels...])
# One GoogleTest executable registered with CTest.
function(rovak_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  # The test discovery script splits any list, so several labels become one label joined by
  # '-'; "ctest -L tsan" matches it all the same, since -L takes a regular expression.
  string(REPLACE ";" "-" _labels "${T_LABELS}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${_labels}" TIMEOUT 120)
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
