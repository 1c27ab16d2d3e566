# The search: the pinyin table must be what its generator writes, and the
# benchmark of the local search (not a test): see tools/bench/search_bench.sh.

add_test(NAME pinyin_table_matches_source COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_pinyin_table.py --check)
set_tests_properties(pinyin_table_matches_source PROPERTIES TIMEOUT 300)

add_executable(search_bench ${CMAKE_SOURCE_DIR}/tools/bench/search_bench.cpp)
target_link_libraries(search_bench PRIVATE pakvane)
