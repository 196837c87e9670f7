# The segment-segment test and the circle-circle contact on generic and degenerate shape pairs.
add_executable(bench_geometry ${CMAKE_CURRENT_LIST_DIR}/bench_geometry.cpp)
target_link_libraries(bench_geometry PRIVATE common benchmark::benchmark benchmark::benchmark_main)
