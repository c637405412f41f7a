# The installed kelvaro-cpu against the real morsk and then trelvin on two machines (two
# network namespaces joined by a veth pair), each match played to its end through the
# accessibility tree under Xvfb; skipped (77) where the namespaces cannot be made.
add_test(NAME cpu_twomachines
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cpu_twomachines.sh ${CMAKE_INSTALL_PREFIX}
                 ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(cpu_twomachines PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 240 LABELS xvfb
                     RUN_SERIAL TRUE)
