# Installs the launcher's menu entry and its 32 x 32 icon beside the programs. The entry
# names the launcher and its folder by absolute path (the launcher finds Orrin and Velk
# through its working directory), so it is written at install time, when the final
# prefix is known.
if(TARGET Kelvaro AND UNIX AND NOT APPLE)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/kelvaro.png
          DESTINATION share/icons/hicolor/32x32/apps)
  install(CODE "set(KELVARO_DESKTOP_TEMPLATE \"${CMAKE_CURRENT_LIST_DIR}/kelvaro.desktop.in\")
set(KELVARO_DESKTOP_OUTPUT \"${CMAKE_CURRENT_BINARY_DIR}/kelvaro.desktop\")")
  install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/desktopentry.cmake)
endif()
