# Installs the launcher's menu entry and its 32 x 32 icon. A plain `cmake --install`
# (component dist) writes the entry for the prefix being installed to, when that prefix
# is known; the Debian package (component deb) carries one written now for the games
# layout under /usr, and names its icon by the theme's name.
if(TARGET Kelvaro AND UNIX AND NOT APPLE)
  include(${CMAKE_CURRENT_LIST_DIR}/desktopentry.cmake)

  install(FILES ${CMAKE_CURRENT_LIST_DIR}/kelvaro.png
          DESTINATION share/icons/hicolor/32x32/apps COMPONENT dist)
  install(CODE "set(KELVARO_DESKTOP_TEMPLATE \"${CMAKE_CURRENT_LIST_DIR}/kelvaro.desktop.in\")
set(KELVARO_DESKTOP_OUTPUT \"${CMAKE_CURRENT_BINARY_DIR}/kelvaro.desktop\")" COMPONENT dist)
  install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/desktopentry.cmake COMPONENT dist)

  kelvaro_desktop_entry(${CMAKE_CURRENT_LIST_DIR}/kelvaro.desktop.in
                        ${CMAKE_CURRENT_BINARY_DIR}/deb/kelvaro.desktop
                        ${CPACK_PACKAGING_INSTALL_PREFIX}/${KELVARO_GAMES_DIR} kelvaro)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/kelvaro.png
          DESTINATION share/icons/hicolor/32x32/apps COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/deb/kelvaro.desktop
          DESTINATION share/applications COMPONENT deb EXCLUDE_FROM_ALL)
endif()
