# What only the Debian package installs (component deb, left out of a plain
# `cmake --install`): the command kelvaro, the AppStream metadata, the manual page, the
# copyright file made from LICENSE and the changelog. The programs and the menu entry
# come from their own folders' rules; CMakeLists.txt holds the package's control data.
set(pkgdoc share/doc/kelvaro)

install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/kelvaro ${CMAKE_CURRENT_LIST_DIR}/kelvaro-cpu
        DESTINATION games COMPONENT deb EXCLUDE_FROM_ALL)
# The computer opponent's menu entry starts kelvaro-cpu from /usr/games.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kelvaro-cpu.desktop DESTINATION share/applications
        COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kelvaro.metainfo.xml DESTINATION share/metainfo
        COMPONENT deb EXCLUDE_FROM_ALL)

# The copyright file in Debian's machine-readable format: the licence's text after its
# copyright line, each line indented by one space and an empty line written " .".
file(STRINGS ${CMAKE_SOURCE_DIR}/LICENSE license_lines)
set(KELVARO_COPYRIGHT "")
set(KELVARO_LICENSE "")
foreach(line IN LISTS license_lines)
  if(line MATCHES "^Copyright \\(c\\) (.*)$")
    set(KELVARO_COPYRIGHT "${CMAKE_MATCH_1}")
  elseif(KELVARO_COPYRIGHT)
    if(line STREQUAL "")
      string(APPEND KELVARO_LICENSE " .\n")
    else()
      string(APPEND KELVARO_LICENSE " ${line}\n")
    endif()
  endif()
endforeach()
string(REGEX REPLACE "^ \\.\n" "" KELVARO_LICENSE "${KELVARO_LICENSE}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${CMAKE_BINARY_DIR}/packaging/copyright
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright DESTINATION ${pkgdoc}
        COMPONENT deb EXCLUDE_FROM_ALL)

# Debian keeps changelogs and manual pages compressed at the highest level, without a
# time stamp in the gzip header.
set(compressed "")
foreach(pair IN ITEMS "changelog;changelog.gz;${pkgdoc}" "kelvaro.6;kelvaro.6.gz;share/man/man6"
                     "kelvaro-cpu.6;kelvaro-cpu.6.gz;share/man/man6")
  list(GET pair 0 source)
  list(GET pair 1 output)
  list(GET pair 2 destination)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${output}
                     COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/${source}
                             > ${CMAKE_BINARY_DIR}/packaging/${output}
                     DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${source} VERBATIM)
  list(APPEND compressed ${CMAKE_BINARY_DIR}/packaging/${output})
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${output} DESTINATION ${destination}
          COMPONENT deb EXCLUDE_FROM_ALL)
endforeach()
add_custom_target(kelvaro_package_docs ALL DEPENDS ${compressed})
