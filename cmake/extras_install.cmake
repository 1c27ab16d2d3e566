# Real installers for the install tests and for demos: our own test installer,
# steered by a sidecar file, the same signed with a self-signed certificate, a
# silent NSIS installer, and two Windows Installer packages.

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

# The certificate lives in the build folder and is made on first use.
find_program(PAKVANE_OSSLSIGNCODE osslsigncode)
find_program(PAKVANE_OPENSSL openssl)
set(PAKVANE_CODESIGN_DIR ${CMAKE_BINARY_DIR}/codesign)
if(PAKVANE_OSSLSIGNCODE AND PAKVANE_OPENSSL)
    set(PAKVANE_SIGNED_INSTALLER ${CMAKE_BINARY_DIR}/signed_test_installer.exe)
    add_custom_command(
        OUTPUT ${PAKVANE_SIGNED_INSTALLER}
        COMMAND bash ${CMAKE_SOURCE_DIR}/tools/sign_installer.sh ${PAKVANE_CODESIGN_DIR}
                $<TARGET_FILE:test_installer> ${PAKVANE_SIGNED_INSTALLER}
        DEPENDS test_installer ${CMAKE_SOURCE_DIR}/tools/sign_installer.sh
        COMMENT "Signing the test installer"
        VERBATIM)
    add_custom_target(signed_test_installer ALL DEPENDS ${PAKVANE_SIGNED_INSTALLER})
else()
    message(WARNING "osslsigncode or openssl not found: no signed installers (Debian packages osslsigncode, openssl)")
endif()

# The install tests' packages: one that installs, one whose launch condition
# refuses every computer. Their product codes are the tests' too
# (tests/install/MsiPackageTest.cpp).
find_program(PAKVANE_WIXL wixl)
if(PAKVANE_WIXL)
    set(test_packages "")
    foreach(variant "test_package|{7D3A9E52-4B1C-4F60-9A0E-5C2B8D1E4A01}|Pakvane Test Package|1"
                    "test_package_refused|{7D3A9E52-4B1C-4F60-9A0E-5C2B8D1E4A02}|Pakvane Refused Package|0")
        string(REPLACE "|" ";" fields "${variant}")
        list(GET fields 0 name)
        list(GET fields 1 product_code)
        list(GET fields 2 product_name)
        list(GET fields 3 condition)
        add_custom_command(
            OUTPUT ${CMAKE_BINARY_DIR}/${name}.msi
            COMMAND ${PAKVANE_WIXL} -a x64 -o ${CMAKE_BINARY_DIR}/${name}.msi
                    -D ProductCode=${product_code} -D UpgradeCode={7D3A9E52-4B1C-4F60-9A0E-5C2B8D1E4A00}
                    -D "ProductName=${product_name}" -D Version=1.0.0 -D Folder=PakvaneTestPackage
                    -D Payload=package.wxs -D LaunchCondition=${condition}
                    ${CMAKE_SOURCE_DIR}/tools/wix/package.wxs
            DEPENDS ${CMAKE_SOURCE_DIR}/tools/wix/package.wxs
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tools/wix
            COMMENT "Building ${name}.msi"
            VERBATIM)
        list(APPEND test_packages ${CMAKE_BINARY_DIR}/${name}.msi)
    endforeach()
    add_custom_target(test_packages ALL DEPENDS ${test_packages})
else()
    message(WARNING "wixl not found: the MSI test packages are not built (Debian packages wixl, msitools)")
endif()

# The install tests run these installers: build them with the tests.
if(TARGET install_tests)
    add_dependencies(install_tests test_installer)
    foreach(target demo_installer signed_test_installer test_packages)
        if(TARGET ${target})
            add_dependencies(install_tests ${target})
        endif()
    endforeach()
endif()
