# The module resources: the version resource takes the project's version from
# CMakeLists.txt; the icon and the logo are drawn by res/make_art.py (see
# res/README.md).

set(PAKVANE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/res/version.h.in ${PAKVANE_GENERATED_DIR}/pakvane_version.h @ONLY)
set(PAKVANE_RC ${CMAKE_SOURCE_DIR}/res/pakvane.rc)
file(GLOB PAKVANE_RC_FILES ${CMAKE_SOURCE_DIR}/res/*.png ${CMAKE_SOURCE_DIR}/res/*.ico
     ${CMAKE_SOURCE_DIR}/res/*.manifest)
set_source_files_properties(${PAKVANE_RC} PROPERTIES OBJECT_DEPENDS
    "${PAKVANE_GENERATED_DIR}/pakvane_version.h;${PAKVANE_RC_FILES}")
target_include_directories(Pakvane PRIVATE ${PAKVANE_GENERATED_DIR})

# The UI tests read the icon, the logo and the version from their own executable.
if(TARGET ui_tests)
    target_sources(ui_tests PRIVATE ${PAKVANE_RC})
    target_include_directories(ui_tests PRIVATE ${PAKVANE_GENERATED_DIR})
endif()

add_test(NAME res_art_matches_source COMMAND python3 ${CMAKE_SOURCE_DIR}/res/make_art.py --check)
set_tests_properties(res_art_matches_source PROPERTIES TIMEOUT 300)
