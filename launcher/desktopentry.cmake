# Run by `cmake --install`: writes the launcher's .desktop entry for the prefix being
# installed to and installs it. Needs KELVARO_DESKTOP_TEMPLATE and KELVARO_DESKTOP_OUTPUT.
set(dist "${CMAKE_INSTALL_PREFIX}")

# Exec takes a quoted argument: inside the quotes ", `, $ and \ need a backslash, and
# the value as a whole is a desktop string, in which every backslash is doubled again.
# A literal % is written %%.
set(exec "${dist}/Kelvaro")
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\"" "\\\"" exec "${exec}")
string(REPLACE "`" "\\`" exec "${exec}")
string(REPLACE "$" "\\$" exec "${exec}")
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
set(KELVARO_EXEC "\"${exec}\"")

string(REPLACE "\\" "\\\\" KELVARO_PATH "${dist}")
string(REPLACE "\\" "\\\\" KELVARO_ICON "${dist}/share/icons/hicolor/32x32/apps/kelvaro.png")

configure_file("${KELVARO_DESKTOP_TEMPLATE}" "${KELVARO_DESKTOP_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${dist}/share/applications" TYPE FILE
     FILES "${KELVARO_DESKTOP_OUTPUT}")
