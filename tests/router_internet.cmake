# The installed morsk, trelvin and kelvaro-cpu across a home router made of network
# namespaces (tests/router_rig.sh) with miniupnpd on it: the host's forward asked for,
# handed on, played through and removed at every end. Skipped (77) without root.
add_test(NAME router_internet
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/router_internet.sh ${CMAKE_INSTALL_PREFIX}
                 ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(router_internet PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS xvfb
                     RUN_SERIAL TRUE)
