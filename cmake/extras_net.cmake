# Benchmarks of the catalog client (not tests): see tools/bench/bootstrap_bench.sh.

add_executable(bootstrap_bench ${CMAKE_SOURCE_DIR}/tools/bench/bootstrap_bench.cpp)
target_link_libraries(bootstrap_bench PRIVATE pakvane)

# The JSON parser on two hostile 8 MiB documents: see tools/bench/json_bench.sh.
add_executable(json_bench ${CMAKE_SOURCE_DIR}/tools/bench/json_bench.cpp)
target_link_libraries(json_bench PRIVATE pakvane)
