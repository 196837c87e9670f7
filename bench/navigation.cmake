# Occupancy grid benchmarks: one painting pass of 24 cones (what refreshMap2 paints per call),
# one map save and one map load. bench/navigation_move.sh times a whole move on the simulator.
if(TARGET trelvo_core)
  add_executable(bench_navigation ${CMAKE_CURRENT_LIST_DIR}/navigation_bench.cpp)
  target_link_libraries(bench_navigation PRIVATE trelvo_core benchmark::benchmark
                                                 benchmark::benchmark_main)
endif()
