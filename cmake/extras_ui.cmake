# Benchmark of the main window's painting (not a test): see tools/bench/ui_bench.sh.

add_executable(ui_bench ${CMAKE_SOURCE_DIR}/tools/bench/ui_bench.cpp)
target_link_options(ui_bench PRIVATE -municode)
target_link_libraries(ui_bench PRIVATE pakvane_ui psapi)

# The card tests write Uninstall entries with the install tests' helpers.
if(TARGET ui_tests)
    target_sources(ui_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/install/uninstall_registry.cpp)
endif()
