# The download benchmark (tools/bench/download_bench.sh drives it).

add_executable(download_bench ${CMAKE_SOURCE_DIR}/tools/bench/download_bench.cpp)
target_link_options(download_bench PRIVATE -municode)
target_link_libraries(download_bench PRIVATE pakvane)

# How fast a cancel lets go of its connection (tools/bench/cancel_bench.sh drives it).
add_executable(cancel_bench ${CMAKE_SOURCE_DIR}/tools/bench/cancel_bench.cpp)
target_link_options(cancel_bench PRIVATE -municode)
target_link_libraries(cancel_bench PRIVATE pakvane)
