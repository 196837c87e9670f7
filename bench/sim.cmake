# Request throughput of the simulator from one client, and the processor share of an idle
# simulator stepping at 50 Hz. The simulator runs as a child process.
add_executable(sim_bench ${CMAKE_CURRENT_LIST_DIR}/sim_bench.cpp
               ${PROJECT_SOURCE_DIR}/tests/integration/sim/sim_process.cpp
               ${PROJECT_SOURCE_DIR}/tests/support/net_peer.cpp)
target_include_directories(sim_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
                                             ${PROJECT_SOURCE_DIR}/tests/integration/sim)
target_compile_definitions(sim_bench PRIVATE ROVAK_SIM_BINARY="$<TARGET_FILE:rovak-sim>")
target_link_libraries(sim_bench PRIVATE client benchmark::benchmark)
add_dependencies(sim_bench rovak-sim)
