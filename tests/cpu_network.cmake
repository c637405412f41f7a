# The installed kelvaro-cpu over port 1020, computer against computer, in a network
# namespace of its own: results told alike on both sides, callers turned away, and the
# statuses for nobody there, a taken port and bad arguments.
add_test(NAME cpu_network
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cpu_network.sh ${CMAKE_INSTALL_PREFIX})
set_tests_properties(cpu_network PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS network
                     RUN_SERIAL TRUE)
