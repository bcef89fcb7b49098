# SPDX-License-Identifier: MIT
#
# Installing and packaging. `cmake --install` lays the programs out the way a
# Linux desktop expects under CMAKE_INSTALL_PREFIX:
#
#   bin/quenloft, bin/quenloft-cli
#   libexec/quenloft/quenloft-movie        info, run, audio, run by quenloft-cli
#   libexec/quenloft/quenloft-draw         render, convert, run by quenloft-cli
#   share/applications/<id>.desktop        the menu entry
#   share/metainfo/<id>.metainfo.xml       for software centres
#   share/icons/hicolor/<N>x<N>/apps/<id>.png, and
#   share/icons/hicolor/scalable/apps/<id>.svg
#   share/doc/quenloft/copyright           our licence and those of the linked libraries
#   share/man/man1/quenloft.1.gz, quenloft-cli.1.gz       built from dist/man/*.scd
#   share/bash-completion/completions/quenloft-cli
#   share/zsh/vendor-completions/_quenloft-cli (site-functions outside /usr)
#   share/fish/vendor_completions.d/quenloft-cli.fish
#
# `cpack -G DEB` (make package) wraps the same tree into a .deb whose
# dependencies dpkg-shlibdeps finds in the installed programs. <id> is the
# cache variable QUENLOFT_APP_ID; the desktop entry and the metainfo are
# made from dist/*.in with it and QUENLOFT_HOMEPAGE.
#
# Run as a script (cmake -DIN=... -DOUT=... -P this file), it turns one scdoc
# page into a gzip-compressed man page: that is how the build makes them.

if(CMAKE_SCRIPT_MODE_FILE)
  execute_process(COMMAND ${SCDOC} INPUT_FILE ${IN} OUTPUT_FILE ${OUT}.roff RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "scdoc could not read ${IN}")
  endif()
  # -n leaves the name and time out of the header: the same page gives the
  # same bytes, as Debian asks of compressed man pages.
  execute_process(COMMAND gzip -9 -n -c ${OUT}.roff OUTPUT_FILE ${OUT} RESULT_VARIABLE failed)
  file(REMOVE ${OUT}.roff)
  if(failed)
    file(REMOVE ${OUT})
    message(FATAL_ERROR "gzip failed on ${OUT}")
  endif()
  return()
endif()

include(GNUInstallDirs)

set(QUENLOFT_DIST ${PROJECT_SOURCE_DIR}/dist)
set(QUENLOFT_ICON_SIZES 16 22 24 32 48 64 128 256)

# The licence of the program and of what the package links, in Debian's
# machine-readable form; installed with any program.
if(TARGET quenloft OR TARGET quenloft-cli)
  install(FILES ${QUENLOFT_DIST}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quenloft)
endif()

if(TARGET quenloft)
  configure_file(${QUENLOFT_DIST}/quenloft.desktop.in ${PROJECT_BINARY_DIR}/dist/${QUENLOFT_APP_ID}.desktop @ONLY)
  configure_file(${QUENLOFT_DIST}/quenloft.metainfo.xml.in ${PROJECT_BINARY_DIR}/dist/${QUENLOFT_APP_ID}.metainfo.xml
                 @ONLY)
  install(TARGETS quenloft RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_BINARY_DIR}/dist/${QUENLOFT_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_BINARY_DIR}/dist/${QUENLOFT_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size IN LISTS QUENLOFT_ICON_SIZES)
    install(FILES ${PROJECT_SOURCE_DIR}/assets/icon/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${QUENLOFT_APP_ID}.png)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icon/scalable.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${QUENLOFT_APP_ID}.svg)
endif()

if(TARGET quenloft-cli)
  install(TARGETS quenloft-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The programs quenloft-cli hands the movie and drawing commands to,
  # which it finds relative to itself.
  install(TARGETS quenloft-movie quenloft-draw RUNTIME DESTINATION ${QUENLOFT_PROGRAMS_INSTALL_DIR})
  install(FILES ${QUENLOFT_DIST}/completion/quenloft-cli.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quenloft-cli)
  # zsh looks in share/zsh/vendor-completions under /usr (where Debian's
  # packages put theirs) and in share/zsh/site-functions elsewhere, such as
  # /usr/local: decided by the prefix given at install time.
  install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
      set(zsh_folder vendor-completions)
    else()
      set(zsh_folder site-functions)
    endif()
    file(INSTALL \"${QUENLOFT_DIST}/completion/_quenloft-cli\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/zsh/\${zsh_folder}\")")
  install(FILES ${QUENLOFT_DIST}/completion/quenloft-cli.fish
          DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endif()

# The man pages of the programs that are built.
set(QUENLOFT_MAN_PAGES)
foreach(program quenloft quenloft-cli)
  if(TARGET ${program})
    list(APPEND QUENLOFT_MAN_PAGES ${program})
  endif()
endforeach()
find_program(SCDOC scdoc)
if(QUENLOFT_MAN_PAGES AND NOT SCDOC)
  message(WARNING "scdoc not found: the man pages are neither built nor installed "
                  "(scripts/install-deps.sh installs it)")
elseif(QUENLOFT_MAN_PAGES)
  set(built)
  foreach(page IN LISTS QUENLOFT_MAN_PAGES)
    set(source ${QUENLOFT_DIST}/man/${page}.1.scd)
    set(output ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -DSCDOC=${SCDOC} -DIN=${source} -DOUT=${output} -P ${CMAKE_CURRENT_LIST_FILE}
      DEPENDS ${source} ${CMAKE_CURRENT_LIST_FILE}
      COMMENT "Man page ${page}(1)"
      VERBATIM)
    list(APPEND built ${output})
  endforeach()
  add_custom_target(quenloft_man ALL DEPENDS ${built})
  install(FILES ${built} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The .deb. Its name follows Debian's rule, quenloft_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenloft)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_VENDOR "The Quenloft developers")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CONTACT "Quenloft maintainers <maintainers@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "save the Flash movies a web page refers to")
# The summary above is the description's first line; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quenloft fetches a web page with its own HTTP/1.1 client, lists the links
to Flash movies (.swf files) in the page text and downloads the movies one
after another into a folder, never overwriting a file. A finished movie is
shown in a preview pane.
.
The package holds the window program (quenloft) and quenloft-cli, which does
the same without a window, lists the movie addresses of a page and reads
movie headers.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUENLOFT_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window hands addresses to the desktop's opener, xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
