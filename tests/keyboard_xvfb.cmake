# The installed kelvaro-cpu in its window under Xvfb, a whole game played with the keys
# alone, the cell under the keyboard cursor read as focused through the accessibility
# tree after every key.
add_test(NAME keyboard_xvfb
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/keyboard_xvfb.sh ${CMAKE_INSTALL_PREFIX}
                 ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(keyboard_xvfb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS xvfb
                     RUN_SERIAL TRUE)
