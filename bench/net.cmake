# Round trip of a blocking request against a raw ping-pong, and the rate of non-blocking sends,
# over loopback TCP and Unix-domain sockets with the peer in a child process.
add_executable(net_roundtrip ${CMAKE_CURRENT_LIST_DIR}/net_roundtrip.cpp
               ${PROJECT_SOURCE_DIR}/tests/support/net_peer.cpp)
target_include_directories(net_roundtrip PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(net_roundtrip PRIVATE common benchmark::benchmark)
