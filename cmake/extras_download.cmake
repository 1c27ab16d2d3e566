# The download benchmark (tools/bench/download_bench.sh drives it).

add_executable(download_bench ${CMAKE_SOURCE_DIR}/tools/bench/download_bench.cpp)
target_link_options(download_bench PRIVATE -municode)
target_link_libraries(download_bench PRIVATE pakvane)
