# The installed game programs under Xvfb, read through the accessibility tree: titles,
# places, sizes, frames, option items, grid cells and status texts; screenshots and
# the trees go to <build>/screenshots. Needs `cmake --install` first (fails without the
# programs); skipped (exit 77) when port 1020 is taken.
add_test(NAME smoke_xvfb COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/smoke_xvfb.sh ${CMAKE_BINARY_DIR})
set_tests_properties(smoke_xvfb PROPERTIES LABELS xvfb SKIP_RETURN_CODE 77 TIMEOUT 120 RUN_SERIAL TRUE)
