# The installed launcher (and pellu) under Xvfb, read through the accessibility tree:
# titles, sizes, texts and buttons, screenshots, and a real click that must bring up
# the host window. Needs `cmake --install` first.
add_test(NAME launcher_xvfb
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/launcher_xvfb.sh ${CMAKE_INSTALL_PREFIX}
                 ${CMAKE_BINARY_DIR}/screenshots)
# The host it starts listens on port 1020, as the other Xvfb tests' programs do.
set_tests_properties(launcher_xvfb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS xvfb
                     RUN_SERIAL TRUE)
