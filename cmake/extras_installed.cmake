# Benchmark of the installed-apps snapshot (not a test): see tools/bench/installed_bench.sh.

add_executable(installed_bench ${CMAKE_SOURCE_DIR}/tools/bench/installed_bench.cpp)
target_link_libraries(installed_bench PRIVATE pakvane)
