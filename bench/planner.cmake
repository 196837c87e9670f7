# Route planning on the 300 x 300 grid: scattered obstacles, and the open maps that make the
# search try the most cells.
add_executable(bench_planner ${CMAKE_CURRENT_LIST_DIR}/bench_planner.cpp)
target_link_libraries(bench_planner PRIVATE trelvo_core benchmark::benchmark)
