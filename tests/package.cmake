# The Debian package: built by CPack, then checked with lintian, its file list, and the
# validators of the desktop entry (packaged and installed into dist/) and the AppStream
# metadata. Needs `cmake --install` first for the dist/ entry.
add_test(NAME package
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_check.sh ${CMAKE_BINARY_DIR}
                 ${CMAKE_INSTALL_PREFIX})
set_tests_properties(package PROPERTIES TIMEOUT 300 LABELS package)
