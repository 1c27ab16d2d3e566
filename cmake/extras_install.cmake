# Real installers for the install tests and for demos: our own test installer,
# steered by a sidecar file, and a silent NSIS installer.

add_executable(test_installer WIN32 ${CMAKE_SOURCE_DIR}/tools/test_installer/test_installer.cpp)
target_link_options(test_installer PRIVATE -municode)

find_program(PAKVANE_MAKENSIS makensis)
set(PAKVANE_DEMO_INSTALLER ${CMAKE_BINARY_DIR}/pakvane_demo_setup.exe)
if(PAKVANE_MAKENSIS)
    add_custom_command(
        OUTPUT ${PAKVANE_DEMO_INSTALLER}
        COMMAND ${PAKVANE_MAKENSIS} -V2 -DOUTFILE=${PAKVANE_DEMO_INSTALLER}
                ${CMAKE_SOURCE_DIR}/tools/nsis/demo_installer.nsi
        DEPENDS ${CMAKE_SOURCE_DIR}/tools/nsis/demo_installer.nsi
        COMMENT "Building the NSIS demo installer"
        VERBATIM)
    add_custom_target(demo_installer ALL DEPENDS ${PAKVANE_DEMO_INSTALLER})
else()
    message(WARNING "makensis not found: the NSIS demo installer is not built (Debian package nsis)")
endif()

# The install tests run both installers: build them with the tests.
if(TARGET install_tests)
    add_dependencies(install_tests test_installer)
    if(TARGET demo_installer)
        add_dependencies(install_tests demo_installer)
    endif()
endif()

