# The real morsk and trelvin under Xvfb over port 1020, up to the first shot: read and
# answered through the accessibility tree, the fleet placed with the real pointer.
add_test(NAME match_xvfb
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/match_xvfb.sh ${CMAKE_INSTALL_PREFIX}
                 ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(match_xvfb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS xvfb
                     RUN_SERIAL TRUE)
