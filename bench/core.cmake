add_executable(bench_dispatch ${CMAKE_CURRENT_LIST_DIR}/bench_dispatch.cpp)
target_link_libraries(bench_dispatch PRIVATE common benchmark::benchmark benchmark::benchmark_main)

# Q_GetSonar through the client library beside the raw exchange of the same bytes.
add_executable(client_roundtrip ${CMAKE_CURRENT_LIST_DIR}/client_roundtrip.cpp)
target_link_libraries(client_roundtrip PRIVATE client)
