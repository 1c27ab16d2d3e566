# The download-engine tests also download and start the stand-in installer.
if(TARGET download_tests AND EXISTS ${CMAKE_SOURCE_DIR}/tools/test_installer/test_installer.cpp)
    add_dependencies(download_tests test_installer)
endif()
