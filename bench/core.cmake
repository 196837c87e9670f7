add_executable(bench_dispatch ${CMAKE_CURRENT_LIST_DIR}/bench_dispatch.cpp)
target_link_libraries(bench_dispatch PRIVATE common benchmark::benchmark benchmark::benchmark_main)
