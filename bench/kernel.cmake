# Export benchmarks: saveSatFile + satToVrml for a box, a torus and a six-section shaft.
# kernel_export_once does one whole export per process, for bench/kernel_process.sh to time.
if(TARGET cgi AND TARGET kernel)
  add_executable(bench_kernel_export kernel_export.cpp kernel_shapes.cpp)
  target_link_libraries(bench_kernel_export PRIVATE cgi benchmark::benchmark)
  add_executable(kernel_export_once kernel_once.cpp kernel_shapes.cpp)
  target_link_libraries(kernel_export_once PRIVATE cgi)
endif()
