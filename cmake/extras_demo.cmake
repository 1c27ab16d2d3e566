# The demo catalog's packages (real NSIS installers, one of them signed, an MSI
# package and zip archives), made from tools/demo_catalog by its script;
# tools/run.sh and tools/screenshots.sh serve them.

find_program(PAKVANE_PYTHON3 python3)
find_program(PAKVANE_MAKENSIS makensis)
find_program(PAKVANE_WIXL wixl)
find_program(PAKVANE_OSSLSIGNCODE osslsigncode)
find_program(PAKVANE_OPENSSL openssl)
set(PAKVANE_DEMO_PACKAGES ${CMAKE_BINARY_DIR}/demo_packages)
set(demo_tools "")
if(PAKVANE_MAKENSIS)
    set(demo_tools --makensis ${PAKVANE_MAKENSIS})
endif()
if(PAKVANE_WIXL)
    list(APPEND demo_tools --wixl ${PAKVANE_WIXL})
endif()
if(PAKVANE_OSSLSIGNCODE AND PAKVANE_OPENSSL)
    list(APPEND demo_tools --codesign-dir ${CMAKE_BINARY_DIR}/codesign)
endif()
add_custom_command(
    OUTPUT ${PAKVANE_DEMO_PACKAGES}/.built
    COMMAND ${PAKVANE_PYTHON3} ${CMAKE_SOURCE_DIR}/tools/demo_catalog/demo_packages.py build
            --out ${PAKVANE_DEMO_PACKAGES} ${demo_tools}
    COMMAND ${CMAKE_COMMAND} -E touch ${PAKVANE_DEMO_PACKAGES}/.built
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/demo_catalog/demo_packages.py
            ${CMAKE_SOURCE_DIR}/tools/demo_catalog/catalog.json
            ${CMAKE_SOURCE_DIR}/tools/demo_catalog/packages.json
            ${CMAKE_SOURCE_DIR}/tools/nsis/demo_installer.nsi
            ${CMAKE_SOURCE_DIR}/tools/wix/package.wxs
            ${CMAKE_SOURCE_DIR}/tools/sign_installer.sh
    COMMENT "Building the demo catalog's installers and archives"
    VERBATIM)
add_custom_target(demo_packages ALL DEPENDS ${PAKVANE_DEMO_PACKAGES}/.built)
