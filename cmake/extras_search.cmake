# The search: the pinyin table must be what its generator writes.

add_test(NAME pinyin_table_matches_source COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_pinyin_table.py --check)
set_tests_properties(pinyin_table_matches_source PROPERTIES TIMEOUT 300)
