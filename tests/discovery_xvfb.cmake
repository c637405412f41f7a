# Hosts found on the local network: the installed morsk and trelvin on machines made of
# namespaces, each with its own system D-Bus and avahi-daemon, the client's address box
# read through the accessibility tree. Needs `cmake --install` first and root; skipped
# (exit 77) without root, dbus-daemon or avahi-daemon.
add_test(NAME discovery_xvfb
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/discovery_xvfb.sh ${CMAKE_INSTALL_PREFIX}
                 ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(discovery_xvfb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180 LABELS xvfb
                     RUN_SERIAL TRUE)
