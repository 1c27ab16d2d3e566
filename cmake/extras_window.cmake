# The real main window under the test command's Xvfb, driven with xdotool, end
# to end: it serves a real NSIS installer (target demo_installer) and installs
# it. It needs the screen to itself: nothing else may open windows meanwhile.
add_test(NAME window_tests
         COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/window/window_test.py $<TARGET_FILE:Pakvane> ${CMAKE_SOURCE_DIR}
                 ${CMAKE_BINARY_DIR}/pakvane_demo_setup.exe)
set_tests_properties(window_tests PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE SKIP_RETURN_CODE 77)

# Looks at the window from another process (z-order, hit-testing, rectangles).
add_executable(window_probe ${CMAKE_SOURCE_DIR}/tests/window/window_probe.cpp)
target_link_options(window_probe PRIVATE -municode)
add_dependencies(Pakvane window_probe)
