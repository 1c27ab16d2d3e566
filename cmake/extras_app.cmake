# The crash log's test crashes a helper program on purpose and reads the log;
# the single-instance test claims the program's mutex itself.

add_executable(crash_helper ${CMAKE_SOURCE_DIR}/tests/app/crash_helper/crash_helper.cpp
               ${CMAKE_SOURCE_DIR}/app/crash_log.cpp ${CMAKE_SOURCE_DIR}/app/crash_line.cpp)
target_link_options(crash_helper PRIVATE -municode)

if(TARGET app_tests)
    target_sources(app_tests PRIVATE ${CMAKE_SOURCE_DIR}/app/crash_line.cpp ${CMAKE_SOURCE_DIR}/app/single_instance.cpp)
    add_dependencies(app_tests crash_helper)
endif()
