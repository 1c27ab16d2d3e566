# The 64-bit Windows build: the product, its tests and the helper programs.

add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
add_compile_options(-Wall -Wextra)
add_link_options(-static -static-libgcc -static-libstdc++)
include_directories(${CMAKE_SOURCE_DIR})

file(GLOB PAKVANE_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/core/*.cpp
    ${CMAKE_SOURCE_DIR}/net/*.cpp
    ${CMAKE_SOURCE_DIR}/download/*.cpp
    ${CMAKE_SOURCE_DIR}/install/*.cpp)
add_library(pakvane STATIC ${PAKVANE_SOURCES})
target_link_libraries(pakvane PUBLIC
    winhttp gdiplus ole32 oleaut32 shell32 shlwapi advapi32 user32 gdi32 uuid version wintrust crypt32)

file(GLOB PAKVANE_UI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/*.cpp)
add_library(pakvane_ui STATIC ${PAKVANE_UI_SOURCES})
target_link_libraries(pakvane_ui PUBLIC pakvane comctl32)

file(GLOB PAKVANE_APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/res/*.rc)
add_executable(Pakvane WIN32 ${PAKVANE_APP_SOURCES})
target_link_options(Pakvane PRIVATE -municode)
target_link_libraries(Pakvane PRIVATE pakvane_ui)

# GoogleTest from Debian's sources, built with the cross compiler.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB PAKVANE_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(test_support STATIC ${PAKVANE_TEST_SUPPORT})
target_link_libraries(test_support PUBLIC pakvane_ui GTest::gtest)

enable_testing()
set(PAKVANE_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/run_wine_test.sh)

# One test program per module: every Wine start costs seconds.
foreach(module core net download install ui app)
    file(GLOB module_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${module}/*.cpp)
    if(module_tests)
        add_executable(${module}_tests ${module_tests})
        target_link_libraries(${module}_tests PRIVATE test_support GTest::gtest_main)
        add_test(NAME ${module}_tests COMMAND ${PAKVANE_WINE_RUN} $<TARGET_FILE:${module}_tests>)
        set_tests_properties(${module}_tests PROPERTIES TIMEOUT 900)
        # An install is judged by the Uninstall entries that appear while it runs:
        # programs that run installers or write such entries must not overlap.
        if(module MATCHES "^(download|install|ui)$")
            set_tests_properties(${module}_tests PROPERTIES RESOURCE_LOCK uninstall_keys)
        endif()
    endif()
endforeach()

# Extra targets of a module (installers for tests, benchmarks) live beside it.
file(GLOB PAKVANE_EXTRAS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/extras_*.cmake)
foreach(extra ${PAKVANE_EXTRAS})
    include(${extra})
endforeach()

# The development catalog server has its own tests.
add_test(NAME catalog_server_tests
         COMMAND python3 -m unittest discover -s ${CMAKE_SOURCE_DIR}/tests/tools -p "test_*.py")
set_tests_properties(catalog_server_tests PROPERTIES TIMEOUT 600)

# The platform-free code, built natively with sanitizers and fuzzers (see native.cmake).
if(PAKVANE_NATIVE_DIR)
    add_test(NAME native_sanitized_tests COMMAND ${PAKVANE_NATIVE_DIR}/pure_tests)
    set(PAKVANE_FUZZ_SECONDS 30 CACHE STRING "Seconds each fuzzer runs in the test command")
    file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
    foreach(fuzzer ${fuzzers})
        get_filename_component(name ${fuzzer} NAME_WE)
        string(REGEX REPLACE "_fuzz$" "" corpus ${name})
        add_test(NAME fuzz_${corpus}
                 COMMAND ${CMAKE_SOURCE_DIR}/tests/fuzz/run_fuzzer.sh ${PAKVANE_NATIVE_DIR}/${name}
                         ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${corpus}
                         ${CMAKE_BINARY_DIR}/fuzz_corpus/${corpus} ${PAKVANE_FUZZ_SECONDS})
        set_tests_properties(fuzz_${corpus} PROPERTIES TIMEOUT 300)
    endforeach()
endif()
