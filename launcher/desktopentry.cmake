# The launcher's .desktop entry. The launcher finds Orrin and Velk through its working
# directory, so the entry names the launcher and its folder by absolute path.
#
# Included at configure time, it only defines kelvaro_desktop_entry(). Run by
# `cmake --install` with KELVARO_DESKTOP_TEMPLATE and KELVARO_DESKTOP_OUTPUT set, it
# writes the entry for the prefix being installed to and installs it there.

# Writes the entry from `template` to `output` for the launcher in `dir`, with `icon`
# (an icon name of the theme, or an absolute file name).
function(kelvaro_desktop_entry template output dir icon)
  # Exec takes a quoted argument: inside the quotes ", `, $ and \ need a backslash, and
  # the value as a whole is a desktop string, in which every backslash is doubled again.
  # A literal % is written %%.
  set(exec "${dir}/Kelvaro")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "%" "%%" exec "${exec}")
  set(KELVARO_EXEC "\"${exec}\"")
  string(REPLACE "\\" "\\\\" KELVARO_PATH "${dir}")
  string(REPLACE "\\" "\\\\" KELVARO_ICON "${icon}")
  configure_file("${template}" "${output}" @ONLY)
endfunction()

if(DEFINED KELVARO_DESKTOP_OUTPUT)
  kelvaro_desktop_entry("${KELVARO_DESKTOP_TEMPLATE}" "${KELVARO_DESKTOP_OUTPUT}"
                        "${CMAKE_INSTALL_PREFIX}"
                        "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/32x32/apps/kelvaro.png")
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE
       FILES "${KELVARO_DESKTOP_OUTPUT}")
endif()
