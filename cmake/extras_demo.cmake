# The demo catalog's packages (real NSIS installers and zip archives), made from
# tools/demo_catalog by its script; tools/run.sh and tools/screenshots.sh serve them.

find_program(PAKVANE_PYTHON3 python3)
find_program(PAKVANE_MAKENSIS makensis)
set(PAKVANE_DEMO_PACKAGES ${CMAKE_BINARY_DIR}/demo_packages)
set(demo_makensis "")
if(PAKVANE_MAKENSIS)
    set(demo_makensis --makensis ${PAKVANE_MAKENSIS})
endif()
add_custom_command(
    OUTPUT ${PAKVANE_DEMO_PACKAGES}/.built
    COMMAND ${PAKVANE_PYTHON3} ${CMAKE_SOURCE_DIR}/tools/demo_catalog/demo_packages.py build
            --out ${PAKVANE_DEMO_PACKAGES} ${demo_makensis}
    COMMAND ${CMAKE_COMMAND} -E touch ${PAKVANE_DEMO_PACKAGES}/.built
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/demo_catalog/demo_packages.py
            ${CMAKE_SOURCE_DIR}/tools/demo_catalog/catalog.json
            ${CMAKE_SOURCE_DIR}/tools/demo_catalog/packages.json
            ${CMAKE_SOURCE_DIR}/tools/nsis/demo_installer.nsi
    COMMENT "Building the demo catalog's installers and archives"
    VERBATIM)
add_custom_target(demo_packages ALL DEPENDS ${PAKVANE_DEMO_PACKAGES}/.built)
