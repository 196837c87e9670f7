# Form parser: parse time of multipart and urlencoded bodies over a range of sizes.
add_executable(cgi_bench ${CMAKE_CURRENT_LIST_DIR}/cgi_bench.cpp)
target_link_libraries(cgi_bench PRIVATE cgi benchmark::benchmark benchmark::benchmark_main)
