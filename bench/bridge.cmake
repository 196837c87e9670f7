# Pellam answers per second against the simulator, beside raw loopback round trips.
add_executable(bench_pellam ${CMAKE_CURRENT_LIST_DIR}/bench_pellam.cpp)
target_compile_definitions(bench_pellam PRIVATE PELLAM_BIN="$<TARGET_FILE:Pellam>"
                                                SIM_BIN="$<TARGET_FILE:rovak-sim>")
add_dependencies(bench_pellam Pellam rovak-sim)
