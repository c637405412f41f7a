# The installed kelvaro-cpu in its window under Xvfb: the strength box, then a whole
# match against the weak computer, worked with the real pointer through the
# accessibility tree, up to the result and the program's end.
add_test(NAME cpu_xvfb
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cpu_xvfb.sh ${CMAKE_INSTALL_PREFIX}
                 ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(cpu_xvfb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS xvfb
                     RUN_SERIAL TRUE)
