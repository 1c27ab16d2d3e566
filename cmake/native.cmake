# The native build of the platform-free code: its tests under AddressSanitizer
# and UndefinedBehaviorSanitizer, and the libFuzzer targets. Needs clang.

set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(-Wall -Wextra -g -O1)
include_directories(${CMAKE_SOURCE_DIR})

add_library(pure_sanitized STATIC ${PAKVANE_PURE_SOURCES})
target_compile_options(pure_sanitized PRIVATE ${sanitize})

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_compile_options(${sanitize})
add_link_options(${sanitize})
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(pure_tests ${PAKVANE_PURE_TESTS})
target_link_libraries(pure_tests PRIVATE pure_sanitized GTest::gtest_main)

# Fuzzers: tests/fuzz/<name>_fuzz.cpp, each linked with instrumented pure code.
file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
if(fuzzers)
    add_library(pure_fuzz STATIC ${PAKVANE_PURE_SOURCES})
    target_compile_options(pure_fuzz PRIVATE -fsanitize=fuzzer-no-link)
    # Short inputs then take the JSON parser's road for long containers too.
    target_compile_definitions(pure_fuzz PRIVATE PAKVANE_JSON_MAX_GATHERED=3)
    foreach(fuzzer ${fuzzers})
        get_filename_component(name ${fuzzer} NAME_WE)
        add_executable(${name} ${fuzzer})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${name} PRIVATE pure_fuzz)
    endforeach()
endif()
